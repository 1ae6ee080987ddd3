// Whether this system names a process by its identifier alone, as Vardion
// asks it: Windows does, and Wine from 9.8.
#pragma once

#include <windows.h>

#include <cstdint>

inline bool SystemNamesProcessesByIdentifier() {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    struct {
        HANDLE id;
        USHORT length, maximumLength;
        PWSTR buffer;
    } info = {};
    wchar_t name[1024];
    info.id = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(::GetCurrentProcessId()));
    info.maximumLength = sizeof name;
    info.buffer = name;
    return query && query(88, &info, sizeof info, nullptr) == 0;
}
