// The real file system with faults put in on demand: a temporary file that
// cannot be created, a disk that fills part-way through a write, a replace
// that fails or meets another opener for a while, a file that cannot be read,
// a read that waits until the test lets it go.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "trust/file_system.h"
#include "trust/file_system_posix.h"

class FaultyFileSystem : public FileSystem {
  public:
    bool failCreate = false;
    long diskFullAfter = -1;  // bytes written before the disk is full; -1: never
    bool failReplace = false;
    int busyReplaces = 0;  // replaces that meet another opener before one can go through
    int replaces = 0;
    bool unreadable = false;  // the file exists but every read of it fails
    int reads = 0;
    unsigned paused = 0;                 // milliseconds waited in all, without waiting
    std::function<void()> whileWriting;  // another writer, once, while a save writes its file

    //! While held, every read waits: a file on a slow disk, or locked by a frozen peer.
    void Hold() {
        std::lock_guard<std::mutex> lock(m_gate);
        m_held = true;
    }
    void LetGo() {
        std::lock_guard<std::mutex> lock(m_gate);
        m_held = false;
        m_opened.notify_all();
    }

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit) override {
        {
            std::unique_lock<std::mutex> lock(m_gate);
            m_opened.wait(lock, [this] { return !m_held; });
        }
        ++reads;
        if (unreadable) return ReadResult::kFailed;
        return m_real.Read(name, bytes, limit);
    }
    bool WriteNew(const std::string& name, const std::string& bytes) override {
        if (failCreate) return false;
        if (whileWriting) {
            std::function<void()> writer;
            writer.swap(whileWriting);
            writer();
        }
        if (diskFullAfter >= 0 && static_cast<size_t>(diskFullAfter) < bytes.size()) {
            m_real.WriteNew(name, bytes.substr(0, static_cast<size_t>(diskFullAfter)));
            return false;
        }
        return m_real.WriteNew(name, bytes);
    }
    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        ++replaces;
        if (failReplace) return ReplaceResult::kFailed;
        if (busyReplaces > 0) {
            --busyReplaces;
            return ReplaceResult::kBusy;
        }
        return m_real.Replace(from, to);
    }
    void Remove(const std::string& name) override { m_real.Remove(name); }
    FileStamp Stamp(const std::string& name) override { return m_real.Stamp(name); }
    void Pause(unsigned milliseconds) override { paused += milliseconds; }

  private:
    FileSystem& m_real = HostFileSystem();
    std::mutex m_gate;
    std::condition_variable m_opened;
    bool m_held = false;
};
