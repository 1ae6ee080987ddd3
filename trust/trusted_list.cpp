#include "trust/trusted_list.h"

#include <cstddef>

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
// A save whose file keeps changing under it merges again this many times, then waits.
constexpr int kSaveAttempts = 3;

}  // namespace

bool IsCompleteSave(const std::string& bytes) {
    return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

void TrustedList::LoadKnown() {
    using Read = FileSystem::ReadResult;
    FileStamp stamp = m_files.Stamp(kKnownFileName);
    std::string bytes;
    Read read = ReadFile(stamp, bytes);
    std::string temp;
    if (read == Read::kMissing &&
        m_files.Read(kKnownTempName, temp, kKnownMaxBytes) == Read::kRead && IsCompleteSave(temp)) {
        // A save that ended between writing its file and putting it in place.
        if (ReplaceWithRetry() == FileSystem::ReplaceResult::kReplaced) {
            stamp = m_files.Stamp(kKnownFileName);
            read = ReadFile(stamp, bytes);
        } else {
            // Trusted for this run, and written by the next save that can write.
            m_knownTail = m_known.AppendFile(std::move(temp));
        }
    }
    m_seen = stamp;
    m_steadyChecks = kSteadyChecks;
    m_loaded = stamp;
    m_fromFileBegin = m_fromFileEnd = m_known.size();
    if (read == Read::kFailed || read == Read::kTooLarge) {
        m_diskKnown = false;  // read again once it can be
        m_readFailed = true;
        return;
    }
    if (read == Read::kRead) m_knownTail = m_known.AppendFile(std::move(bytes));
    m_fromFileEnd = m_known.size();
    m_diskKnown = true;
}

FileSystem::ReadResult TrustedList::ReadFile(const FileStamp& stamp, std::string& bytes) {
    // A look at the size spares the read of a file that is too large.
    FileSystem::ReadResult read =
        stamp.state == FileStamp::State::kPresent && stamp.size > kKnownMaxBytes
            ? FileSystem::ReadResult::kTooLarge
            : m_files.Read(kKnownFileName, bytes, kKnownMaxBytes);
    m_tooLarge = read == FileSystem::ReadResult::kTooLarge;
    if (m_tooLarge) NoteSave(SaveResult::kTooLarge);
    return read;
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
    // A file too large is read again only once it has changed.
    if ((m_diskKnown || m_tooLarge) && stamp == m_loaded) return false;
    if (m_steadyChecks < kSteadyChecks) return false;

    std::string bytes;
    Read read = ReadFile(stamp, bytes);
    if (read == Read::kFailed || read == Read::kTooLarge) {
        m_diskKnown = false;
        m_readFailed = true;
        m_loaded = stamp;
        return false;
    }
    // A file that changed while it was read is read again once it holds still.
    if (m_files.Stamp(kKnownFileName) != stamp) return false;
    bool wasUnreadable = m_readFailed;
    m_readFailed = false;
    KnownList entries;
    std::string tail;
    if (read == Read::kRead) tail = entries.AppendFile(std::move(bytes));
    TakeFromDisk(entries, std::move(tail));
    m_loaded = stamp;
    bool changed = m_known != entries;  // now the list as it was before
    // Additions made while the file could not be read are written now that it can be.
    if (wasUnreadable && HasUnsaved()) SaveKnown();
    return changed;
}

void TrustedList::TakeFromDisk(KnownList& disk, std::string tail) {
    // This run's additions, the entries that were not read from the file, go
    // after the file's, except those that the file holds now, and second copies.
    size_t fromFile = disk.size();
    for (size_t i = 0; i < m_known.size(); ++i) {
        if (i == m_fromFileBegin) i = m_fromFileEnd;
        if (i >= m_known.size()) break;
        if (!disk.Contains(m_known[i])) disk.push_back(m_known[i]);
    }
    m_known.swap(disk);  // the caller is left the list as it was
    m_knownTail = std::move(tail);
    m_fromFileBegin = 0;
    m_fromFileEnd = fromFile;
    m_diskKnown = true;
}

SaveResult TrustedList::SaveKnown() {
    SaveResult result = Save();
    NoteSave(result);
    return result;
}

SaveResult TrustedList::Save() {
    using Read = FileSystem::ReadResult;
    for (int attempt = 1;; ++attempt) {
        FileStamp stamp = m_files.Stamp(kKnownFileName);
        std::string bytes;
        bool inOurForm = false;
        {
            Read read = ReadFile(stamp, bytes);
            if (read == Read::kFailed || read == Read::kTooLarge) {
                // Never replace a list that could not be read with one that may be shorter.
                m_diskKnown = false;
                m_readFailed = true;
                return read == Read::kTooLarge ? SaveResult::kTooLarge : SaveResult::kUnreadable;
            }
            m_readFailed = false;
            // The file as last read or written, with nothing but new additions: the
            // list stands as it is, and is not made again from the file.
            bool asHeld = m_fromFileBegin == 0 && OnlyNewAdditions() &&
                          (read == Read::kRead ? HoldsExactly(bytes, m_known, m_fromFileEnd,
                                                              m_knownTail, &inOurForm)
                                               : m_fromFileEnd == 0 && m_knownTail.empty());
            inOurForm = inOurForm && asHeld;
            if (!asHeld) {
                KnownList entries;
                std::string tail;
                if (read == Read::kRead) tail = entries.AppendFile(std::move(bytes));
                TakeFromDisk(entries, std::move(tail));
            }
            m_loaded = stamp;
        }

        // Write the whole list beside the file first and only then swap it in, so
        // that a failure at any step leaves the old list on the disk.
        m_files.Remove(kKnownTempName);
        if (m_files.Stamp(kKnownTempName).state == FileStamp::State::kPresent) {
            return SaveResult::kTempInTheWay;  // a folder, or a file that may not be deleted
        }
        if (inOurForm) {
            // The file's own bytes, with the additions put in before the tail.
            std::string added;
            for (size_t i = m_fromFileEnd; i < m_known.size(); ++i) {
                added.append(m_known[i].data(), m_known[i].size());
                added += "\r\n";
            }
            bytes.insert(bytes.size() - (m_knownTail.empty() ? 0 : m_knownTail.size() + 2), added);
        } else {
            bytes = FormatKnown(m_known, m_knownTail);
        }
        if (!m_files.WriteNew(kKnownTempName, bytes)) {
            m_files.Remove(kKnownTempName);
            return SaveResult::kUnwritable;
        }
        FileStamp written = m_files.Stamp(kKnownTempName);
        // Another writer came since the file was read: what it wrote is merged in
        // and the list written again, so that no line of its is lost.
        if (m_files.Stamp(kKnownFileName) != stamp) {
            m_files.Remove(kKnownTempName);
            m_diskKnown = false;
            if (attempt < kSaveAttempts) continue;
            // Still changing: the next read of the file saves what waits.
            m_readFailed = true;
            return SaveResult::kUnreadable;
        }
        if (ReplaceWithRetry() != FileSystem::ReplaceResult::kReplaced) {
            m_files.Remove(kKnownTempName);
            return SaveResult::kUnwritable;
        }
        m_fromFileBegin = 0;
        m_fromFileEnd = m_known.size();
        // The file in place is the one just written, unless another writer came
        // between: then it is read again as any change is.
        FileStamp now = m_files.Stamp(kKnownFileName);
        if (now == written) {
            m_diskKnown = true;
            m_loaded = m_seen = now;
            m_steadyChecks = kSteadyChecks;
        }
        return SaveResult::kSaved;
    }
}

bool TrustedList::OnlyNewAdditions() const {
    // The index finds the first of equal entries: an addition found as itself
    // is in neither the file's part nor earlier among the additions.
    for (size_t i = m_fromFileEnd; i < m_known.size(); ++i) {
        if (m_known.Find(m_known[i]) != i) return false;
    }
    return true;
}

bool TrustedList::HasUnsaved() const {
    return m_known.size() > m_fromFileEnd - m_fromFileBegin;
}

bool TrustedList::IsKnown(const std::string& path) const {
    return m_known.Contains(path);
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
