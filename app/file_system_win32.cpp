// The file system of Windows: byte for byte, no text mode.
#include "app/file_system_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>

#include "trust/read_up_to.h"

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

uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

using ReadResult = FileSystem::ReadResult;

class Win32FileSystem : public FileSystem {
  public:
    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit) override {
        // Shared every way, so that an editor or another run that holds the
        // file open does not make it unreadable. A folder does not open
        // without FILE_FLAG_BACKUP_SEMANTICS, so it reads as a failure.
        ScopedFile file(::CreateFileA(name.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? ReadResult::kMissing
                       : ReadResult::kFailed;
        }
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(file.get(), &size)) return ReadResult::kFailed;
        HANDLE handle = file.get();
        return ReadUpTo(static_cast<uint64_t>(size.QuadPart), limit, bytes,
                        [handle](char* at, size_t room) -> long long {
                            // ReadFile takes a 32-bit count: at most 16 MB a call.
                            DWORD want = static_cast<DWORD>(std::min<size_t>(room, 1u << 24));
                            DWORD got = 0;
                            return ::ReadFile(handle, at, want, &got, nullptr) ? got : -1;
                        });
    }

    bool WriteNew(const std::string& name, const std::string& bytes) override {
        // CREATE_NEW fails on anything already there, and with
        // FILE_FLAG_OPEN_REPARSE_POINT a link planted under the name is never followed.
        ScopedFile file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
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

    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        // A file the user made read-only is not to be replaced; Windows refuses
        // it, and Wine would replace it, so it is refused here on both.
        DWORD target = ::GetFileAttributesA(to.c_str());
        if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY)) {
            return ReplaceResult::kFailed;
        }
        // One step that replaces an existing file; write-through returns only
        // once the move is on the disk.
        if (::MoveFileExA(from.c_str(), to.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ReplaceResult::kReplaced;
        }
        // An indexer or a virus scanner holds one of the files for a moment.
        DWORD error = ::GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                       error == ERROR_LOCK_VIOLATION
                   ? ReplaceResult::kBusy
                   : ReplaceResult::kFailed;
    }

    void Remove(const std::string& name) override {
        DWORD attributes = ::GetFileAttributesA(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link: delete it, and leave alone the attributes of what it points to.
            if (!::DeleteFileA(name.c_str())) ::RemoveDirectoryA(name.c_str());
            return;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;
        // A read-only, hidden or system file refuses to be deleted or replaced.
        if (attributes &
            (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        ::DeleteFileA(name.c_str());
    }

    FileStamp Stamp(const std::string& name) override {
        // The folder's record of the file, without opening it: a holder that
        // shares nothing does not hide a change.
        FileStamp stamp;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) {
            DWORD error = ::GetLastError();
            stamp.state = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                              ? FileStamp::State::kMissing
                              : FileStamp::State::kUnknown;
            return stamp;
        }
        stamp.state = FileStamp::State::kPresent;
        stamp.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
        stamp.written =
            Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
        stamp.identity =
            Join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime);
        return stamp;
    }

    void Pause(unsigned milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

FileSystem& WindowsFileSystem() {
    static Win32FileSystem files;
    return files;
}
