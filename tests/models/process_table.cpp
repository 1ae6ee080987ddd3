#include "tests/models/process_table.h"

#include <algorithm>
#include <cstring>

uint32_t ProcessTable::Start(const std::string& path) {
    Process process;
    process.path = path;
    return Start(process);
}

uint32_t ProcessTable::Start(const Process& process) {
    Process added = process;
    if (added.id == 0) {
        added.id = m_nextId;
        m_nextId += 4;  // the system hands out multiples of four
    }
    if (added.createTime == ~uint64_t{0}) added.createTime = ++m_clock;
    m_processes.push_back(added);
    return added.id;
}

void ProcessTable::End(uint32_t id) {
    m_processes.erase(std::remove_if(m_processes.begin(), m_processes.end(),
                                     [id](const Process& p) { return p.id == id; }),
                      m_processes.end());
}

void ProcessTable::EndAll() {
    m_processes.clear();
}

ProcessTable::Process* ProcessTable::Find(uint32_t id) {
    for (Process& p : m_processes) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

bool ProcessTable::EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) {
    ++enumCalls;
    if (failEnum) return false;
    // As the system does: as many identifiers as fit, and no word of how many were left out.
    size_t fit = std::min<size_t>(bytes / sizeof(uint32_t), m_processes.size());
    for (size_t i = 0; i < fit; ++i) ids[i] = m_processes[i].id;
    *bytesReturned = static_cast<uint32_t>(fit * sizeof(uint32_t));
    return true;
}

bool ProcessTable::TakeSnapshot(std::vector<ProcessStamp>& processes) {
    if (failSnapshot) return false;
    processes.clear();
    for (const Process& p : m_processes) processes.push_back(ProcessStamp{p.id, p.createTime});
    return true;
}

ProcessHandle ProcessTable::OpenProcess(uint32_t access, bool, uint32_t processId) {
    accessAsked.push_back(access);
    Process* process = Find(processId);
    if (!process) return nullptr;
    bool allowed = (access & ~kProcessQueryLimited) == 0 ? process->openLimited : process->openFull;
    if (!allowed) return nullptr;
    if (!m_handles.empty()) ++overlappingOpens;
    ++opens;
    uintptr_t handle = m_nextHandle;
    m_nextHandle += 4;
    m_handles[handle] = processId;
    return reinterpret_cast<ProcessHandle>(handle);
}

uint32_t ProcessTable::GetProcessImageFileNameA(ProcessHandle process, char* path, uint32_t size) {
    ++pathCalls;
    auto it = m_handles.find(reinterpret_cast<uintptr_t>(process));
    if (it == m_handles.end() || size == 0) return 0;
    Process* p = Find(it->second);
    if (!p || p->path.empty()) return 0;
    if (p->path.size() + 1 > size) {
        // The system refuses a buffer that is too small; the port reports that as `size`.
        std::memcpy(path, p->path.data(), size - 1);
        path[size - 1] = '\0';
        return size;
    }
    std::memcpy(path, p->path.c_str(), p->path.size() + 1);
    return static_cast<uint32_t>(p->path.size());
}

bool ProcessTable::CloseHandle(ProcessHandle handle) {
    if (m_handles.erase(reinterpret_cast<uintptr_t>(handle)) == 0) return false;
    ++closes;
    return true;
}
