// The trusted list: the image paths the user has accepted, and "known.dat".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
};

//! Holds the trusted list in memory and keeps it and "known.dat" in step:
//! the file is read again when it changes, and a save merges with it.
class TrustedList {
  public:
    explicit TrustedList(FileSystem& files) : m_files(files) {}

    //! Appends the entries of "known.dat" to m_known. When the file is missing, a complete
    //! leftover of a save is put in its place first. A missing or unreadable file adds nothing;
    //! an unreadable one is read again by RefreshKnown until it can be, one too large only
    //! once its stamp has changed.
    void LoadKnown();
    //! Called on every tick: looks at the file's stamp and, once a change has held still over
    //! a few checks, reads it again. The entries of the file replace those last read from it;
    //! entries of this run that are not saved yet stay. True when m_known changed.
    bool RefreshKnown();
    //! Writes what "known.dat" holds now, then the entries of m_known that it lacks and that
    //! were not read from it, in list order. Writes nothing while the file cannot be read.
    //! The file's stamp is looked at again just before the new file takes its place: a change
    //! since the read is read and merged, and the list written again.
    SaveResult SaveKnown();
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
    FileSystem::ReplaceResult ReplaceWithRetry();
    //! Reads "known.dat" as far as the bound allows; notes a file too large.
    FileSystem::ReadResult ReadFile(const FileStamp& stamp, std::string& bytes);
    //! Makes the file's entries, then this run's additions, the list, and leaves in `disk`
    //! the list as it was.
    void TakeFromDisk(KnownList& disk, std::string tail);
    //! True when every entry after the file's is in neither the file's entries nor before it.
    bool OnlyNewAdditions() const;
    SaveResult Save();
    void NoteSave(SaveResult result);

    FileSystem& m_files;
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
