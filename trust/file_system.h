// What loading and saving the trusted list needs of the file system. The
// program uses the real one; tests put one in its place that fails on demand.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

//! What a cheap look at a file tells without opening it. Two equal stamps of
//! one name mean, as far as the system can tell, an unchanged file.
struct FileStamp {
    enum class State { kMissing, kPresent, kUnknown };
    State state = State::kUnknown;
    uint64_t size = 0;
    uint64_t written = 0;   // last write time, in 100 ns units, as FileSystem::Now counts
    uint64_t identity = 0;  // creation time or file number: a replaced file changes it

    bool operator==(const FileStamp& other) const {
        return state == other.state && size == other.size && written == other.written &&
               identity == other.identity;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

//! What a call has done so far, counted as it goes: whoever waits for the call
//! sees it move while a slow drive still delivers.
using Progress = std::atomic<uint64_t>;

//! Puts the next bytes of a file being written into `out`, at most `room` of
//! them; their count, 0 once all are out.
using Fill = std::function<size_t(char* out, size_t room)>;

class FileSystem {
  public:
    enum class ReadResult {
        kRead,
        kMissing,
        kFailed,
        kTooLarge,
        kChanged,  // the file grew while it was read: what was read is no version of it
    };
    enum class ReplaceResult { kReplaced, kBusy, kFailed };
    enum class Change { kMaybe, kWoken, kTimedOut };

    virtual ~FileSystem() = default;

    //! Reads the whole file into bytes, sharing it with every other opener, into one buffer of
    //! the size it had when opened, and adds each piece read to `progress`; kMissing only when
    //! the file or its folder does not exist, kFailed when it exists but cannot be read,
    //! kTooLarge when it holds more than `limit` bytes, of which it reads no more than that.
    virtual ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                            Progress& progress) = 0;
    //! Creates the file, which must not exist, never through a link; writes what `fill` hands
    //! out and flushes it to the disk; false on any failure.
    virtual bool WriteNew(const std::string& name, const Fill& fill) = 0;
    //! Puts `from` in the place of `to` in one step; kBusy when another opener or a passing
    //! refusal stands in the way and a retry may succeed.
    virtual ReplaceResult Replace(const std::string& from, const std::string& to) = 0;
    //! Deletes the file if it exists, whatever its attributes; a link goes, not its target.
    virtual void Remove(const std::string& name) = 0;
    //! The file's stamp, without opening or reading it.
    virtual FileStamp Stamp(const std::string& name) = 0;
    //! The names of the files in the current folder that begin with `prefix` and end with
    //! `suffix`.
    virtual std::vector<std::string> Names(const std::string& prefix,
                                           const std::string& suffix) = 0;
    //! A file held open for this program alone; let go when it is destroyed.
    class Held {
      public:
        virtual ~Held() = default;
    };
    //! Opens `name`, creating it, so that no other program may open it, and deletes it once it
    //! is let go; null while another program holds it.
    virtual std::unique_ptr<Held> Hold(const std::string& name) = 0;
    //! Waits until a file of the current folder may have been created, written, renamed or
    //! deleted (kMaybe), until Wake is called (kWoken), or for `milliseconds` (kTimedOut), of
    //! which a folder whose changes the system does not tell waits only a fraction.
    virtual Change WaitForChange(unsigned milliseconds) = 0;
    //! Ends a WaitForChange under way, or the next one, at once. Any thread may call it; it
    //! touches no file.
    virtual void Wake() = 0;
    //! The time now, in the units of FileStamp::written.
    virtual uint64_t Now() = 0;
    //! Waits before a retry.
    virtual void Pause(unsigned milliseconds) = 0;

    //! Read, when nobody watches its progress.
    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit) {
        Progress unwatched{0};
        return Read(name, bytes, limit, unwatched);
    }
    //! WriteNew of bytes that are all at hand.
    bool WriteNew(const std::string& name, std::string_view bytes);
};

inline bool FileSystem::WriteNew(const std::string& name, std::string_view bytes) {
    return WriteNew(name, [bytes](char* out, size_t room) mutable {
        size_t put = std::min(room, bytes.size());
        if (put != 0) std::memcpy(out, bytes.data(), put);
        bytes.remove_prefix(put);
        return put;
    });
}
