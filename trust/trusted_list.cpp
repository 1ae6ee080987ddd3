#include "trust/trusted_list.h"

#include <cstddef>
#include <string_view>
#include <utility>

const char kKnownFileName[] = "known.dat";
const char kKnownTempName[] = "known.dat.tmp";

namespace {

using Read = FileSystem::ReadResult;

// A change is read once the file has shown the same stamp on this many
// checks in a row: two ticks apart, some 200 ms, a writer has finished.
constexpr int kSteadyChecks = 3;
// A replace that meets another opener (an indexer, a virus scanner) is tried
// again, in all for about a quarter of a second.
constexpr int kReplaceAttempts = 11;
constexpr unsigned kReplacePauseMilliseconds = 25;
// A save whose file keeps changing under it merges again this many times, then waits.
constexpr int kSaveAttempts = 3;

// Appends `from` to `to`; an empty list takes it over and copies nothing.
void Append(KnownList& to, KnownList& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    for (std::string_view entry : from) to.push_back(entry);
}

bool Unreadable(Read read) {
    return read == Read::kFailed || read == Read::kTooLarge;
}

// Reads "known.dat" as far as the bound allows: a look at the size spares the
// read of a file that is too large.
Read ReadBounded(FileSystem& files, const FileStamp& stamp, std::string& bytes) {
    if (stamp.state == FileStamp::State::kPresent && stamp.size > kKnownMaxBytes) {
        return Read::kTooLarge;
    }
    return files.Read(kKnownFileName, bytes, kKnownMaxBytes);
}

FileSystem::ReplaceResult ReplaceWithRetry(FileSystem& files) {
    for (int attempt = 1;; ++attempt) {
        FileSystem::ReplaceResult result = files.Replace(kKnownTempName, kKnownFileName);
        if (result != FileSystem::ReplaceResult::kBusy || attempt == kReplaceAttempts) {
            return result;
        }
        files.Pause(kReplacePauseMilliseconds);
    }
}

}  // namespace

//! One read or save of the file. What it is handed, and what it found; the
//! work itself touches nothing but the file system and the job.
struct TrustedList::Job {
    enum class Kind { kLoad, kRefresh, kSave };
    Kind kind;
    //! A refresh: the stamp that held still. Otherwise the stamp of the file read.
    FileStamp stamp;
    //! A save: the entries to add to the file's, in order.
    StringList additions;

    Read read = Read::kMissing;
    SaveResult result = SaveResult::kSaved;
    //! A refresh: the file changed while it was read.
    bool moved = false;
    //! The file's entries, then, for a save, the additions it lacked; how many
    //! of them the file holds when the job ends; its tail.
    KnownList entries;
    size_t fromFile = 0;
    std::string tail;
    //! A save: the file in place is the one it wrote, of stamp `stamp`.
    bool settled = false;
    //! A load: a complete leftover of a save that could not be put in place.
    KnownList leftover;
    std::string leftoverTail;

    void Work(FileSystem& files) {
        if (kind == Kind::kLoad) Load(files);
        if (kind == Kind::kRefresh) Refresh(files);
        if (kind == Kind::kSave) Save(files);
    }

    void Load(FileSystem& files) {
        stamp = files.Stamp(kKnownFileName);
        std::string bytes;
        read = ReadBounded(files, stamp, bytes);
        std::string temp;
        if (read == Read::kMissing &&
            files.Read(kKnownTempName, temp, kKnownMaxBytes) == Read::kRead &&
            IsCompleteSave(temp)) {
            // A save that ended between writing its file and putting it in place.
            if (ReplaceWithRetry(files) == FileSystem::ReplaceResult::kReplaced) {
                stamp = files.Stamp(kKnownFileName);
                read = ReadBounded(files, stamp, bytes);
            } else {
                // Trusted for this run, and written by the next save that can write.
                leftoverTail = leftover.AppendFile(std::move(temp));
            }
        }
        if (read == Read::kRead) tail = entries.AppendFile(std::move(bytes));
        fromFile = entries.size();
    }

    void Refresh(FileSystem& files) {
        std::string bytes;
        read = ReadBounded(files, stamp, bytes);
        if (Unreadable(read)) return;
        // A file that changed while it was read is read again once it holds still.
        moved = files.Stamp(kKnownFileName) != stamp;
        if (!moved && read == Read::kRead) tail = entries.AppendFile(std::move(bytes));
        fromFile = entries.size();
    }

    void Save(FileSystem& files) {
        for (int attempt = 1;; ++attempt) {
            stamp = files.Stamp(kKnownFileName);
            std::string bytes;
            read = ReadBounded(files, stamp, bytes);
            if (Unreadable(read)) {
                // Never replace a list that could not be read with one that may be shorter.
                result = read == Read::kTooLarge ? SaveResult::kTooLarge : SaveResult::kUnreadable;
                return;
            }
            entries.clear();
            tail.clear();
            if (read == Read::kRead) tail = entries.AppendFile(std::move(bytes));
            fromFile = entries.size();
            for (const std::string& entry : additions) {
                if (!entries.Contains(entry)) entries.push_back(entry);
            }

            // Write the whole list beside the file first and only then swap it in, so
            // that a failure at any step leaves the old list on the disk.
            files.Remove(kKnownTempName);
            if (files.Stamp(kKnownTempName).state == FileStamp::State::kPresent) {
                result = SaveResult::kTempInTheWay;  // a folder, or a file that may not be deleted
                return;
            }
            if (!files.WriteNew(kKnownTempName, FormatKnown(entries, tail))) {
                files.Remove(kKnownTempName);
                result = SaveResult::kUnwritable;
                return;
            }
            FileStamp written = files.Stamp(kKnownTempName);
            // Another writer came since the file was read: what it wrote is merged in
            // and the list written again, so that no line of its is lost.
            if (files.Stamp(kKnownFileName) != stamp) {
                files.Remove(kKnownTempName);
                if (attempt < kSaveAttempts) continue;
                // Still changing: the next read of the file saves what waits.
                result = SaveResult::kUnreadable;
                moved = true;
                return;
            }
            if (ReplaceWithRetry(files) != FileSystem::ReplaceResult::kReplaced) {
                files.Remove(kKnownTempName);
                result = SaveResult::kUnwritable;
                return;
            }
            fromFile = entries.size();
            // The file in place is the one just written, unless another writer came
            // between: then it is read again as any change is.
            FileStamp now = files.Stamp(kKnownFileName);
            settled = now == written;
            if (settled) stamp = now;
            return;
        }
    }
};

bool IsCompleteSave(const std::string& bytes) {
    return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

TrustedList::TrustedList(FileSystem& files, FileWork work) : m_files(files), m_work(work) {}

TrustedList::~TrustedList() {
    if (m_worker.joinable()) m_worker.join();
}

template <typename Visit>
void TrustedList::ForEachAddition(Visit visit) const {
    for (size_t i = 0; i < m_fromFileBegin; ++i) visit(m_known[i]);
    for (size_t i = m_fromFileEnd; i < m_known.size(); ++i) visit(m_known[i]);
}

bool TrustedList::Run(std::unique_ptr<Job> job, bool wait) {
    m_job = std::move(job);
    if (m_work == FileWork::kInline || wait) {
        m_job->Work(m_files);
        m_jobDone.store(true, std::memory_order_release);
        return TakeIn();
    }
    m_jobDone.store(false, std::memory_order_relaxed);
    Job* running = m_job.get();
    m_worker = std::thread([this, running] {
        running->Work(m_files);
        m_jobDone.store(true, std::memory_order_release);
    });
    return false;
}

bool TrustedList::TakeIn() {
    if (m_worker.joinable()) m_worker.join();
    std::unique_ptr<Job> job = std::move(m_job);
    bool changed = false;
    switch (job->kind) {
        case Job::Kind::kLoad:
            changed = TakeInLoad(*job);
            break;
        case Job::Kind::kRefresh:
            changed = TakeInRefresh(*job);
            break;
        case Job::Kind::kSave:
            changed = TakeInSave(*job);
            break;
    }
    // Additions made while it ran are saved by a save of their own.
    if (m_saveWanted && !m_job) {
        m_saveWanted = false;
        StartSave(false);
    }
    return changed;
}

void TrustedList::LoadKnown() {
    auto job = std::make_unique<Job>();
    job->kind = Job::Kind::kLoad;
    m_ready = false;
    Run(std::move(job));
}

bool TrustedList::TakeInLoad(Job& job) {
    if (!job.leftover.empty() || !job.leftoverTail.empty()) {
        Append(m_known, job.leftover);
        m_knownTail = std::move(job.leftoverTail);
    }
    m_seen = m_loaded = job.stamp;
    m_steadyChecks = kSteadyChecks;
    m_fromFileBegin = m_fromFileEnd = m_known.size();
    m_ready = true;
    m_tooLarge = job.read == Read::kTooLarge;
    if (m_tooLarge) NoteSave(SaveResult::kTooLarge);
    if (Unreadable(job.read)) {
        m_diskKnown = false;  // read again once it can be
        m_readFailed = true;
        return true;
    }
    if (job.read == Read::kRead) {
        Append(m_known, job.entries);
        m_knownTail = std::move(job.tail);
    }
    m_fromFileEnd = m_known.size();
    m_diskKnown = true;
    return true;
}

bool TrustedList::RefreshKnown() {
    if (m_job) {
        if (!m_jobDone.load(std::memory_order_acquire)) return false;
        bool changed = TakeIn();
        if (m_job || changed) return changed;
    }
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

    auto job = std::make_unique<Job>();
    job->kind = Job::Kind::kRefresh;
    job->stamp = stamp;
    return Run(std::move(job));
}

bool TrustedList::TakeInRefresh(Job& job) {
    m_tooLarge = job.read == Read::kTooLarge;
    if (m_tooLarge) NoteSave(SaveResult::kTooLarge);
    if (Unreadable(job.read)) {
        m_diskKnown = false;
        m_readFailed = true;
        m_loaded = job.stamp;
        return false;
    }
    if (job.moved) return false;
    bool wasUnreadable = m_readFailed;
    m_readFailed = false;
    bool changed = TakeFromDisk(job.entries, job.fromFile, std::move(job.tail));
    m_loaded = job.stamp;
    // Additions made while the file could not be read are written now that it can be.
    if (wasUnreadable && HasUnsaved()) StartSave(false);
    return changed;
}

SaveResult TrustedList::SaveKnown() {
    if (m_job) {
        m_saveWanted = true;
        return SaveResult::kStarted;
    }
    return StartSave(false);
}

SaveResult TrustedList::StartSave(bool wait) {
    auto job = std::make_unique<Job>();
    job->kind = Job::Kind::kSave;
    ForEachAddition([&](std::string_view entry) { job->additions.emplace_back(entry); });
    Job* save = job.get();
    Run(std::move(job), wait);
    // Taken in already unless it runs in the background.
    return m_job.get() == save ? SaveResult::kStarted : m_lastSave;
}

bool TrustedList::TakeInSave(Job& job) {
    m_lastSave = job.result;
    NoteSave(job.result);
    m_tooLarge = job.read == Read::kTooLarge;
    if (Unreadable(job.read)) {
        m_diskKnown = false;
        m_readFailed = true;
        return false;
    }
    m_readFailed = false;
    bool changed = TakeFromDisk(job.entries, job.fromFile, std::move(job.tail));
    m_loaded = job.stamp;
    if (job.moved) {
        m_diskKnown = false;
        m_readFailed = true;
    } else if (job.settled) {
        m_seen = job.stamp;
        m_steadyChecks = kSteadyChecks;
    }
    return changed;
}

void TrustedList::Settle() {
    while (m_job) TakeIn();
    m_saveWanted = false;
    if (HasUnsaved()) StartSave(true);
}

bool TrustedList::TakeFromDisk(KnownList& disk, size_t fromFile, std::string tail) {
    // This run's additions, the entries that were not read from the file, go
    // after the file's, except those that the file holds now, and second copies.
    ForEachAddition([&](std::string_view entry) {
        if (!disk.Contains(entry)) disk.push_back(entry);
    });
    m_known.swap(disk);
    m_knownTail = std::move(tail);
    m_fromFileBegin = 0;
    m_fromFileEnd = fromFile;
    m_diskKnown = true;
    return m_known != disk;
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

void TrustedList::NoteSave(SaveResult result) {
    if (result == SaveResult::kSaved) {
        m_failureTold = false;
        m_untold = SaveResult::kSaved;
    } else if (!m_failureTold) {
        m_failureTold = true;
        m_untold = result;
    }
}
