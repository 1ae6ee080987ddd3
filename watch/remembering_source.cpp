#include "watch/remembering_source.h"

#include <algorithm>
#include <utility>

#include "watch/image_path.h"

namespace {

// The first remembered path at or after (id, createTime), in the order the paths are kept.
template <typename Paths>
auto LowerBound(Paths& paths, uint32_t id, uint64_t createTime) {
    return std::lower_bound(paths.begin(), paths.end(), id,
                            [createTime](const auto& r, uint32_t key) {
                                return r.id < key || (r.id == key && r.createTime < createTime);
                            });
}

}  // namespace

RememberingProcessSource::RememberingProcessSource(ProcessSource& system,
                                                   ProcessSnapshot& snapshots,
                                                   const PathSystem* drives)
    : m_system(system), m_snapshots(snapshots), m_text(drives) {}

RememberingProcessSource::~RememberingProcessSource() {
    // Handles of the system still open when the source goes are not leaked.
    for (const std::unique_ptr<Open>& open : m_opens) {
        if (open->inUse && open->system) m_system.CloseHandle(open->system);
    }
}

bool RememberingProcessSource::EnumProcesses(uint32_t* ids, uint32_t bytes,
                                             uint32_t* bytesReturned) {
    m_cursor = 0;
    if (m_text) m_drives.emplace(*m_text);
    if (!m_snapshots.TakeSnapshot(m_current)) {
        m_current.clear();
        m_paths.clear();
        return m_system.EnumProcesses(ids, bytes, bytesReturned);
    }
    ForgetEnded();
    // As the system's enumeration does: as many identifiers as fit, and a full
    // buffer when there may be more.
    size_t fit = std::min<size_t>(bytes / sizeof(uint32_t), m_current.size());
    for (size_t i = 0; i < fit; ++i) ids[i] = m_current[i].id;
    *bytesReturned = static_cast<uint32_t>(fit * sizeof(uint32_t));
    return true;
}

ProcessHandle RememberingProcessSource::OpenProcess(uint32_t access, bool inherit,
                                                    uint32_t processId) {
    uint64_t createTime = CreateTimeOf(processId);
    if (createTime != 0) {
        if (const Remembered* known = Find(processId, createTime)) {
            if (known->kind == Kind::Refused) return nullptr;
            return Hand(nullptr, processId, createTime);
        }
        if (m_drives && !m_noIdQuery) {
            int32_t status = kStatusSuccess;
            uint32_t length = ReadImagePathById(m_system, processId, m_buffer, &status);
            if (status == kStatusInvalidInfoClass) m_noIdQuery = true;
            // A bare name ("Registry") or none is left to the handle, as before.
            auto end = m_buffer.begin() + length;
            if (std::find(m_buffer.begin(), end, u'\\') != end) {
                RememberAnswer(processId, createTime, m_buffer.data(), length);
                return Hand(nullptr, processId, createTime);
            }
        }
    }
    // A process that ended, its identifier handed out again, between the
    // snapshot and this open is read as the new one, as the system alone would
    // read it; the next snapshot lacks the old pair, which is then forgotten.
    ProcessHandle system = m_system.OpenProcess(access, inherit, processId);
    if (system) return Hand(system, processId, createTime);
    // Refusing the least access there is, it refuses every other too.
    if (access == kProcessQueryLimited && createTime != 0) {
        Remember(processId, createTime, nullptr, 0, Kind::Refused);
    }
    return nullptr;
}

uint32_t RememberingProcessSource::GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                                            uint32_t size) {
    Open* open = static_cast<Open*>(process);
    auto ours = [open](const std::unique_ptr<Open>& o) { return o.get() == open && o->inUse; };
    if (size == 0 || std::none_of(m_opens.begin(), m_opens.end(), ours)) return 0;

    if (open->system) {
        uint32_t length = m_system.GetProcessImageFileNameW(open->system, path, size);
        // Only a path read whole is worth keeping; a full buffer means the
        // caller asks again with more room.
        if (length > 0 && length < size && open->createTime != 0) {
            Remember(open->id, open->createTime, path, length, Kind::Read);
        }
        return length;
    }

    const Remembered* known = Find(open->id, open->createTime);
    if (!known || known->path.empty()) return 0;
    // The system's answer, to the letter: a path that does not fit fills the
    // buffer and reports its size.
    if (known->path.size() + 1 > size) {
        std::copy_n(known->path.data(), size - 1, path);
        path[size - 1] = u'\0';
        return size;
    }
    std::copy_n(known->path.c_str(), known->path.size() + 1, path);
    return static_cast<uint32_t>(known->path.size());
}

int32_t RememberingProcessSource::QueryProcessIdImage(uint32_t processId, ImageName& name) {
    if (m_noIdQuery) return kStatusInvalidInfoClass;
    uint64_t createTime = CreateTimeOf(processId);
    const Remembered* known = createTime != 0 ? Find(processId, createTime) : nullptr;
    if (known && known->kind != Kind::Refused) {
        // As a system that says what it needs.
        size_t bytes = known->path.size() * sizeof(char16_t);
        if (bytes > name.maximumLength) {
            name.maximumLength = static_cast<uint16_t>(bytes);
            return kStatusInfoLengthMismatch;
        }
        std::copy_n(known->path.data(), known->path.size(), name.buffer);
        name.length = static_cast<uint16_t>(bytes);
        return kStatusSuccess;
    }
    int32_t status = m_system.QueryProcessIdImage(processId, name);
    if (status == kStatusInvalidInfoClass) m_noIdQuery = true;
    // The system may answer for a process that has just ended: an answer is
    // kept only for a process of the latest snapshot, and goes with it.
    if (status >= 0 && createTime != 0 && name.length <= name.maximumLength) {
        RememberAnswer(processId, createTime, name.buffer, name.length / sizeof(char16_t));
    }
    return status;
}

void RememberingProcessSource::RememberAnswer(uint32_t id, uint64_t createTime,
                                              const char16_t* path, uint32_t length) {
    // Only "\??\X:" and what follows it are read; a device name is ASCII.
    std::u16string wide(path, length);
    if (m_drives && length >= 6 && wide.compare(0, 4, u"\\??\\") == 0) {
        std::string prefix;
        for (size_t i = 0; i < 7 && i < wide.size() && wide[i] < 0x80; ++i) {
            prefix.push_back(static_cast<char>(wide[i]));
        }
        std::string device = m_drives->DeviceForm(prefix);
        if (device != prefix) {
            wide = std::u16string(device.begin(), device.end()) + wide.substr(prefix.size());
        }
    }
    Remember(id, createTime, wide.data(), static_cast<uint32_t>(wide.size()), Kind::Answered);
}

bool RememberingProcessSource::CloseHandle(ProcessHandle handle) {
    for (const std::unique_ptr<Open>& open : m_opens) {
        if (open.get() != handle || !open->inUse) continue;
        open->inUse = false;
        return open->system ? m_system.CloseHandle(open->system) : true;
    }
    return false;
}

uint64_t RememberingProcessSource::CreateTimeOf(uint32_t id) {
    // The scan opens the processes in snapshot order: the one asked for is
    // nearly always where the last lookup ended, or the next.
    for (size_t at = m_cursor; at < m_cursor + 2 && at < m_current.size(); ++at) {
        if (m_current[at].id == id) {
            m_cursor = at;
            return m_current[at].createTime;
        }
    }
    for (size_t at = 0; at < m_current.size(); ++at) {
        if (m_current[at].id == id) {
            m_cursor = at;
            return m_current[at].createTime;
        }
    }
    return 0;
}

RememberingProcessSource::Remembered* RememberingProcessSource::Find(uint32_t id,
                                                                     uint64_t createTime) {
    auto at = LowerBound(m_paths, id, createTime);
    return at != m_paths.end() && at->id == id && at->createTime == createTime ? &*at : nullptr;
}

void RememberingProcessSource::Remember(uint32_t id, uint64_t createTime, const char16_t* path,
                                        uint32_t length, Kind kind) {
    std::u16string text = path ? std::u16string(path, length) : std::u16string();
    if (Remembered* known = Find(id, createTime)) {
        known->path = std::move(text);
        known->kind = kind;
        return;
    }
    m_paths.insert(LowerBound(m_paths, id, createTime),
                   Remembered{id, createTime, std::move(text), kind, true});
}

void RememberingProcessSource::ForgetEnded() {
    for (Remembered& r : m_paths) r.live = false;
    for (const ProcessStamp& process : m_current) {
        if (process.createTime == 0) continue;
        if (Remembered* known = Find(process.id, process.createTime)) known->live = true;
    }
    m_paths.erase(
        std::remove_if(m_paths.begin(), m_paths.end(), [](const Remembered& r) { return !r.live; }),
        m_paths.end());
}

ProcessHandle RememberingProcessSource::Hand(ProcessHandle system, uint32_t id,
                                             uint64_t createTime) {
    Open* open = nullptr;
    for (const std::unique_ptr<Open>& spare : m_opens) {
        if (!spare->inUse) {
            open = spare.get();
            break;
        }
    }
    if (!open) {
        m_opens.push_back(std::make_unique<Open>());
        open = m_opens.back().get();
    }
    *open = Open{system, id, createTime, true};
    return open;
}
