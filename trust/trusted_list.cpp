#include "trust/trusted_list.h"

#include <cstddef>
#include <unordered_set>

const char kKnownFileName[] = "known.dat";
const char kKnownTempName[] = "known.dat.tmp";

namespace {

// A change is read once the file has shown the same stamp on this many
// checks in a row: two ticks apart, some 200 ms, a writer has finished.
constexpr int kSteadyChecks = 3;
// A replace that meets another opener (an indexer, a virus scanner) is tried
// again, in all for about a quarter of a second.
constexpr int kReplaceAttempts = 11;
constexpr unsigned kReplacePauseMilliseconds = 25;

}  // namespace

void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail) {
    tail.clear();
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = (lf == std::string::npos) ? bytes.size() : lf;
        size_t next = (lf == std::string::npos) ? bytes.size() : lf + 1;
        // A CR belongs to the line end only when an LF follows it.
        size_t textEnd =
            (lf != std::string::npos && end > pos && bytes[end - 1] == '\r') ? end - 1 : end;
        if (textEnd == pos) {
            tail.assign(bytes, next, std::string::npos);
            return;
        }
        entries.emplace_back(bytes, pos, textEnd - pos);
        pos = next;
    }
}

std::string FormatKnown(const StringList& entries, const std::string& tail) {
    size_t size = tail.empty() ? 0 : tail.size() + 2;
    for (const std::string& entry : entries) size += entry.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const std::string& entry : entries) {
        bytes += entry;
        bytes += "\r\n";
    }
    if (!tail.empty()) {
        bytes += "\r\n";
        bytes += tail;
    }
    return bytes;
}

bool IsCompleteSave(const std::string& bytes) {
    return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

void TrustedList::LoadKnown() {
    using Read = FileSystem::ReadResult;
    FileStamp stamp = m_files.Stamp(kKnownFileName);
    std::string bytes;
    Read read = m_files.Read(kKnownFileName, bytes);
    std::string temp;
    if (read == Read::kMissing && m_files.Read(kKnownTempName, temp) == Read::kRead &&
        IsCompleteSave(temp)) {
        // A save that ended between writing its file and putting it in place.
        if (ReplaceWithRetry() == FileSystem::ReplaceResult::kReplaced) {
            stamp = m_files.Stamp(kKnownFileName);
            read = m_files.Read(kKnownFileName, bytes);
        } else {
            // Trusted for this run, and written by the next save that can write.
            ParseKnown(temp, m_known, m_knownTail);
        }
    }
    m_seen = stamp;
    m_steadyChecks = kSteadyChecks;
    m_loaded = stamp;
    m_fromFileBegin = m_fromFileEnd = m_known.size();
    if (read == Read::kFailed) {
        m_diskKnown = false;  // read again on every check until it can be
        m_readFailed = true;
        return;
    }
    if (read == Read::kRead) ParseKnown(bytes, m_known, m_knownTail);
    m_fromFileEnd = m_known.size();
    m_diskKnown = true;
}

bool TrustedList::RefreshKnown() {
    using Read = FileSystem::ReadResult;
    FileStamp stamp = m_files.Stamp(kKnownFileName);
    if (stamp != m_seen) {
        m_seen = stamp;
        m_steadyChecks = 1;
        return false;
    }
    if (m_steadyChecks < kSteadyChecks) ++m_steadyChecks;
    if (m_diskKnown && stamp == m_loaded) return false;
    if (m_steadyChecks < kSteadyChecks) return false;

    std::string bytes;
    Read read = m_files.Read(kKnownFileName, bytes);
    if (read == Read::kFailed) {
        m_diskKnown = false;
        m_readFailed = true;
        return false;
    }
    // A file that changed while it was read is read again once it holds still.
    if (m_files.Stamp(kKnownFileName) != stamp) return false;
    bool wasUnreadable = m_readFailed;
    m_readFailed = false;
    StringList entries;
    std::string tail;
    if (read == Read::kRead) ParseKnown(bytes, entries, tail);
    TakeFromDisk(entries, tail);
    m_loaded = stamp;
    bool changed = m_known != entries;  // now the list as it was before
    // Additions made while the file could not be read are written now that it can be.
    if (wasUnreadable && HasUnsaved()) SaveKnown();
    return changed;
}

StringList TrustedList::TakeFromDisk(StringList& disk, const std::string& tail) {
    // This run's additions: the entries that were not read from the file.
    StringList added(m_known.begin(),
                     m_known.begin() + static_cast<std::ptrdiff_t>(m_fromFileBegin));
    added.insert(added.end(), m_known.begin() + static_cast<std::ptrdiff_t>(m_fromFileEnd),
                 m_known.end());
    // Those that the file holds now, and second copies, are not added again.
    std::unordered_set<std::string> wanted(added.begin(), added.end());
    for (const std::string& entry : disk) {
        if (wanted.empty()) break;
        wanted.erase(entry);
    }
    size_t fromFile = disk.size();
    for (const std::string& entry : added) {
        if (wanted.erase(entry) > 0) disk.push_back(entry);
    }
    added.assign(disk.begin() + static_cast<std::ptrdiff_t>(fromFile), disk.end());
    m_known.swap(disk);  // the caller is left the list as it was
    m_knownTail = tail;
    m_fromFileBegin = 0;
    m_fromFileEnd = fromFile;
    m_diskKnown = true;
    return added;
}

SaveResult TrustedList::SaveKnown() {
    using Read = FileSystem::ReadResult;
    std::string bytes;
    Read read = m_files.Read(kKnownFileName, bytes);
    if (read == Read::kFailed) {
        // Never replace a list that could not be read with one that may be shorter.
        m_diskKnown = false;
        m_readFailed = true;
        NoteSave(SaveResult::kUnreadable);
        return SaveResult::kUnreadable;
    }
    m_readFailed = false;
    StringList entries;
    std::string tail;
    if (read == Read::kRead) ParseKnown(bytes, entries, tail);
    StringList added = TakeFromDisk(entries, tail);

    // Write the whole list beside the file first and only then swap it in, so
    // that a failure at any step leaves the old list on the disk.
    SaveResult result = SaveResult::kUnwritable;
    m_files.Remove(kKnownTempName);
    FileStamp written;
    bool replaced = false;
    if (m_files.WriteNew(kKnownTempName, FormatKnown(m_known, m_knownTail))) {
        written = m_files.Stamp(kKnownTempName);
        replaced = ReplaceWithRetry() == FileSystem::ReplaceResult::kReplaced;
    }
    if (replaced) {
        m_fromFileEnd = m_known.size();
        result = SaveResult::kSaved;
        // The file in place is the one just written, unless another writer came
        // between: then it is read again as any change is.
        FileStamp now = m_files.Stamp(kKnownFileName);
        if (now == written) {
            m_loaded = m_seen = now;
            m_steadyChecks = kSteadyChecks;
        }
    } else {
        m_files.Remove(kKnownTempName);
    }
    NoteSave(result);
    return result;
}

bool TrustedList::HasUnsaved() const {
    return m_known.size() > m_fromFileEnd - m_fromFileBegin;
}

bool TrustedList::IsKnown(const std::string& path) const {
    for (const std::string& entry : m_known) {
        if (entry == path) return true;
    }
    return false;
}

SaveResult TrustedList::TakeUntoldFailure() {
    SaveResult untold = m_untold;
    m_untold = SaveResult::kSaved;
    return untold;
}

FileSystem::ReplaceResult TrustedList::ReplaceWithRetry() {
    for (int attempt = 1;; ++attempt) {
        FileSystem::ReplaceResult result = m_files.Replace(kKnownTempName, kKnownFileName);
        if (result != FileSystem::ReplaceResult::kBusy || attempt == kReplaceAttempts) {
            return result;
        }
        m_files.Pause(kReplacePauseMilliseconds);
    }
}

void TrustedList::NoteSave(SaveResult result) {
    if (result == SaveResult::kSaved) {
        m_failureTold = false;
        m_untold = SaveResult::kSaved;
    } else if (!m_failureTold) {
        m_failureTold = true;
        m_untold = result;
    }
}
