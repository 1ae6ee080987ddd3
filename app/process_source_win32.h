// The system's processes and path text on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "watch/ports.h"

//! The processes from one NtQuerySystemInformation snapshot (the call that
//! EnumProcesses makes itself), which gives each one's creation time, or from
//! EnumProcesses where there is none; each path asked for by identifier where
//! the system can be asked that, otherwise through a handle.
class Win32ProcessSystem : public ProcessSystem {
  public:
    //! `askById` false: every path through a handle, as on a system without the query.
    explicit Win32ProcessSystem(bool askById = true);
    bool ListProcesses(std::vector<ProcessStamp>& processes) override;
    ImageAnswer ImageOf(const ProcessStamp& process) override;

  private:
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    bool Snapshot(std::vector<ProcessStamp>& processes);
    bool Enumerate(std::vector<ProcessStamp>& processes);

    Query m_query;
    bool m_askById;
    //! Kept from snapshot to snapshot; grows only when the system asks for more.
    std::vector<uint64_t> m_snapshot;
    std::vector<DWORD> m_ids;
    //! Room for the longest path there is: 32,767 units and the NUL.
    std::vector<wchar_t> m_path;
};

//! The ANSI code page and the drive names of this system.
class Win32PathSystem : public PathSystem {
  public:
    int WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                   bool* usedDefault) const override;
    bool IsLeadByte(unsigned char lead) const override;
    std::string DeviceOfDrive(char letter) const override;
};
