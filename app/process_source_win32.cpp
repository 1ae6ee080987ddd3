#include "app/process_source_win32.h"

#include <windows.h>
#include <psapi.h>

static_assert(sizeof(DWORD) == sizeof(uint32_t), "process identifiers are 32-bit");

bool Win32ProcessSource::EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) {
    DWORD returned = 0;
    if (!::EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned)) return false;
    *bytesReturned = returned;
    return true;
}

ProcessHandle Win32ProcessSource::OpenProcess(uint32_t access, bool inherit, uint32_t processId) {
    return ::OpenProcess(access, inherit ? TRUE : FALSE, processId);
}

uint32_t Win32ProcessSource::GetProcessImageFileNameA(ProcessHandle process, char* path,
                                                      uint32_t size) {
    DWORD length = ::GetProcessImageFileNameA(process, path, size);
    // The system refuses a buffer that is too small rather than cut the path:
    // report that as a full buffer, so that the caller asks again with more room.
    if (length == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) return size;
    return length;
}

bool Win32ProcessSource::CloseHandle(ProcessHandle handle) {
    return ::CloseHandle(handle) != 0;
}
