// The programs a Windows test starts beside it, found beside it, and their end.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

//! The path of `name` in the folder of the running program: the test programs
//! and the programs they start (Vardion.exe, the sleeper) are built into one
//! folder and copied as one, so a folder of them runs on any machine.
inline std::string BesideThisProgram(const std::string& name) {
    std::vector<char> self(32768);
    DWORD length = ::GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::string path(self.data(), length < self.size() ? length : 0);
    return path.substr(0, path.rfind('\\') + 1) + name;
}

//! A text of the ANSI code page in UTF-16.
inline std::wstring Wide(const std::string& text) {
    int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units > 0 ? units - 1 : 0));
    return wide;
}

//! Starts `exe`, a path in any script, with its quoted path as its command
//! line, in `dir` (the test's own when empty); with `dacl` (in the security
//! descriptor language, "D:" for none), its process grants only the access
//! that gives. A record with no handles when it cannot be started.
inline PROCESS_INFORMATION Launch(const std::wstring& exe, const std::wstring& dir = {},
                                  const char* dacl = nullptr) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (dacl && !::ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1,
                                                                        &descriptor, nullptr)) {
        return {};
    }
    SECURITY_ATTRIBUTES guard = {sizeof guard, descriptor, FALSE};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + exe + L"\"";
    BOOL started =
        ::CreateProcessW(exe.c_str(), &command[0], dacl ? &guard : nullptr, nullptr, FALSE, 0,
                         nullptr, dir.empty() ? nullptr : dir.c_str(), &startup, &process);
    ::LocalFree(descriptor);
    return started ? process : PROCESS_INFORMATION{};
}
inline PROCESS_INFORMATION Launch(const std::string& exe, const std::string& dir = {},
                                  const char* dacl = nullptr) {
    return Launch(Wide(exe), Wide(dir), dacl);
}

//! Ends a program the test started, if it still runs, and lets go of it.
inline void EndProcess(PROCESS_INFORMATION& process) {
    if (!process.hProcess) return;
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, 5000);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    process = {};
}
