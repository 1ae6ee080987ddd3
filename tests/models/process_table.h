// A model of the system's process table, behaving as PSAPI and the kernel do.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string>
#include <vector>

#include "watch/ports.h"

class ProcessTable : public ProcessSource, public ProcessSnapshot {
  public:
    struct Process {
        uint32_t id = 0;
        std::string path;  // UTF-8; empty: the system reports no path
        //! What the query by identifier gives, in UTF-8; empty: `path`.
        std::string idPath;
        bool openFull = true;     // may be opened with 0x410
        bool openLimited = true;  // may be opened with 0x1000
        //! Set by Start from the table's clock unless given; 0 is no time at all.
        uint64_t createTime = ~uint64_t{0};
    };

    //! Starts a process; returns its identifier.
    uint32_t Start(const std::string& path);
    uint32_t Start(const Process& process);
    //! Ends a process; its open handles stay valid but report no path.
    void End(uint32_t id);
    void EndAll();
    Process* Find(uint32_t id);

    bool EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) override;
    ProcessHandle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override;
    uint32_t GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                      uint32_t size) override;
    int32_t QueryProcessIdImage(uint32_t processId, ImageName& name) override;
    bool CloseHandle(ProcessHandle handle) override;
    bool TakeSnapshot(std::vector<ProcessStamp>& processes) override;

    bool failEnum = false;
    bool failSnapshot = false;
    //! As a system before the query by identifier (Wine before 9.8).
    bool noIdQuery = false;
    //! As a 32-bit program on 64-bit Windows: a buffer too small leaves
    //! maximumLength as it was.
    bool keepsMaximumLength = false;
    //! An ended process is still answered for by identifier.
    bool answersEnded = false;

    // What was asked of the table.
    int enumCalls = 0;
    int opens = 0;
    int closes = 0;
    int pathCalls = 0;
    int idQueries = 0;
    //! Times a process was opened while another handle was still open.
    int overlappingOpens = 0;
    int openHandles() const { return static_cast<int>(m_handles.size()); }
    //! Each access asked for, in order.
    std::vector<uint32_t> accessAsked;

  private:
    std::vector<Process> m_processes;
    std::vector<Process> m_ended;
    std::map<uintptr_t, uint32_t> m_handles;  // handle -> process id
    uintptr_t m_nextHandle = 0x100;
    uint32_t m_nextId = 8;
    uint64_t m_clock = 132000000000000000;  // a creation time in 2019
};
