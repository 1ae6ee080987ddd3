// What loading and saving the trusted list needs of the file system. The
// program uses the real one; tests put one in its place that fails on demand.
#pragma once

#include <string>

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    //! Reads the whole file into bytes; false when it cannot be opened or read.
    virtual bool ReadAll(const std::string& name, std::string& bytes) = 0;
    //! Creates or truncates the file, writes bytes and flushes them to the disk; false on any
    //! failure.
    virtual bool WriteAll(const std::string& name, const std::string& bytes) = 0;
    //! Puts `from` in the place of `to` in one step, replacing it; false on failure.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    //! Deletes the file if it exists.
    virtual void Remove(const std::string& name) = 0;
};

//! The platform's file system: one implementation for the host, one for Windows.
FileSystem& DefaultFileSystem();
