// The work on "known.dat" that runs away from the window: a read and a save,
// each one function of the file system and what it is handed, returning all it
// found. It touches nothing else, so it can run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "trust/file_system.h"
#include "trust/known_list.h"

//! "known.dat", relative to the current directory.
extern const char kKnownFileName[];
//! The one name older versions wrote a save to first; taken up as theirs.
extern const char kKnownTempName[];
//! Held open by the save that puts its file in place, so that no two runs do at once.
extern const char kKnownLockName[];
//! The largest "known.dat" that is read: 64 MiB, and 2,000,000 entries before
//! its first empty line. A list of program paths is some kilobytes; a file
//! past either is no list that anyone made by hand or by "<< Add", and each
//! entry costs memory of its own: it counts as too large, and is never replaced.
constexpr uint64_t kKnownMaxBytes = 64u << 20;
constexpr size_t kKnownMaxEntries = 2000000;

//! True for the name of a file that a save writes first: "known.dat.tmp", or
//! "known.dat." and 16 hex digits and ".tmp".
bool IsKnownTempName(const std::string& name);
//! True for the bytes of a save that was written to the end: a list whose last
//! line is whole (they end in CR LF).
bool IsCompleteSave(const std::string& bytes);

//! How a save ended, or what stopped a read, as the user is told.
enum class SaveResult {
    kSaved,
    kUnreadable,  // "known.dat" exists but cannot be read: nothing was written
    kUnwritable,  // the new file could not be written or put in place
    kTooLarge,    // "known.dat" is past kKnownMaxBytes or kKnownMaxEntries: not read, not written
    kNoAnswer,    // the drive of "known.dat" has not answered for seconds
    kNoRoom,      // the system gave no memory, or no thread, for the work
    kStarted,     // the save runs on the list's own thread; TakeUntoldFailure tells a failure
};

//! What a read is to read, as the list knows the file.
struct ReadOrder {
    //! The read at start: reads whatever the stamp is, and takes up a complete
    //! leftover of a save that ended before it was put in place.
    bool start = false;
    //! The stamp of the file as last read. A changed stamp is read once it
    //! holds still; an unchanged one is not read again, unless `always`.
    FileStamp loaded;
    bool always = false;
    //! The unchanged file is read once more once the time is past this (the
    //! file system's clock may not have moved since it was written); 0 for never.
    uint64_t confirmAfter = 0;
    //! How long to wait first for a change in the folder; woken, it reads nothing.
    unsigned waitMilliseconds = 0;
};

//! What a read or a save found.
struct FileFound {
    //! False when a read found the file unchanged, or still changing: nothing was read.
    bool read = false;
    FileSystem::ReadResult result = FileSystem::ReadResult::kMissing;
    //! The stamp of the file as read; after a save that settled, of the file it wrote.
    FileStamp stamp;
    //! FileSystem::Now() when the file was read.
    uint64_t readAt = 0;
    //! The entries of the file and its tail; after a save, followed by the additions it lacked.
    KnownList list;
    //! How many entries of `list` the file on the disk holds now.
    size_t fromFile = 0;
    //! At start: the entries of a complete save that could not be put in place.
    KnownList leftover;
    //! A save: how it ended.
    SaveResult save = SaveResult::kSaved;
};

//! Reads "known.dat" as `order` asks. Fills `found` as it goes, so that what it holds tells
//! how far the work came when a call throws.
void ReadKnownFile(FileSystem& files, const ReadOrder& order, FileFound& found);
//! Writes what "known.dat" holds now followed by the `additions` it lacks, to a file of its
//! own, and puts that in the place of "known.dat" if the file has not changed since it was
//! read; a change is read and merged, and the list written again. The additions count as
//! saved (fromFile) only when the file in place is the one it wrote.
void SaveKnownFile(FileSystem& files, const StringList& additions, FileFound& found);

//! The file system as the work sees it: every call that returns, and every
//! piece read, moves `progress`, so that whoever waits sees a drive that answers.
class ProgressFiles : public FileSystem {
  public:
    ProgressFiles(FileSystem& files, Progress& progress, std::atomic<bool>& waiting)
        : m_files(files), m_progress(progress), m_waiting(waiting) {}
    using FileSystem::Read;
    using FileSystem::WriteNew;

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                    Progress&) override {
        return Moved(m_files.Read(name, bytes, limit, m_progress));
    }
    bool WriteNew(const std::string& name, const Fill& fill) override {
        return Moved(m_files.WriteNew(name, fill));
    }
    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        return Moved(m_files.Replace(from, to));
    }
    void Remove(const std::string& name) override {
        m_files.Remove(name);
        Moved(0);
    }
    FileStamp Stamp(const std::string& name) override { return Moved(m_files.Stamp(name)); }
    std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) override {
        return Moved(m_files.Names(prefix, suffix));
    }
    std::unique_ptr<Held> Hold(const std::string& name) override {
        return Moved(m_files.Hold(name));
    }
    //! Waiting for a change is no silence: `waiting` says so while it lasts.
    Change WaitForChange(unsigned milliseconds) override {
        m_waiting.store(true, std::memory_order_relaxed);
        Change change = m_files.WaitForChange(milliseconds);
        m_waiting.store(false, std::memory_order_relaxed);
        return Moved(change);
    }
    void Wake() override { m_files.Wake(); }
    uint64_t Now() override { return m_files.Now(); }
    void Pause(unsigned milliseconds) override {
        m_files.Pause(milliseconds);
        Moved(0);
    }

  private:
    template <typename T>
    T Moved(T result) {
        m_progress.fetch_add(1, std::memory_order_relaxed);
        return result;
    }

    FileSystem& m_files;
    Progress& m_progress;
    std::atomic<bool>& m_waiting;
};
