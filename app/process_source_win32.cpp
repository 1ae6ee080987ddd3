#include "app/process_source_win32.h"

#include <winternl.h>
#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

static_assert(sizeof(DWORD) == sizeof(uint32_t), "process identifiers are 32-bit");

namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kSystemProcessIdInformation = 88;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstSnapshotBytes = 64 * 1024;
constexpr size_t kMaxSnapshotBytes = 64 * 1024 * 1024;

// In and out of the query by identifier: 12 bytes in a 32-bit program, 24 in a 64-bit one.
struct ProcessIdInformation {
    HANDLE processId;
    UNICODE_STRING imageName;
};

// NtQuerySystemInformation from ntdll, which is in every process; asked for by
// name, the call leaves no import that a system without it would refuse to load.
template <typename Query>
Query NtQuery() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (!ntdll) return nullptr;
    FARPROC query = ::GetProcAddress(ntdll, "NtQuerySystemInformation");
    return reinterpret_cast<Query>(reinterpret_cast<void (*)()>(query));
}

template <typename Field>
Field Read(const unsigned char* entry, size_t offset) {
    Field field;
    std::memcpy(&field, entry + offset, sizeof field);
    return field;
}

// The processes of a snapshot of `length` bytes: a chain of entries, each
// giving the offset of the next, 0 on the last.
void ReadSnapshot(const unsigned char* snapshot, size_t length,
                  std::vector<ProcessStamp>& processes) {
    constexpr size_t kIdEnd =
        offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) + sizeof(HANDLE);
    processes.clear();
    for (size_t offset = 0; offset + kIdEnd <= length;) {
        const unsigned char* entry = snapshot + offset;
        ProcessStamp process;
        process.id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
            Read<HANDLE>(entry, offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId))));
        process.createTime = static_cast<uint64_t>(
            Read<LARGE_INTEGER>(entry, offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime)).QuadPart);
        processes.push_back(process);
        ULONG next = Read<ULONG>(entry, offsetof(SYSTEM_PROCESS_INFORMATION, NextEntryOffset));
        if (next == 0) break;
        offset += next;
    }
}

}  // namespace

PsapiProcessSource::PsapiProcessSource() : m_query(NtQuery<Query>()) {}

bool PsapiProcessSource::EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) {
    DWORD returned = 0;
    if (!::EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned)) return false;
    *bytesReturned = returned;
    return true;
}

ProcessHandle PsapiProcessSource::OpenProcess(uint32_t access, bool inherit, uint32_t processId) {
    return ::OpenProcess(access, inherit ? TRUE : FALSE, processId);
}

uint32_t PsapiProcessSource::GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                                      uint32_t size) {
    DWORD length = ::GetProcessImageFileNameW(process, reinterpret_cast<wchar_t*>(path), size);
    // The system refuses a buffer that is too small rather than cut the path:
    // report that as a full buffer, so that the caller asks again with more room.
    if (length == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) return size;
    return length;
}

int32_t PsapiProcessSource::QueryProcessIdImage(uint32_t processId, ImageName& name) {
    if (!m_query) return kStatusInvalidInfoClass;
    ProcessIdInformation info = {};
    info.processId = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(processId));
    info.imageName.Length = 0;
    info.imageName.MaximumLength = name.maximumLength;
    info.imageName.Buffer = reinterpret_cast<PWSTR>(name.buffer);
    LONG status = m_query(kSystemProcessIdInformation, &info, sizeof info, nullptr);
    name.length = info.imageName.Length;
    name.maximumLength = info.imageName.MaximumLength;
    return status;
}

bool PsapiProcessSource::CloseHandle(ProcessHandle handle) {
    return ::CloseHandle(handle) != 0;
}

int Win32PathSystem::WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                                bool* usedDefault) const {
    auto text = reinterpret_cast<const wchar_t*>(wide);
    if (::GetACP() == CP_UTF8) {
        // UTF-8 holds every character; the call refuses a default character
        // there, and fails on a lone surrogate instead.
        if (usedDefault) *usedDefault = false;
        return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, out,
                                     out ? outSize : 0, nullptr, nullptr);
    }
    BOOL defaulted = FALSE;
    int written = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, out,
                                        out ? outSize : 0, nullptr, &defaulted);
    if (usedDefault) *usedDefault = defaulted != FALSE;
    return written;
}

bool Win32PathSystem::IsLeadByte(unsigned char lead) const {
    return ::IsDBCSLeadByte(lead) != FALSE;
}

std::string Win32PathSystem::DeviceOfDrive(char letter) const {
    const char drive[] = {letter, ':', '\0'};
    char device[1024];
    // The first of the names given is the device the drive stands for now.
    if (::QueryDosDeviceA(drive, device, sizeof device) == 0) return {};
    return device;
}

NtProcessSnapshot::NtProcessSnapshot()
    : m_query(NtQuery<Query>()), m_buffer(kFirstSnapshotBytes / sizeof(uint64_t)) {}

bool NtProcessSnapshot::TakeSnapshot(std::vector<ProcessStamp>& processes) {
    if (!m_query) return false;
    for (;;) {
        ULONG bytes = static_cast<ULONG>(m_buffer.size() * sizeof(uint64_t));
        ULONG needed = 0;
        LONG status = m_query(kSystemProcessInformation, m_buffer.data(), bytes, &needed);
        if (status == kInfoLengthMismatch && bytes < kMaxSnapshotBytes) {
            // What the system asked for, and room for processes started meanwhile.
            size_t grown = std::max<size_t>(needed, bytes) + bytes / 2;
            m_buffer.resize((std::min(grown, kMaxSnapshotBytes) + 7) / sizeof(uint64_t));
            continue;
        }
        if (status < 0) return false;
        size_t length = needed != 0 && needed < bytes ? needed : bytes;
        ReadSnapshot(reinterpret_cast<const unsigned char*>(m_buffer.data()), length, processes);
        return true;
    }
}
