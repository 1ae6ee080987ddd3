// The system's processes through PSAPI and the kernel.
#pragma once

#include "watch/ports.h"

class Win32ProcessSource : public ProcessSource {
  public:
    bool EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) override;
    ProcessHandle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override;
    uint32_t GetProcessImageFileNameA(ProcessHandle process, char* path, uint32_t size) override;
    bool CloseHandle(ProcessHandle handle) override;
};
