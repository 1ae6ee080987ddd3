// The system's processes on Windows: one snapshot per enumeration, and the
// kernel asked for a path only about processes it has not seen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "watch/ports.h"
#include "watch/remembering_source.h"

//! PSAPI and the kernel, one call each: every open, path and close goes to the system.
class PsapiProcessSource : public ProcessSource {
  public:
    PsapiProcessSource();
    bool EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) override;
    ProcessHandle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override;
    uint32_t GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                      uint32_t size) override;
    //! STATUS_INVALID_INFO_CLASS where ntdll lacks the call.
    int32_t QueryProcessIdImage(uint32_t processId, ImageName& name) override;
    bool CloseHandle(ProcessHandle handle) override;

  private:
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    Query m_query;
};

//! The ANSI code page and the drive names of this system.
class Win32PathSystem : public PathSystem {
  public:
    int WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                   bool* usedDefault) const override;
    bool IsLeadByte(unsigned char lead) const override;
    std::string DeviceOfDrive(char letter) const override;
};

//! Every process with its creation time, from one NtQuerySystemInformation
//! call (the one EnumProcesses makes itself). Fails where ntdll lacks the call.
class NtProcessSnapshot : public ProcessSnapshot {
  public:
    NtProcessSnapshot();
    bool TakeSnapshot(std::vector<ProcessStamp>& processes) override;

  private:
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    Query m_query;
    //! Kept from snapshot to snapshot; grows only when the system asks for more.
    std::vector<uint64_t> m_buffer;
};

namespace detail {
// Constructed before the source that refers to them.
struct Win32ProcessParts {
    PsapiProcessSource psapi;
    NtProcessSnapshot snapshot;
    Win32PathSystem pathSystem;
};
}  // namespace detail

//! The program's process source: NT snapshots over PSAPI, with remembered paths.
class Win32ProcessSource : private detail::Win32ProcessParts, public RememberingProcessSource {
  public:
    Win32ProcessSource() : RememberingProcessSource(psapi, snapshot, &pathSystem) {}
    const PathSystem& Text() const { return pathSystem; }
};
