// What loading and saving the trusted list needs of the file system. The
// program uses the real one; tests put one in its place that fails on demand.
#pragma once

#include <cstdint>
#include <string>

//! What a cheap look at a file tells without opening it. Two equal stamps of
//! one name mean, as far as the system can tell, an unchanged file.
struct FileStamp {
    enum class State { kMissing, kPresent, kUnknown };
    State state = State::kUnknown;
    uint64_t size = 0;
    uint64_t written = 0;   // last write time, in the system's own units
    uint64_t identity = 0;  // creation time or file number: a replaced file changes it

    bool operator==(const FileStamp& other) const {
        return state == other.state && size == other.size && written == other.written &&
               identity == other.identity;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

class FileSystem {
  public:
    enum class ReadResult { kRead, kMissing, kFailed, kTooLarge };
    enum class ReplaceResult { kReplaced, kBusy, kFailed };

    virtual ~FileSystem() = default;

    //! Reads the whole file into bytes, sharing it with every other opener; kMissing only when
    //! the file or its folder does not exist, kFailed when it exists but cannot be read,
    //! kTooLarge when it holds more than `limit` bytes, of which it reads no more than that.
    virtual ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit) = 0;
    //! Creates the file, which must not exist, never through a link; writes bytes and flushes
    //! them to the disk; false on any failure.
    virtual bool WriteNew(const std::string& name, const std::string& bytes) = 0;
    //! Puts `from` in the place of `to` in one step; kBusy when another opener or a passing
    //! refusal stands in the way and a retry may succeed.
    virtual ReplaceResult Replace(const std::string& from, const std::string& to) = 0;
    //! Deletes the file if it exists, whatever its attributes; a link goes, not its target.
    virtual void Remove(const std::string& name) = 0;
    //! The file's stamp, without opening or reading it.
    virtual FileStamp Stamp(const std::string& name) = 0;
    //! Waits before a retry.
    virtual void Pause(unsigned milliseconds) = 0;
};
