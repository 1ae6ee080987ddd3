#include "app/save_notice.h"

#include <windows.h>

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
    std::string text = failure == SaveResult::kUnreadable
                           ? "Vardion could not read its list of trusted programs, known.dat, "
                             "in the folder\r\n\r\n"
                           : "Vardion could not save its list of trusted programs, known.dat, "
                             "in the folder\r\n\r\n";
    text += CurrentFolder();
    text += "\r\n\r\n";
    text += failure == SaveResult::kUnreadable
                ? "Another program may hold it open. Vardion leaves the file as it is, and "
                  "adds to it as soon as it can read it."
                : "The folder or the file may be read-only, or held by another program. "
                  "Vardion tries again at the next \"<< Add\" and at Exit.";
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

}  // namespace

void ShowSaveNotice(SaveResult failure) {
    if (failure == SaveResult::kSaved) return;
    std::string* text = new (std::nothrow) std::string;
    if (!text) return;
    *text = NoticeText(failure);
    HANDLE thread = ::CreateThread(nullptr, 0, NoticeThread, text, 0, nullptr);
    if (!thread) {
        delete text;
        return;
    }
    ::CloseHandle(thread);
}
