// The file system of Windows: byte for byte, no text mode.
#include "app/file_system_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// What a save writes with one call.
constexpr size_t kWritePiece = 1u << 20;

//! The handle of a file held for this program alone.
class HeldFile : public FileSystem::Held {
  public:
    explicit HeldFile(HANDLE handle) : m_file(handle) {}

  private:
    ScopedFile m_file;
};

// Where the folder's changes cannot be told, a wait for one lasts no longer:
// the file is looked at this often.
constexpr unsigned kPollMilliseconds = 500;

class Win32FileSystem : public FileSystem {
  public:
    using FileSystem::Read;
    using FileSystem::WriteNew;

    Win32FileSystem() : m_wake(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                    Progress& progress) override {
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
        return ReadUpTo(
            static_cast<uint64_t>(size.QuadPart), limit, bytes, progress,
            [handle](char* at, size_t room) -> long long {
                DWORD got = 0;
                return ::ReadFile(handle, at, static_cast<DWORD>(room), &got, nullptr) ? got : -1;
            });
    }

    bool WriteNew(const std::string& name, const Fill& fill) override {
        // CREATE_NEW fails on anything already there, and with
        // FILE_FLAG_OPEN_REPARSE_POINT a link planted under the name is never followed.
        ScopedFile file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
        if (!file.valid()) return false;
        std::vector<char> buffer(kWritePiece);
        for (size_t filled; (filled = fill(buffer.data(), buffer.size())) != 0;) {
            for (size_t done = 0; done < filled;) {
                DWORD put = 0;
                DWORD want = static_cast<DWORD>(filled - done);
                if (!::WriteFile(file.get(), buffer.data() + done, want, &put, nullptr) ||
                    put == 0) {
                    return false;
                }
                done += put;
            }
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

    std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA((prefix + "*" + suffix).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            // The pattern also matches short 8.3 names: the long name is what counts.
            std::string name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                name.size() >= prefix.size() + suffix.size() &&
                name.compare(0, prefix.size(), prefix) == 0 &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(name);
            }
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
        return names;
    }

    std::unique_ptr<Held> Hold(const std::string& name) override {
        // Shared with nobody: another run's open fails until this handle is
        // closed, and the file goes with it, even when the program is killed.
        HANDLE file =
            ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HeldFile>(file);
    }

    Change WaitForChange(unsigned milliseconds) override {
        // Asked for once, from the thread that waits: on a drive that does not
        // answer, asking may wait as long as a read.
        if (!m_change) {
            m_change = ::FindFirstChangeNotificationA(".", FALSE,
                                                      FILE_NOTIFY_CHANGE_FILE_NAME |
                                                          FILE_NOTIFY_CHANGE_SIZE |
                                                          FILE_NOTIFY_CHANGE_LAST_WRITE);
        }
        bool told = m_change != INVALID_HANDLE_VALUE;
        HANDLE handles[2] = {m_wake, m_change};
        DWORD waited = ::WaitForMultipleObjects(
            told ? 2 : 1, handles, FALSE,
            told ? milliseconds : std::min(milliseconds, kPollMilliseconds));
        if (waited == WAIT_OBJECT_0) return Change::kWoken;
        if (waited != WAIT_OBJECT_0 + 1) return Change::kTimedOut;
        ::FindNextChangeNotification(m_change);
        return Change::kMaybe;
    }

    void Wake() override { ::SetEvent(m_wake); }

    uint64_t Now() override {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        return Join(now.dwHighDateTime, now.dwLowDateTime);
    }

    void Pause(unsigned milliseconds) override { ::Sleep(milliseconds); }

  private:
    HANDLE m_wake;
    HANDLE m_change = nullptr;  // INVALID_HANDLE_VALUE where the folder tells of no change
};

}  // namespace

FileSystem& WindowsFileSystem() {
    // Never destroyed: a thread left inside a call to a drive that does not
    // answer may return to it while the program ends.
    static Win32FileSystem* files = new Win32FileSystem;
    return *files;
}
