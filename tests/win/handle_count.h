// The number of kernel handles a process holds, and the path the system
// gives for a process by its identifier alone, as Vardion asks it (Windows
// does, and Wine from 9.8). On Windows GetProcessHandleCount counts the
// handles; under Wine it answers 0 for another process, and the system's
// handle table (NtQuerySystemInformation), kept by the wine server, lists
// every handle with the id of the process that owns it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/win/wine.h"

using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
inline QuerySystem QuerySystemInformation() {
    return reinterpret_cast<QuerySystem>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
}

//! The image path of process `id` by identifier, with no handle
//! (SystemProcessIdInformation, class 88), into `path`: the status, 0 on success.
inline LONG ImagePathByIdentifier(DWORD id, std::wstring& path) {
    QuerySystem query = QuerySystemInformation();
    if (!query) return -1;
    // A UNICODE_STRING after the identifier; a 32-bit caller on 64-bit Windows
    // goes through WOW64, which converts it.
    struct {
        HANDLE id;
        USHORT length, maximumLength;
        PWSTR buffer;
    } info = {};
    std::vector<wchar_t> name(32768);
    info.id = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id));
    info.maximumLength = static_cast<USHORT>((name.size() - 1) * sizeof(wchar_t));
    info.buffer = name.data();
    LONG status = query(88, &info, sizeof info, nullptr);
    path.assign(name.data(), status == 0 ? info.length / sizeof(wchar_t) : 0);
    return status;
}

inline bool SystemNamesProcessesByIdentifier() {
    std::wstring path;
    return ImagePathByIdentifier(::GetCurrentProcessId(), path) == 0;
}

namespace handle_count {

struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// The handles `processId` holds now, or -1 when they cannot be counted.
inline long Of(DWORD processId) {
    if (!UnderWine()) {
        // Its own process by the pseudo handle, which adds no handle to count.
        bool own = processId == ::GetCurrentProcessId();
        HANDLE process = own ? ::GetCurrentProcess()
                             : ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
        DWORD count = 0;
        bool counted = process && ::GetProcessHandleCount(process, &count);
        if (process && !own) ::CloseHandle(process);
        return counted ? static_cast<long>(count) : -1;
    }
    static const QuerySystem query = QuerySystemInformation();
    if (!query) return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &needed)) == kLengthMismatch) {
        if (buffer.size() >= (64u << 20)) return -1;
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return -1;
    ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const char* first = buffer.data() + sizeof(PVOID);  // the count, padded to the entries
    if (sizeof(PVOID) + count * sizeof(Entry) > buffer.size()) return -1;
    long mine = 0;
    for (ULONG i = 0; i < count; ++i) {
        Entry entry;
        std::memcpy(&entry, first + i * sizeof(Entry), sizeof entry);
        if (entry.processId == processId) ++mine;
    }
    return mine;
}

// The least of a few counts taken 30 ms apart: a tick holds one process
// handle open while it examines that process, and a count may fall in it.
inline long Settled(DWORD processId) {
    long least = -1;
    for (int i = 0; i < 5; ++i) {
        long now = Of(processId);
        if (now >= 0 && (least < 0 || now < least)) least = now;
        ::Sleep(30);
    }
    return least;
}

}  // namespace handle_count
