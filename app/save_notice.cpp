#include "app/save_notice.h"

#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

const char kSaveNoticeCaption[] = "Vardion: trusted programs not saved";

namespace {

// The folder that holds "known.dat": the current one, as the user knows it.
std::string CurrentFolder() {
    DWORD size = ::GetCurrentDirectoryA(0, nullptr);
    std::string folder(size, '\0');
    DWORD length = size ? ::GetCurrentDirectoryA(size, &folder[0]) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

std::string NoticeText(SaveResult failure) {
    bool read = failure == SaveResult::kUnreadable || failure == SaveResult::kTooLarge;
    std::string text = read ? "Vardion could not read its list of trusted programs, known.dat, "
                              "in the folder\r\n\r\n"
                            : "Vardion could not save its list of trusted programs, known.dat, "
                              "in the folder\r\n\r\n";
    text += CurrentFolder();
    text += "\r\n\r\n";
    switch (failure) {
        case SaveResult::kUnreadable:
            text +=
                "Another program may hold it open. Vardion leaves the file as it is, and "
                "adds to it as soon as it can read it.";
            break;
        case SaveResult::kTooLarge:
            text +=
                "The file is larger than 64 MB, far more than any list of programs: it may be "
                "damaged, or another program may have written it. Vardion leaves the file as "
                "it is, and reads it again once it changes.";
            break;
        case SaveResult::kTempInTheWay:
            text +=
                "A folder or a file named known.dat.tmp stands in that folder and cannot be "
                "removed; Vardion writes the list there first. Remove or rename it: Vardion "
                "tries again at the next \"<< Add\" and at Exit.";
            break;
        default:
            text +=
                "The folder or the file may be read-only, or held by another program. "
                "Vardion tries again at the next \"<< Add\" and at Exit.";
            break;
    }
    text +=
        "\r\n\r\nUntil a save succeeds, the programs you trust with \"<< Add\" are "
        "trusted only until Vardion ends.";
    return text;
}

DWORD WINAPI NoticeThread(LPVOID parameter) {
    std::string* text = static_cast<std::string*>(parameter);
    // No owner: the box disables no window of the program, and shows on top
    // for a user who is not looking at the main window.
    ::MessageBoxA(nullptr, text->c_str(), kSaveNoticeCaption,
                  MB_OK | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
    delete text;
    return 0;
}

BOOL CALLBACK PressOk(HWND box, LPARAM) {
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    return TRUE;
}

}  // namespace

void SaveNotice::Show(SaveResult failure) {
    if (failure == SaveResult::kSaved || failure == SaveResult::kStarted) return;
    // Threads whose box was dismissed are let go.
    for (size_t i = m_threads.size(); i-- > 0;) {
        if (::WaitForSingleObject(m_threads[i].handle, 0) != WAIT_OBJECT_0) continue;
        ::CloseHandle(m_threads[i].handle);
        m_threads.erase(m_threads.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::string* text = new (std::nothrow) std::string;
    if (!text) return;
    *text = NoticeText(failure);
    Thread thread = {};
    thread.handle = ::CreateThread(nullptr, 0, NoticeThread, text, 0, &thread.id);
    if (!thread.handle) {
        delete text;
        return;
    }
    m_threads.push_back(thread);
}

void SaveNotice::Close() {
    for (const Thread& thread : m_threads) {
        // The box may not be up yet: asked again until its thread ends. Its
        // modal loop ends on WM_QUIT; its OK button is a second way.
        for (int wait = 0; wait < 100; ++wait) {
            ::PostThreadMessageA(thread.id, WM_QUIT, 0, 0);
            ::EnumThreadWindows(thread.id, PressOk, 0);
            if (::WaitForSingleObject(thread.handle, 50) == WAIT_OBJECT_0) break;
        }
        ::CloseHandle(thread.handle);
    }
    m_threads.clear();
}
