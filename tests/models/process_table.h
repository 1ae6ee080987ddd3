// A model of the system's process table, answering as the Windows adapter does.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "watch/ports.h"

class ProcessTable : public ProcessSystem {
  public:
    //! An identifier the table hands out itself.
    static constexpr uint32_t kNewId = ~0u;

    struct Process {
        uint32_t id = kNewId;
        std::string path;  // UTF-8, through a handle; empty: the system gives no path
        //! What the query by identifier gives, in UTF-8; empty: `path`.
        std::string idPath;
        bool opens = true;  // may be opened for its path
        //! Set by Start from the table's clock unless given; 0 is no time at all.
        uint64_t createTime = ~uint64_t{0};
    };

    //! Starts a process; returns its identifier.
    uint32_t Start(const std::string& path);
    uint32_t Start(const Process& process);
    //! Ends a process.
    void End(uint32_t id);
    void EndAll();
    Process* Find(uint32_t id);

    //! The snapshot, or the identifiers alone (no creation times) without one.
    bool ListProcesses(std::vector<ProcessStamp>& processes) override;
    //! By identifier first where the system can be asked that, then through a handle.
    ImageAnswer ImageOf(const ProcessStamp& process) override;

    bool failList = false;
    //! No snapshot: the system's enumeration gives identifiers alone.
    bool noSnapshot = false;
    //! As a system before the query by identifier (Wine before 9.8).
    bool noIdQuery = false;

    //! Questions asked, in all and of each (identifier, creation time).
    int questions = 0;
    std::map<std::pair<uint32_t, uint64_t>, int> asked;

  private:
    std::vector<Process> m_processes;
    uint32_t m_nextId = 8;
    uint64_t m_clock = 132000000000000000;  // a creation time in 2019
};
