#include "tests/models/process_table.h"

#include <algorithm>
#include <cstring>

namespace {

// The model's paths are UTF-8; the system's are UTF-16.
std::u16string Utf16(const std::string& text) {
    std::u16string wide;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        i += static_cast<size_t>(extra) + 1;
        if (code >= 0x10000) {
            wide.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(code));
        }
    }
    return wide;
}

}  // namespace

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
    if (answersEnded) {
        if (Process* p = Find(id)) m_ended.push_back(*p);
    }
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

uint32_t ProcessTable::GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                                uint32_t size) {
    ++pathCalls;
    auto it = m_handles.find(reinterpret_cast<uintptr_t>(process));
    if (it == m_handles.end() || size == 0) return 0;
    Process* p = Find(it->second);
    if (!p || p->path.empty()) return 0;
    std::u16string wide = Utf16(p->path);
    if (wide.size() + 1 > size) {
        // The system refuses a buffer that is too small; the port reports that as `size`.
        std::copy_n(wide.data(), size - 1, path);
        path[size - 1] = u'\0';
        return size;
    }
    std::copy_n(wide.c_str(), wide.size() + 1, path);
    return static_cast<uint32_t>(wide.size());
}

int32_t ProcessTable::QueryProcessIdImage(uint32_t processId, ImageName& name) {
    ++idQueries;
    if (noIdQuery) return kStatusInvalidInfoClass;
    const Process* p = Find(processId);
    for (const Process& ended : m_ended) {
        if (!p && ended.id == processId) p = &ended;
    }
    constexpr int32_t kInvalidCid = static_cast<int32_t>(0xC000000B);
    if (!p || processId == 0) return kInvalidCid;
    std::u16string wide = Utf16(p->idPath.empty() ? p->path : p->idPath);
    size_t bytes = wide.size() * sizeof(char16_t);
    if (bytes > name.maximumLength) {
        if (!keepsMaximumLength) {
            name.maximumLength = static_cast<uint16_t>(std::min<size_t>(bytes, kMaxImageNameBytes));
        }
        return kStatusInfoLengthMismatch;
    }
    std::copy_n(wide.data(), wide.size(), name.buffer);
    name.length = static_cast<uint16_t>(bytes);
    return kStatusSuccess;
}

bool ProcessTable::CloseHandle(ProcessHandle handle) {
    if (m_handles.erase(reinterpret_cast<uintptr_t>(handle)) == 0) return false;
    ++closes;
    return true;
}
