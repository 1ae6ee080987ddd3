#include "trust/trusted_list.h"

#include <utility>

namespace {

using Read = FileSystem::ReadResult;
using Clock = std::chrono::steady_clock;

// A file system's clock may step this coarsely (2 s on FAT): a file written
// within it of its read may change again unseen in its stamp. 100 ns units.
constexpr uint64_t kClockStep = 2 * 10000000ull;
// A save whose file another writer replaced at once is made again, this many times in a row.
constexpr int kUnsettledSaves = 3;

}  // namespace

//! One read or save of the file: what it is handed, and what it found. The
//! work touches nothing but the file system and the job.
struct TrustedList::Job {
    bool save = false;
    ReadOrder order;       // a read
    StringList additions;  // a save
    Progress progress{0};              // moves with every call to the file system
    std::atomic<bool> waiting{false};  // while a look waits for a change in the folder
    FileFound found;
    bool failed = false;  // the work threw, or found no thread to run on

    void Work(FileSystem& files) {
        ProgressFiles watched(files, progress, waiting);
        try {
            if (save) {
                SaveKnownFile(watched, additions, found);
            } else {
                ReadKnownFile(watched, order, found);
            }
        } catch (...) {
            failed = true;  // no memory for the list, or for a piece of it
        }
    }
};

TrustedList::TrustedList(FileSystem& files, FileWork work, FilePace pace)
    : m_files(files), m_work(work), m_pace(pace) {}

TrustedList::~TrustedList() {
    if (m_job && !m_silent) {
        AwaitJob(Clock::now() + std::chrono::milliseconds(m_pace.silenceMilliseconds));
    }
}

void TrustedList::LoadKnown() {
    auto job = std::make_shared<Job>();
    job->order.start = true;
    m_ready = false;
    Start(std::move(job));
}

bool TrustedList::Start(std::shared_ptr<Job> job) {
    m_job = std::move(job);
    if (m_work == FileWork::kInline) {
        m_job->Work(m_files);
        bool changed = TakeIn();
        // A read that makes a save wanted is followed by it at once.
        return (m_saveWanted && StartNext()) || changed;
    }
    m_seenProgress = 0;
    m_progressAt = Clock::now();
    m_silent = false;
    std::shared_ptr<Job> running = m_job;
    FileSystem& files = m_files;
    if (!m_background.Run([running, &files] { running->Work(files); })) {
        m_job->failed = true;  // no thread to read or save on
        TakeIn();
    }
    return false;
}

bool TrustedList::RefreshKnown() {
    bool changed = false;
    if (m_job) {
        if (!m_background.Idle()) {
            WatchSilence();
            return false;
        }
        changed = TakeIn();
    }
    return StartNext() || changed;
}

bool TrustedList::StartNext() {
    if (m_job) return false;
    auto job = std::make_shared<Job>();
    if (m_saveWanted) {
        m_saveWanted = false;
        job->save = true;
        job->additions = Unsaved();
        return Start(std::move(job));
    }
    job->order.waitMilliseconds = m_pace.lookWaitMilliseconds;
    job->order.loaded = m_stamp;
    job->order.always = m_state == FileState::kUnreadable;
    job->order.confirmAfter = m_confirmAfter;
    return Start(std::move(job));
}

SaveResult TrustedList::SaveKnown() {
    m_saveWanted = true;
    // A drive that does not answer is said to one who wants something saved.
    if (m_silent) Tell(SaveResult::kNoAnswer);
    if (m_job) {
        m_files.Wake();  // a look that waits for a change gives way
        return SaveResult::kStarted;
    }
    StartNext();
    return m_job ? SaveResult::kStarted : m_lastSave;
}

bool TrustedList::TakeIn() {
    std::shared_ptr<Job> job = std::move(m_job);
    bool start = job->order.start && !job->save;
    if (start) m_ready = true;
    bool changed = false;
    if (job->failed) {
        Tell(SaveResult::kNoRoom);
        // Not read again before it changes: it would only fail again.
        if (!job->save) {
            m_state = FileState::kHeldBack;
            if (job->found.read) m_stamp = job->found.stamp;
        }
    } else {
        changed = job->save ? TakeInSave(*job) : TakeInRead(*job);
    }
    // A read that answered after it was given up on: a file that failed so is
    // not asked again before it changes.
    if (m_silent && m_state == FileState::kUnreadable) m_state = FileState::kHeldBack;
    m_silent = false;
    return changed || start;
}

bool TrustedList::TakeInRead(Job& job) {
    FileFound& found = job.found;
    for (std::string_view entry : found.leftover) m_known.push_back(entry);
    if (!found.read) return false;  // unchanged, or still changing
    m_stamp = found.stamp;
    switch (found.result) {
        case Read::kFailed:
            m_state = FileState::kUnreadable;
            return false;
        case Read::kTooLarge:
            m_state = FileState::kHeldBack;
            Tell(SaveResult::kTooLarge);
            return false;
        default:
            break;
    }
    bool couldNotRead = m_state != FileState::kRead;
    m_state = FileState::kRead;
    // Read within one step of the file system's clock: read again once past it.
    uint64_t due = found.stamp.written + kClockStep;
    m_confirmAfter =
        found.stamp.state == FileStamp::State::kPresent && found.readAt < due ? due : 0;
    bool changed = Adopt(found.list, found.fromFile);
    // Additions made while the file could not be read are written now that it can be.
    if (couldNotRead && HasUnsaved()) m_saveWanted = true;
    return changed;
}

bool TrustedList::TakeInSave(Job& job) {
    FileFound& found = job.found;
    m_lastSave = found.save;
    Tell(found.save);
    if (found.save != SaveResult::kSaved) {
        if (found.save == SaveResult::kUnreadable) m_state = FileState::kUnreadable;
        if (found.save == SaveResult::kTooLarge) m_state = FileState::kHeldBack;
        if (found.read) m_stamp = found.stamp;
        return false;
    }
    bool changed = Adopt(found.list, found.fromFile);
    m_state = FileState::kRead;
    m_stamp = found.stamp;  // unknown when another writer replaced the file at once: read again
    m_confirmAfter = 0;
    bool settled = found.fromFile == found.list.size();
    m_unsettled = settled ? 0 : m_unsettled + 1;
    // What was added meanwhile is saved next; so is what another writer's file lost.
    m_saveWanted = HasUnsaved() && m_unsettled < kUnsettledSaves;
    return changed;
}

bool TrustedList::Adopt(KnownList& disk, size_t fromFile) {
    // This run's additions that the file lacks go after the file's entries.
    for (size_t i = m_fromFile; i < m_known.size(); ++i) {
        if (!disk.Contains(m_known[i])) disk.push_back(m_known[i]);
    }
    bool changed = disk != m_known;
    m_known.swap(disk);
    m_fromFile = fromFile;
    disk.clear();  // the old list goes now, not with the job
    return changed;
}

void TrustedList::WatchSilence() {
    uint64_t progress = m_job->progress.load(std::memory_order_relaxed);
    Clock::time_point now = Clock::now();
    if (progress != m_seenProgress || m_job->waiting.load(std::memory_order_relaxed)) {
        m_seenProgress = progress;
        m_progressAt = now;
        return;
    }
    if (m_silent || now - m_progressAt < std::chrono::milliseconds(m_pace.silenceMilliseconds)) {
        return;
    }
    // Given up on, not stopped: the watch goes on with the list it has (none at
    // start, so that every program is announced), and takes the work in if it
    // ever ends. Nothing else runs on the file meanwhile.
    m_silent = true;
    bool start = m_job->order.start && !m_job->save;
    if (start) m_ready = true;
    if (start || m_job->save || HasUnsaved()) Tell(SaveResult::kNoAnswer);
}

bool TrustedList::AwaitJob(Clock::time_point deadline) {
    if (!m_job->save) m_files.Wake();
    while (!m_background.WaitIdle(50)) {
        WatchSilence();
        if (m_silent || Clock::now() >= deadline) return false;
    }
    return true;
}

SaveResult TrustedList::Settle(unsigned milliseconds) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    // A save that runs is waited for; a read, only when a save must follow it.
    if (m_job && HasUnsaved() && AwaitJob(deadline)) TakeIn();
    if (!HasUnsaved()) return SaveResult::kSaved;
    if (m_job) return SaveResult::kNoAnswer;
    m_saveWanted = true;
    StartNext();
    if (m_job && AwaitJob(deadline)) TakeIn();
    if (m_job) return SaveResult::kNoAnswer;
    if (!HasUnsaved()) return SaveResult::kSaved;
    return m_lastSave == SaveResult::kSaved ? SaveResult::kUnwritable : m_lastSave;
}

StringList TrustedList::Unsaved() const {
    StringList unsaved;
    for (size_t i = m_fromFile; i < m_known.size(); ++i) unsaved.emplace_back(m_known[i]);
    return unsaved;
}

SaveResult TrustedList::TakeUntoldFailure() {
    SaveResult untold = m_untold;
    m_untold = SaveResult::kSaved;
    return untold;
}

void TrustedList::Tell(SaveResult result) {
    if (result == SaveResult::kSaved) {
        m_failureTold = false;
        m_untold = SaveResult::kSaved;
    } else if (!m_failureTold) {
        m_failureTold = true;
        m_untold = result;
    }
}
