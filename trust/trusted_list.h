// The trusted list: the image paths the user has accepted, and "known.dat".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "trust/background.h"
#include "trust/file_system.h"
#include "trust/known_file.h"
#include "trust/known_list.h"

//! Where the reads and the saves of "known.dat" run.
enum class FileWork {
    kInline,      // on the caller's thread: each is done when its call returns
    kBackground,  // on a thread of the list's own: a later RefreshKnown takes its result in
};

//! How the list paces its work on the file.
struct FilePace {
    //! Work on the file that has made no progress for this long has not answered.
    unsigned silenceMilliseconds = 2000;
    //! While no other work runs, a look at the file waits this long for a change in its
    //! folder before it looks anyway; with 0 every RefreshKnown looks at once.
    unsigned lookWaitMilliseconds = 0;
};

//! The running program's pace: "known.dat" is looked at when its folder tells
//! of a change, and after five seconds without one, should a change go untold.
inline constexpr FilePace kProgramPace{2000, 5000};

//! Holds the trusted list in memory and keeps it and "known.dat" in step: the
//! file is read again when it changes, and a save merges with it.
//!
//! With FileWork::kBackground every call to the file system is made on a
//! thread of the list's own, one piece of work at a time, and the caller's
//! thread only hands it the additions and takes its list in: a list of a
//! million lines, or a drive that does not answer, costs the window nothing.
class TrustedList {
  public:
    explicit TrustedList(FileSystem& files, FileWork work = FileWork::kInline,
                         FilePace pace = FilePace());
    //! Saves nothing. Work on the file that still runs is waited for while it makes progress,
    //! so that the file system can go after the list; work that has not answered is let go,
    //! to end with the process.
    ~TrustedList();
    TrustedList(const TrustedList&) = delete;
    TrustedList& operator=(const TrustedList&) = delete;

    //! Reads "known.dat". When the file is missing, a complete leftover of a save is put in its
    //! place first. A missing or unreadable file gives an empty list; an unreadable one is read
    //! again by RefreshKnown until it can be, one too large only once its stamp has changed.
    void LoadKnown();
    //! False until the read begun by LoadKnown is taken in, or has not answered in time: until
    //! then it is not known what is trusted.
    bool Ready() const { return m_ready; }
    //! Called on every tick: takes in the work on the file once it is done, and starts the next:
    //! a save that waits, or a look at the file, which reads it once a change has held still.
    //! The entries of the file replace those last read from it; entries of this run that are
    //! not saved yet stay. True when m_known changed.
    bool RefreshKnown();
    //! Writes what "known.dat" holds now, then the entries of m_known that it lacks and that
    //! were not read from it, in list order. Writes nothing while the file cannot be read.
    //! In the background, or while other work runs, it returns kStarted and saves after.
    SaveResult SaveKnown();
    //! What the end of the program does: waits for the work on the file, and then for a save
    //! of what is unsaved, `milliseconds` in all at most, and less for a file that does not
    //! answer. kSaved when nothing is left unsaved, else why it is.
    SaveResult Settle(unsigned milliseconds);
    //! True while work on the file runs in the background and is not done.
    bool Working() const { return m_job && !m_background.Idle(); }
    //! True when m_known holds an entry that the file did not hold when last read or saved.
    bool HasUnsaved() const { return m_known.size() > m_fromFile; }
    //! The entries that HasUnsaved counts, in list order.
    StringList Unsaved() const;
    //! True when some entry equals the path exactly, case included.
    bool IsKnown(const std::string& path) const { return m_known.Contains(path); }
    //! The failure of the last save, or a file found too large or not answering, when the user
    //! has not been told of a failure since the last save that succeeded; kSaved otherwise.
    //! Asking clears it.
    SaveResult TakeUntoldFailure();

    //! The file's entries as last read or written, then this run's additions not yet saved.
    KnownList m_known;

  private:
    struct Job;
    //! What the last read of the file found, and so when to read it again.
    enum class FileState {
        kRead,        // read, or missing: again once its stamp changes
        kUnreadable,  // it exists and could not be read: again at every look
        kHeldBack,    // too large, not answering, or out of memory: again once its stamp changes
    };

    //! Runs `job` here or hands it to the thread; true when it ran here and changed m_known.
    bool Start(std::shared_ptr<Job> job);
    //! Takes in the result of the job that ran; true when it changed m_known.
    bool TakeIn();
    bool TakeInRead(Job& job);
    bool TakeInSave(Job& job);
    //! Starts a save that waits, or, when its turn has come, a look at the file.
    bool StartNext();
    //! Makes `disk` the list, this run's additions that it lacks after its entries, of which
    //! the first `fromFile` are on the disk; true when the list changed.
    bool Adopt(KnownList& disk, size_t fromFile);
    //! Notes that the running work has made no progress for too long, once it has not.
    void WatchSilence();
    //! Waits for the running work until `deadline`, or until it has not answered; a look
    //! that waits for a change is woken first.
    bool AwaitJob(std::chrono::steady_clock::time_point deadline);
    void Tell(SaveResult result);

    FileSystem& m_files;
    const FileWork m_work;
    const FilePace m_pace;
    Background m_background;
    //! The work that runs, or ran and is not taken in yet.
    std::shared_ptr<Job> m_job;
    uint64_t m_seenProgress = 0;
    std::chrono::steady_clock::time_point m_progressAt;
    bool m_silent = false;  // the running work has not answered in time

    //! m_known[0, m_fromFile) are the file's entries as last read or written.
    size_t m_fromFile = 0;
    FileState m_state = FileState::kRead;
    //! The stamp of the file as last read or written, and when an unchanged file is to be
    //! read once more (0: never).
    FileStamp m_stamp;
    uint64_t m_confirmAfter = 0;
    bool m_ready = true;
    bool m_saveWanted = false;
    //! Saves in a row whose file another writer put something in place of.
    int m_unsettled = 0;
    SaveResult m_lastSave = SaveResult::kSaved;
    bool m_failureTold = false;
    SaveResult m_untold = SaveResult::kSaved;
};
