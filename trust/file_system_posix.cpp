#include "trust/file_system_posix.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>
#include <ctime>
#include <fcntl.h>

#include "trust/file_system.h"
#include "trust/read_up_to.h"

namespace {

using ReadResult = FileSystem::ReadResult;

constexpr size_t kWritePiece = 1u << 20;

class HeldFile : public FileSystem::Held {
  public:
    explicit HeldFile(int fd) : m_fd(fd) {}
    ~HeldFile() override { ::close(m_fd); }

  private:
    int m_fd;
};

class PosixFileSystem : public FileSystem {
  public:
    using FileSystem::Read;
    using FileSystem::WriteNew;

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                    Progress& progress) override {
        int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0)
            return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
        struct stat info;
        ReadResult result = ReadResult::kFailed;
        if (::fstat(fd, &info) == 0) {
            result = ReadUpTo(static_cast<uint64_t>(info.st_size), limit, bytes, progress,
                              [fd](char* at, size_t room) -> long long {
                                  // A directory opens but cannot be read.
                                  return ::read(fd, at, room);
                              });
        }
        ::close(fd);
        return result;
    }

    bool WriteNew(const std::string& name, const Fill& fill) override {
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0) return false;
        std::vector<char> buffer(kWritePiece);
        bool ok = true;
        for (size_t filled; ok && (filled = fill(buffer.data(), buffer.size())) != 0;) {
            for (size_t done = 0; ok && done < filled;) {
                ssize_t put = ::write(fd, buffer.data() + done, filled - done);
                ok = put > 0;
                if (ok) done += static_cast<size_t>(put);
            }
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
        stamp.written = static_cast<uint64_t>(info.st_mtim.tv_sec) * 10000000u +
                        static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100u;
        stamp.identity = static_cast<uint64_t>(info.st_ino);
        return stamp;
    }

    std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) override {
        std::vector<std::string> names;
        DIR* folder = ::opendir(".");
        if (!folder) return names;
        while (const dirent* entry = ::readdir(folder)) {
            std::string name = entry->d_name;
            if (name.size() >= prefix.size() + suffix.size() &&
                name.compare(0, prefix.size(), prefix) == 0 &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(name);
            }
        }
        ::closedir(folder);
        return names;
    }

    std::unique_ptr<Held> Hold(const std::string& name) override {
        // A lock of the open file, which another process's lock refuses. The
        // file stays: deleting it would let a third open a new one beside.
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<HeldFile>(fd);
    }

    Change WaitForChange(unsigned milliseconds) override {
        // The host tells of no change: the whole time is waited, unless woken.
        std::unique_lock<std::mutex> lock(m_wake);
        bool woken = m_woken.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                      [this] { return m_wakeUp; });
        m_wakeUp = false;
        return woken ? Change::kWoken : Change::kTimedOut;
    }

    void Wake() override {
        std::lock_guard<std::mutex> lock(m_wake);
        m_wakeUp = true;
        m_woken.notify_all();
    }

    uint64_t Now() override {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        return static_cast<uint64_t>(now.tv_sec) * 10000000u +
               static_cast<uint64_t>(now.tv_nsec) / 100u;
    }

    void Pause(unsigned milliseconds) override {
        struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                                static_cast<long>(milliseconds % 1000) * 1000000L};
        ::nanosleep(&wait, nullptr);
    }

  private:
    std::mutex m_wake;
    std::condition_variable m_woken;
    bool m_wakeUp = false;
};

}  // namespace

FileSystem& HostFileSystem() {
    static PosixFileSystem files;
    return files;
}
