// The number of kernel handles a process holds, counted from the system's
// handle table, and whether the system names a process by its identifier
// alone, as Vardion asks it (Windows does, and Wine from 9.8): both through
// NtQuerySystemInformation. GetProcessHandleCount answers 0 for another
// process under Wine; the table is kept by the wine server and lists every
// handle with the id of the process that owns it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
inline QuerySystem QuerySystemInformation() {
    return reinterpret_cast<QuerySystem>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
}

inline bool SystemNamesProcessesByIdentifier() {
    QuerySystem query = QuerySystemInformation();
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

namespace handle_count {

struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// The handles `processId` holds now, or -1 when the table cannot be had.
inline long Of(DWORD processId) {
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
