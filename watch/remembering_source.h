// A process source that asks the system about each process once in its life.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "watch/ansi_path.h"
#include "watch/ports.h"

//! Answers from one system snapshot per enumeration, and from memory for every
//! process whose path it has read before. The path a process reports is fixed
//! when it is created, and its identifier with its creation time names it for
//! its whole life, so a path read once stays right for as long as that pair is
//! in the snapshots. A process that refused to be opened is not asked again,
//! and the path the system gave for its identifier is kept as a path read
//! through a handle is. Everything else goes to the system as it would without
//! the memory: a new process, one that gave no path, one with no creation
//! time, and every process when no snapshot can be had. A system that lacks
//! the query by identifier is asked it once.
//!
//! Given the system's drive names, a new process is asked for by identifier
//! first, one call in place of an open, a path and a close, and an answer in
//! the "\??\X:" form is kept in the device form of X: as it was then.
class RememberingProcessSource : public ProcessSource {
  public:
    //! `system` opens processes and reads their paths; `snapshots` lists them;
    //! `drives`, when given, names the drives of answers by identifier.
    RememberingProcessSource(ProcessSource& system, ProcessSnapshot& snapshots,
                             const PathSystem* drives = nullptr);
    ~RememberingProcessSource() override;
    RememberingProcessSource(const RememberingProcessSource&) = delete;
    RememberingProcessSource& operator=(const RememberingProcessSource&) = delete;

    //! Lists the processes of a new snapshot and forgets every path of a
    //! process that is not in it. Falls back on the system's own enumeration,
    //! and forgets everything, when there is no snapshot.
    bool EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) override;
    //! A process with a remembered path opens with no call to the system, and
    //! one that refused opens for nobody with none.
    ProcessHandle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override;
    //! A path read whole from the system is remembered for its process.
    uint32_t GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                      uint32_t size) override;
    //! An answer for a process of the latest snapshot is remembered for it.
    int32_t QueryProcessIdImage(uint32_t processId, ImageName& name) override;
    bool CloseHandle(ProcessHandle handle) override;

    //! How many processes are held now, by path or by refusal.
    size_t RememberedCount() const { return m_paths.size(); }
    //! Whether a path is held for a process with this identifier.
    bool Remembers(uint32_t processId) const {
        for (const Remembered& known : m_paths)
            if (known.id == processId) return true;
        return false;
    }

  private:
    enum class Kind {
        Read,      // read through a handle
        Refused,   // refused every access; not asked by identifier yet
        Answered,  // given by identifier; the path may be empty
    };
    struct Remembered {
        uint32_t id;
        uint64_t createTime;
        std::u16string path;
        Kind kind;
        bool live;  // in the latest snapshot
    };
    //! What OpenProcess handed out; `system` is null when memory answers.
    struct Open {
        ProcessHandle system = nullptr;
        uint32_t id = 0;
        uint64_t createTime = 0;
        bool inUse = false;
    };

    uint64_t CreateTimeOf(uint32_t id);
    Remembered* Find(uint32_t id, uint64_t createTime);
    void Remember(uint32_t id, uint64_t createTime, const char16_t* path, uint32_t length,
                  Kind kind);
    void ForgetEnded();
    void RememberAnswer(uint32_t id, uint64_t createTime, const char16_t* path, uint32_t length);
    ProcessHandle Hand(ProcessHandle system, uint32_t id, uint64_t createTime);

    ProcessSource& m_system;
    ProcessSnapshot& m_snapshots;
    std::vector<ProcessStamp> m_current;  // the latest snapshot, in its order
    size_t m_cursor = 0;                  // where the last lookup in it ended
    std::vector<Remembered> m_paths;      // sorted by identifier, then creation time
    std::vector<std::unique_ptr<Open>> m_opens;
    bool m_noIdQuery = false;  // the system lacks the query by identifier
    const PathSystem* m_text;
    std::optional<DriveDevices> m_drives;  // asked afresh for each snapshot
    std::vector<char16_t> m_buffer;
};
