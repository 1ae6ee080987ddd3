// The programs a Windows test starts beside it, and their end.
#pragma once

#include <windows.h>

#include <string>

//! Starts `exe` with its quoted path as its command line, in `dir` (the
//! test's own when empty), its process guarded by `guard` when given; a
//! record with no handles when it cannot be started.
inline PROCESS_INFORMATION Launch(const std::string& exe, const std::string& dir = {},
                                  SECURITY_ATTRIBUTES* guard = nullptr) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + exe + "\"";
    if (!::CreateProcessA(exe.c_str(), &command[0], guard, nullptr, FALSE, 0, nullptr,
                          dir.empty() ? nullptr : dir.c_str(), &startup, &process)) {
        return {};
    }
    return process;
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
