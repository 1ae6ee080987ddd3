// A working directory of its own for one run of a program under test, in the
// temporary folder. Wine hands out process ids again, so the name also holds
// a serial number and the tick count, and the directory must be new: a list
// left by an earlier run must never count.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

// Creates `<temp><prefix>-<pid>-<serial>-<ticks>`; false when it existed already or can't be made.
inline bool MakeFreshDirectory(const char* prefix, std::string& dir) {
    static int serial = 0;
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    // The long form of each folder, as the system names a program's path:
    // Windows may give the temporary folder with a short name (RUNNER~1).
    char longTemp[MAX_PATH];
    DWORD length = ::GetLongPathNameA(temp, longTemp, sizeof longTemp);
    if (length > 0 && length < sizeof longTemp) std::memcpy(temp, longTemp, length + 1);
    dir = std::string(temp) + prefix + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
          std::to_string(++serial) + "-" + std::to_string(::GetTickCount());
    return ::CreateDirectoryA(dir.c_str(), nullptr) != FALSE;
}
