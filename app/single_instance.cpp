#include "app/single_instance.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// The name of the current folder's claim: the same for every spelling of the
// folder that the system reads back in one long, upper-case form.
std::string ClaimName() {
    char full[MAX_PATH * 4] = {};
    DWORD length = ::GetFullPathNameA(".", sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return {};
    char longer[MAX_PATH * 4] = {};
    DWORD longLength = ::GetLongPathNameA(full, longer, sizeof longer);
    std::string folder = longLength > 0 && longLength < sizeof longer ? longer : full;
    ::CharUpperBuffA(&folder[0], static_cast<DWORD>(folder.size()));
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    uint64_t hash = 14695981039346656037ull;  // FNV-1a: object names allow no backslash
    for (unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Vardion-%016llx",
                  static_cast<unsigned long long>(hash));
    return name;
}

// The main window of one process, hidden or not.
HWND MainWindowOf(DWORD processId) {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, "#32770", "Vardion")) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

}  // namespace

SingleInstance::~SingleInstance() {
    if (m_owner) ::UnmapViewOfFile(m_owner);
    if (m_claim) ::CloseHandle(m_claim);
}

bool SingleInstance::Claim() {
    std::string name = ClaimName();
    if (name.empty()) return true;  // no name to meet under: run alone
    m_claim = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD),
                                   name.c_str());
    if (!m_claim) return true;
    bool first = ::GetLastError() != ERROR_ALREADY_EXISTS;
    m_owner = static_cast<DWORD*>(::MapViewOfFile(m_claim, FILE_MAP_WRITE, 0, 0, sizeof(DWORD)));
    if (first && m_owner)
        ::InterlockedExchange(reinterpret_cast<LONG*>(m_owner),
                              static_cast<LONG>(::GetCurrentProcessId()));
    return first;
}

void SingleInstance::ShowFirst() {
    if (!m_owner) return;
    // The first may have claimed the folder a moment ago and have no window yet.
    for (int wait = 0; wait < 100; ++wait) {
        DWORD first = static_cast<DWORD>(
            ::InterlockedCompareExchange(reinterpret_cast<LONG*>(m_owner), 0, 0));
        HWND window = first ? MainWindowOf(first) : nullptr;
        if (window) {
            // Asked, not waited for: a first instance that hangs must not hang this one.
            ::ShowWindowAsync(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
            ::SetForegroundWindow(window);
            return;
        }
        ::Sleep(50);
    }
}
