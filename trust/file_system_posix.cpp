// The host's file system, for the host build and its tests.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "trust/file_system.h"

namespace {

class PosixFileSystem : public FileSystem {
  public:
    bool ReadAll(const std::string& name, std::string& bytes) override {
        int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0) return false;
        std::string data;
        char chunk[65536];
        bool ok = true;
        for (;;) {
            ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0) {  // a directory opens but cannot be read
                ok = false;
                break;
            }
            if (got == 0) break;
            data.append(chunk, static_cast<size_t>(got));
        }
        ::close(fd);
        if (ok) bytes.swap(data);
        return ok;
    }

    bool WriteAll(const std::string& name, const std::string& bytes) override {
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
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

    bool Replace(const std::string& from, const std::string& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0;
    }

    void Remove(const std::string& name) override { ::unlink(name.c_str()); }
};

}  // namespace

FileSystem& DefaultFileSystem() {
    static PosixFileSystem files;
    return files;
}
