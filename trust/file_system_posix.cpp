#include "trust/file_system_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <ctime>
#include <fcntl.h>

#include "trust/file_system.h"
#include "trust/read_up_to.h"

namespace {

using ReadResult = FileSystem::ReadResult;

class PosixFileSystem : public FileSystem {
  public:
    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit) override {
        int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0)
            return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
        struct stat info;
        ReadResult result = ReadResult::kFailed;
        if (::fstat(fd, &info) == 0) {
            result = ReadUpTo(static_cast<uint64_t>(info.st_size), limit, bytes,
                              [fd](char* at, size_t room) -> long long {
                                  // A directory opens but cannot be read.
                                  return ::read(fd, at, room);
                              });
        }
        ::close(fd);
        return result;
    }

    bool WriteNew(const std::string& name, const std::string& bytes) override {
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0) return false;
        size_t done = 0;
        bool ok = true;
        while (done < bytes.size()) {
            ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (put <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(put);
        }
        if (ok && ::fsync(fd) != 0) ok = false;
        if (::close(fd) != 0) ok = false;
        return ok;
    }

    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        if (std::rename(from.c_str(), to.c_str()) == 0) return ReplaceResult::kReplaced;
        return errno == EBUSY ? ReplaceResult::kBusy : ReplaceResult::kFailed;
    }

    void Remove(const std::string& name) override { ::unlink(name.c_str()); }

    FileStamp Stamp(const std::string& name) override {
        FileStamp stamp;
        struct stat info;
        if (::stat(name.c_str(), &info) != 0) {
            stamp.state = errno == ENOENT || errno == ENOTDIR ? FileStamp::State::kMissing
                                                              : FileStamp::State::kUnknown;
            return stamp;
        }
        stamp.state = FileStamp::State::kPresent;
        stamp.size = static_cast<uint64_t>(info.st_size);
        stamp.written = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                        static_cast<uint64_t>(info.st_mtim.tv_nsec);
        stamp.identity = static_cast<uint64_t>(info.st_ino);
        return stamp;
    }

    void Pause(unsigned milliseconds) override {
        struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                                static_cast<long>(milliseconds % 1000) * 1000000L};
        ::nanosleep(&wait, nullptr);
    }
};

}  // namespace

FileSystem& HostFileSystem() {
    static PosixFileSystem files;
    return files;
}
