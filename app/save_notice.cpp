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

// Why the list could not be read or saved.
const char* Cause(SaveResult failure) {
    switch (failure) {
        case SaveResult::kUnreadable:
            return "Another program may hold it open.";
        case SaveResult::kTooLarge:
            return "The file is larger than 64 MB or holds more than 2,000,000 lines, far more "
                   "than any list of programs: it may be damaged, or another program may have "
                   "written it.";
        case SaveResult::kNoAnswer:
            return "The drive it is on does not answer: a network drive may be away, or a disk "
                   "may have stopped.";
        case SaveResult::kNoRoom:
            return "Windows could not give Vardion the memory to read or save it.";
        default:
            return "The folder or the file may be read-only, or held by another program.";
    }
}

// What Vardion does about it while it runs.
const char* Remedy(SaveResult failure) {
    switch (failure) {
        case SaveResult::kUnreadable:
            return "Vardion leaves the file as it is, and adds to it as soon as it can read it.";
        case SaveResult::kTooLarge:
        case SaveResult::kNoRoom:
            return "Vardion leaves the file as it is, and reads it again once it changes.";
        case SaveResult::kNoAnswer:
            return "Vardion goes on watching with the list it has, announcing every program it "
                   "does not know as trusted, and takes the file in once the drive answers.";
        default:
            return "Vardion tries again at the next \"<< Add\" and at Exit.";
    }
}

// The notice while Vardion runs; at Exit, with the programs that are lost.
std::string NoticeText(SaveResult failure, const StringList* unsaved) {
    bool read = failure == SaveResult::kUnreadable || failure == SaveResult::kTooLarge;
    bool either = failure == SaveResult::kNoAnswer || failure == SaveResult::kNoRoom;
    std::string text = std::string("Vardion could not ") +
                       (read     ? "read"
                        : either ? "read or save"
                                 : "save") +
                       " its list of trusted programs, known.dat, in the folder\r\n\r\n";
    text += CurrentFolder();
    text += "\r\n\r\n";
    text += Cause(failure);
    if (!unsaved) {
        text += " ";
        text += Remedy(failure);
        text +=
            "\r\n\r\nUntil a save succeeds, the programs you trust with \"<< Add\" are "
            "trusted only until Vardion ends.";
        return text;
    }
    text +=
        "\r\n\r\nVardion ends now. These programs, which you trusted with \"<< Add\", were "
        "not saved and will not be trusted when Vardion starts again:\r\n";
    constexpr size_t kNamed = 10;
    for (size_t i = 0; i < unsaved->size() && i < kNamed; ++i) text += "\r\n" + (*unsaved)[i];
    if (unsaved->size() > kNamed) {
        text += "\r\nand " + std::to_string(unsaved->size() - kNamed) + " more";
    }
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
    *text = NoticeText(failure, nullptr);
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

void SaveNotice::SayAtExit(SaveResult failure, const StringList& unsaved) {
    ::MessageBoxA(nullptr, NoticeText(failure, &unsaved).c_str(), kSaveNoticeCaption,
                  MB_OK | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
}
