#include "tests/models/process_table.h"

#include <algorithm>

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
    if (added.id == kNewId) {
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

bool ProcessTable::ListProcesses(std::vector<ProcessStamp>& processes) {
    if (failList) return false;
    processes.clear();
    for (const Process& p : m_processes)
        processes.push_back(ProcessStamp{p.id, noSnapshot ? 0 : p.createTime});
    return true;
}

ImageAnswer ProcessTable::ImageOf(const ProcessStamp& process) {
    ++questions;
    ++asked[{process.id, process.createTime}];
    const Process* p = Find(process.id);
    // An ended process is found by neither query; the idle process may not be asked at all.
    if (!p || p->id == 0) return {ImageAnswer::Kind::Refused, {}};
    if (!noIdQuery) {
        std::u16string byId = Utf16(p->idPath.empty() ? p->path : p->idPath);
        return {byId.empty() ? ImageAnswer::Kind::NoFile : ImageAnswer::Kind::Path, byId};
    }
    if (!p->opens) return {ImageAnswer::Kind::Refused, {}};
    if (p->path.empty()) return {ImageAnswer::Kind::NoFile, {}};
    return {ImageAnswer::Kind::Path, Utf16(p->path)};
}
