// The file system of Windows, for the program: byte for byte, no text mode.
#include <windows.h>

#include "trust/file_system.h"

namespace {

//! A file handle, closed when it goes out of scope.
class ScopedFile {
  public:
    explicit ScopedFile(HANDLE handle) : m_handle(handle) {}
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ~ScopedFile() {
        if (valid()) ::CloseHandle(m_handle);
    }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    //! Closes the handle now; false when closing fails.
    bool Close() {
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE m_handle;
};

class Win32FileSystem : public FileSystem {
  public:
    bool ReadAll(const std::string& name, std::string& bytes) override {
        // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS, so it reads as a failure.
        ScopedFile file(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        std::string data;
        char chunk[65536];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
            if (got == 0) break;
            data.append(chunk, got);
        }
        bytes.swap(data);
        return true;
    }

    bool WriteAll(const std::string& name, const std::string& bytes) override {
        ScopedFile file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD put = 0;
            DWORD want = static_cast<DWORD>(bytes.size() - done);
            if (!::WriteFile(file.get(), bytes.data() + done, want, &put, nullptr) || put == 0) {
                return false;
            }
            done += put;
        }
        if (!::FlushFileBuffers(file.get())) return false;
        return file.Close();
    }

    bool Replace(const std::string& from, const std::string& to) override {
        // One step that replaces an existing file; write-through returns only
        // once the move is on the disk.
        return ::MoveFileExA(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }

    void Remove(const std::string& name) override { ::DeleteFileA(name.c_str()); }
};

}  // namespace

FileSystem& DefaultFileSystem() {
    static Win32FileSystem files;
    return files;
}
