// The real file system with faults put in on demand: a temporary file that
// cannot be created, a disk that fills part-way through a write, a replace
// that fails or meets another opener for a while, a file that cannot be read,
// a read that waits until the test lets it go, another writer at a chosen
// step, a clock the test sets, and no memory for a read.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <string>

#include "trust/file_system.h"
#include "trust/file_system_posix.h"

class FaultyFileSystem : public FileSystem {
  public:
    using FileSystem::Read;
    using FileSystem::WriteNew;

    bool failCreate = false;
    long diskFullAfter = -1;  // bytes written before the disk is full; -1: never
    bool failReplace = false;
    int busyReplaces = 0;  // replaces that meet another opener before one can go through
    int replaces = 0;
    bool unreadable = false;  // the file exists but every read of it fails
    bool noRoom = false;      // every read finds no memory for the file
    int reads = 0;
    unsigned paused = 0;                  // milliseconds waited in all, without waiting
    std::function<void()> whileWriting;   // another writer, once, while a save writes its file
    std::function<void()> beforeReplace;  // another writer, once, just before a replace
    std::function<void()> whileBusy;      // another writer, once, when a replace meets a holder
    std::function<void()> whilePaused;    // another writer, once, while the work waits
    uint64_t now = 0;                     // the clock, when set; else the host's

    ~FaultyFileSystem() override {
        // A read still held on another thread ends before the model goes.
        std::unique_lock<std::mutex> lock(m_gate);
        m_held = false;
        m_opened.notify_all();
        m_idle.wait(lock, [this] { return m_inside == 0; });
    }

    //! While held, every read waits: a file on a slow disk, or a drive that does not answer.
    void Hold() {
        std::lock_guard<std::mutex> lock(m_gate);
        m_held = true;
    }
    void LetGo() {
        std::lock_guard<std::mutex> lock(m_gate);
        m_held = false;
        m_opened.notify_all();
    }

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                    Progress& progress) override {
        {
            std::unique_lock<std::mutex> lock(m_gate);
            ++m_inside;
            m_opened.wait(lock, [this] { return !m_held; });
            --m_inside;
            m_idle.notify_all();
        }
        ++reads;
        if (noRoom) throw std::bad_alloc();
        if (unreadable) return ReadResult::kFailed;
        return m_real.Read(name, bytes, limit, progress);
    }
    bool WriteNew(const std::string& name, const Fill& fill) override {
        if (failCreate) return false;
        Once(whileWriting);
        std::string bytes;
        char piece[4096];
        for (size_t got; (got = fill(piece, sizeof piece)) != 0;) bytes.append(piece, got);
        if (diskFullAfter >= 0 && static_cast<size_t>(diskFullAfter) < bytes.size()) {
            m_real.WriteNew(name, bytes.substr(0, static_cast<size_t>(diskFullAfter)));
            return false;
        }
        return m_real.WriteNew(name, bytes);
    }
    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        ++replaces;
        Once(beforeReplace);
        if (failReplace) return ReplaceResult::kFailed;
        if (busyReplaces > 0) {
            --busyReplaces;
            Once(whileBusy);
            return ReplaceResult::kBusy;
        }
        return m_real.Replace(from, to);
    }
    void Remove(const std::string& name) override { m_real.Remove(name); }
    FileStamp Stamp(const std::string& name) override { return m_real.Stamp(name); }
    std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) override {
        return m_real.Names(prefix, suffix);
    }
    std::unique_ptr<Held> Hold(const std::string& name) override { return m_real.Hold(name); }
    Change WaitForChange(unsigned milliseconds) override {
        return m_real.WaitForChange(milliseconds);
    }
    void Wake() override { m_real.Wake(); }
    uint64_t Now() override { return now ? now : m_real.Now(); }
    void Pause(unsigned milliseconds) override {
        paused += milliseconds;
        Once(whilePaused);
    }

  private:
    static void Once(std::function<void()>& writer) {
        if (!writer) return;
        std::function<void()> once;
        once.swap(writer);
        once();
    }

    FileSystem& m_real = HostFileSystem();
    std::mutex m_gate;
    std::condition_variable m_opened, m_idle;
    bool m_held = false;
    int m_inside = 0;
};
