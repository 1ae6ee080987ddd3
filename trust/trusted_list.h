// The trusted list: the image paths the user has accepted, and "known.dat".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "trust/file_system.h"

//! An ordered list of 8-bit strings; nothing sorts or de-duplicates it.
using StringList = std::vector<std::string>;

//! "known.dat", relative to the current directory.
extern const char kKnownFileName[];
//! Where a save writes first, before it replaces "known.dat" in one step.
extern const char kKnownTempName[];

//! Splits the bytes of "known.dat" into entries, appended to `entries`. The
//! list ends at the end of the bytes or at the first empty line; whatever
//! follows that empty line is returned in `tail`, byte for byte.
void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail);

//! The bytes of "known.dat" for a list: every entry followed by CR LF, then,
//! when there is a tail, one empty line and the tail.
std::string FormatKnown(const StringList& entries, const std::string& tail);

//! True for the bytes of a save that was written to the end: a list whose last
//! line is whole (they end in CR LF).
bool IsCompleteSave(const std::string& bytes);

//! How a save ended.
enum class SaveResult {
    kSaved,
    kUnreadable,  // "known.dat" exists but cannot be read: nothing was written
    kUnwritable,  // the new file could not be written or put in place
};

//! Holds the trusted list in memory and keeps it and "known.dat" in step:
//! the file is read again when it changes, and a save merges with it.
class TrustedList {
  public:
    explicit TrustedList(FileSystem& files = DefaultFileSystem()) : m_files(files) {}

    //! Appends the entries of "known.dat" to m_known. When the file is missing, a complete
    //! leftover of a save is put in its place first. A missing or unreadable file adds nothing;
    //! an unreadable one is read again by RefreshKnown until it can be.
    void LoadKnown();
    //! Called on every tick: looks at the file's stamp and, once a change has held still over
    //! a few checks, reads it again. The entries of the file replace those last read from it;
    //! entries of this run that are not saved yet stay. True when m_known changed.
    bool RefreshKnown();
    //! Writes what "known.dat" holds now, then the entries of m_known that it lacks and that
    //! were not read from it, in list order. Writes nothing while the file cannot be read.
    SaveResult SaveKnown();
    //! True when m_known holds an entry that the file did not hold when last read or saved.
    bool HasUnsaved() const;
    //! True when some entry equals the path exactly, case included.
    bool IsKnown(const std::string& path) const;
    //! The failure of the last save when the user has not been told of a failure since the
    //! last save that succeeded; kSaved otherwise. Asking clears it.
    SaveResult TakeUntoldFailure();

    StringList m_known;
    //! Hand-written lines that stood after an empty line in the file, kept to be written back.
    std::string m_knownTail;

  private:
    FileSystem::ReplaceResult ReplaceWithRetry();
    //! Makes the file's entries, then this run's additions, the list; returns the additions
    //! and leaves in `disk` the list as it was.
    StringList TakeFromDisk(StringList& disk, const std::string& tail);
    void NoteSave(SaveResult result);

    FileSystem& m_files;
    //! m_known[m_fromFileBegin, m_fromFileEnd) are the file's entries as last read or
    //! written; the others are this run's additions. m_diskKnown is false while it cannot be read.
    size_t m_fromFileBegin = 0;
    size_t m_fromFileEnd = 0;
    bool m_diskKnown = false;
    //! The last read of the file failed: what this run added waits for it to be read.
    bool m_readFailed = false;
    //! The stamp of the file as last read, and the stamp of the last check.
    FileStamp m_loaded;
    FileStamp m_seen;
    int m_steadyChecks = 0;
    bool m_failureTold = false;
    SaveResult m_untold = SaveResult::kSaved;
};
