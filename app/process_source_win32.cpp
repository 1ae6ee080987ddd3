#include "app/process_source_win32.h"

#include <winternl.h>
#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

static_assert(sizeof(DWORD) == sizeof(uint32_t), "process identifiers are 32-bit");

namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kSystemProcessIdInformation = 88;
constexpr LONG kInvalidInfoClass = static_cast<LONG>(0xC0000003);
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstSnapshotBytes = 64 * 1024;
constexpr size_t kMaxSnapshotBytes = 64 * 1024 * 1024;
// The longest path there is, and its NUL. A UNICODE_STRING holds at most
// 0xFFFE bytes, so the query by identifier needs no larger buffer either.
constexpr DWORD kPathUnits = 32768;
constexpr DWORD kFirstIdCount = 1024;
constexpr DWORD kMaxIdCount = 1u << 20;

// In and out of the query by identifier: 12 bytes in a 32-bit program, 24 in a 64-bit one.
struct ProcessIdInformation {
    HANDLE processId;
    UNICODE_STRING imageName;
};

struct CloseProcess {
    void operator()(HANDLE process) const { ::CloseHandle(process); }
};
using ScopedProcess = std::unique_ptr<void, CloseProcess>;

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

ImageAnswer PathAnswer(const wchar_t* path, size_t length) {
    if (length == 0) return {ImageAnswer::Kind::NoFile, {}};
    return {ImageAnswer::Kind::Path,
            std::u16string(reinterpret_cast<const char16_t*>(path), length)};
}

}  // namespace

Win32ProcessSystem::Win32ProcessSystem(bool askById)
    : m_query(NtQuery<Query>()),
      m_askById(askById && m_query),
      m_snapshot(kFirstSnapshotBytes / sizeof(uint64_t)),
      m_path(kPathUnits) {}

bool Win32ProcessSystem::ListProcesses(std::vector<ProcessStamp>& processes) {
    return Snapshot(processes) || Enumerate(processes);
}

bool Win32ProcessSystem::Snapshot(std::vector<ProcessStamp>& processes) {
    if (!m_query) return false;
    for (;;) {
        ULONG bytes = static_cast<ULONG>(m_snapshot.size() * sizeof(uint64_t));
        ULONG needed = 0;
        LONG status = m_query(kSystemProcessInformation, m_snapshot.data(), bytes, &needed);
        if (status == kInfoLengthMismatch && bytes < kMaxSnapshotBytes) {
            // What the system asked for, and room for processes started meanwhile.
            size_t grown = std::max<size_t>(needed, bytes) + bytes / 2;
            m_snapshot.resize((std::min(grown, kMaxSnapshotBytes) + 7) / sizeof(uint64_t));
            continue;
        }
        if (status < 0) return false;
        size_t length = needed != 0 && needed < bytes ? needed : bytes;
        ReadSnapshot(reinterpret_cast<const unsigned char*>(m_snapshot.data()), length, processes);
        return true;
    }
}

bool Win32ProcessSystem::Enumerate(std::vector<ProcessStamp>& processes) {
    // The buffer grows while the system fills it: a full one may mean more processes.
    if (m_ids.size() < kFirstIdCount) m_ids.resize(kFirstIdCount);
    for (;;) {
        DWORD capacity = static_cast<DWORD>(m_ids.size() * sizeof(DWORD));
        DWORD returned = 0;
        if (!::EnumProcesses(m_ids.data(), capacity, &returned)) return false;
        if (returned < capacity || m_ids.size() >= kMaxIdCount) {
            processes.clear();
            for (DWORD i = 0; i < returned / sizeof(DWORD); ++i) processes.push_back({m_ids[i], 0});
            return true;
        }
        m_ids.resize(m_ids.size() * 2);
    }
}

ImageAnswer Win32ProcessSystem::ImageOf(const ProcessStamp& process) {
    if (m_askById) {
        // One call, with no handle, and the only one that names a process
        // which refuses to be opened (a service, another user's program).
        ProcessIdInformation info = {};
        info.processId = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process.id));
        info.imageName.MaximumLength = static_cast<USHORT>((kPathUnits - 1) * sizeof(wchar_t));
        info.imageName.Buffer = m_path.data();
        LONG status = m_query(kSystemProcessIdInformation, &info, sizeof info, nullptr);
        if (status >= 0) return PathAnswer(m_path.data(), info.imageName.Length / sizeof(wchar_t));
        // Wine before 9.8 lacks the query: it is asked once. Any other failure
        // (the process has just ended) is left to the handle.
        if (status == kInvalidInfoClass) m_askById = false;
    }
    ScopedProcess handle(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.id));
    // All that reading the path needs: granted by processes that refuse the rest.
    if (!handle) handle.reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.id));
    if (!handle) return {ImageAnswer::Kind::Refused, {}};
    DWORD length = ::GetProcessImageFileNameW(handle.get(), m_path.data(), kPathUnits);
    return PathAnswer(m_path.data(), length);
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
