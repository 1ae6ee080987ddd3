// The trusted list: the image paths the user has accepted, and "known.dat".
#pragma once

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

//! Holds the trusted list in memory and reads and writes its file.
class TrustedList {
  public:
    explicit TrustedList(FileSystem& files = DefaultFileSystem()) : m_files(files) {}

    //! Appends the entries of "known.dat" to m_known; a missing or unreadable file adds nothing.
    void LoadKnown();
    //! Rewrites "known.dat" from m_known. The old file stays whole unless the new one is complete.
    void SaveKnown();
    //! True when some entry equals the path exactly, case included.
    bool IsKnown(const std::string& path) const;

    StringList m_known;
    //! Hand-written lines that stood after an empty line in the file, kept to be written back.
    std::string m_knownTail;

  private:
    FileSystem& m_files;
};
