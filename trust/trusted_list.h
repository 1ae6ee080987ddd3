// The trusted list: the image paths the user has accepted, and "known.dat".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "trust/file_system.h"
#include "trust/known_list.h"

//! "known.dat", relative to the current directory.
extern const char kKnownFileName[];
//! Where a save writes first, before it replaces "known.dat" in one step.
extern const char kKnownTempName[];
//! The largest "known.dat" that is read: 64 MiB, some 1.2 million lines of
//! program paths. A larger file is no list that anyone made by hand or by
//! "<< Add"; it counts as unreadable, and is never replaced.
constexpr uint64_t kKnownMaxBytes = 64u << 20;

//! True for the bytes of a save that was written to the end: a list whose last
//! line is whole (they end in CR LF).
bool IsCompleteSave(const std::string& bytes);

//! How a save ended.
enum class SaveResult {
    kSaved,
    kUnreadable,  // "known.dat" exists but cannot be read: nothing was written
    kUnwritable,  // the new file could not be written or put in place
    kTooLarge,    // "known.dat" is larger than kKnownMaxBytes: it was not read, nothing was written
    kTempInTheWay,  // a folder or a file named "known.dat.tmp" cannot be removed: nothing was
                    // written
    kStarted,       // the save runs on the list's own thread; TakeUntoldFailure tells a failure
};

//! Where the reads and the saves of "known.dat" run.
enum class FileWork {
    kInline,      // on the caller's thread: each is done when its call returns
    kBackground,  // on a thread of the list's own: a later RefreshKnown takes its result in
};

//! Holds the trusted list in memory and keeps it and "known.dat" in step:
//! the file is read again when it changes, and a save merges with it.
//! Holds the trusted list in memory and keeps it and "known.dat" in step:
//! the file is read again when it changes, and a save merges with it.
//!
//! With FileWork::kBackground every read and write of the file runs on a
//! thread of its own, one at a time, and the caller's thread only hands it the
//! additions and takes its list in: a list of a million lines costs the window
//! no more than a look-up in it.
class TrustedList {
  public:
    explicit TrustedList(FileSystem& files, FileWork work = FileWork::kInline);
    //! Waits for the file's work that runs; saves nothing.
    ~TrustedList();
    TrustedList(const TrustedList&) = delete;
    TrustedList& operator=(const TrustedList&) = delete;

    //! Appends the entries of "known.dat" to m_known. When the file is missing, a complete
    //! leftover of a save is put in its place first. A missing or unreadable file adds nothing;
    //! an unreadable one is read again by RefreshKnown until it can be, one too large only
    //! once its stamp has changed.
    void LoadKnown();
    //! False while the first read of the file, begun by LoadKnown in the background, is not
    //! taken in: until then it is not known what is trusted.
    bool Ready() const { return m_ready; }
    //! Called on every tick: takes in the result of the file's work when it is done, looks at
    //! the file's stamp and, once a change has held still over a few checks, reads it again.
    //! The entries of the file replace those last read from it; entries of this run that are
    //! not saved yet stay. True when m_known changed.
    bool RefreshKnown();
    //! Writes what "known.dat" holds now, then the entries of m_known that it lacks and that
    //! were not read from it, in list order. Writes nothing while the file cannot be read.
    //! The file's stamp is looked at again just before the new file takes its place: a change
    //! since the read is read and merged, and the list written again. In the background it
    //! returns kStarted, and a save asked for while another read or save runs follows it.
    SaveResult SaveKnown();
    //! Waits for the file's work that runs, takes it in, and then saves, on the caller's
    //! thread, what is unsaved: what the end of the program does.
    void Settle();
    //! True while the file's work runs in the background and is not done yet.
    bool Working() const { return m_job && !m_jobDone.load(std::memory_order_acquire); }
    //! True when m_known holds an entry that the file did not hold when last read or saved.
    bool HasUnsaved() const;
    //! True when some entry equals the path exactly, case included.
    bool IsKnown(const std::string& path) const;
    //! The failure of the last save, or a file found too large, when the user has not been
    //! told of a failure since the last save that succeeded; kSaved otherwise. Asking clears it.
    SaveResult TakeUntoldFailure();

    KnownList m_known;
    //! Hand-written lines that stood after an empty line in the file, kept to be written back.
    std::string m_knownTail;

  private:
    struct Job;
    //! Runs a job: in the background when the list works there and `wait` is false,
    //! else here, taking its result in at once. True when the result changed m_known.
    bool Run(std::unique_ptr<Job> job, bool wait = false);
    //! Waits for the job that runs and takes its result in; true when it changed m_known.
    bool TakeIn();
    bool TakeInLoad(Job& job);
    bool TakeInRefresh(Job& job);
    bool TakeInSave(Job& job);
    //! Starts a save of what is unsaved.
    SaveResult StartSave(bool wait);
    //! Makes the file's entries `disk[0, fromFile)`, then the rest of `disk` and this run's
    //! additions that `disk` lacks, the list; true when the list changed.
    bool TakeFromDisk(KnownList& disk, size_t fromFile, std::string tail);
    //! Calls `visit` with each entry of this run that was not read from the file, in order.
    template <typename Visit>
    void ForEachAddition(Visit visit) const;
    void NoteSave(SaveResult result);

    FileSystem& m_files;
    const FileWork m_work;
    //! The job that runs, or ran and is not taken in yet; the thread it runs on.
    std::unique_ptr<Job> m_job;
    std::thread m_worker;
    std::atomic<bool> m_jobDone{false};
    //! A save was asked for while a job ran.
    bool m_saveWanted = false;
    bool m_ready = true;
    //! How the last save that was taken in ended.
    SaveResult m_lastSave = SaveResult::kSaved;
    //! m_known[m_fromFileBegin, m_fromFileEnd) are the file's entries as last read or
    //! written; the others are this run's additions. m_diskKnown is false while it cannot be read.
    size_t m_fromFileBegin = 0;
    size_t m_fromFileEnd = 0;
    bool m_diskKnown = false;
    //! The last read of the file failed: what this run added waits for it to be read.
    bool m_readFailed = false;
    //! The file of stamp m_loaded is too large: it is not read again until its stamp changes.
    bool m_tooLarge = false;
    //! The stamp of the file as last read, and the stamp of the last check.
    FileStamp m_loaded;
    FileStamp m_seen;
    int m_steadyChecks = 0;
    bool m_failureTold = false;
    SaveResult m_untold = SaveResult::kSaved;
};
