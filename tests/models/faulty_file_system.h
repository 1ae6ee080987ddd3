// The real file system with faults put in on demand: a temporary file that
// cannot be created, a disk that fills part-way through a write, a replace
// that fails.
#pragma once

#include <string>

#include "trust/file_system.h"

class FaultyFileSystem : public FileSystem {
  public:
    bool failCreate = false;
    long diskFullAfter = -1;  // bytes written before the disk is full; -1: never
    bool failReplace = false;
    int replaces = 0;

    bool ReadAll(const std::string& name, std::string& bytes) override {
        return m_real.ReadAll(name, bytes);
    }
    bool WriteAll(const std::string& name, const std::string& bytes) override {
        if (failCreate) return false;
        if (diskFullAfter >= 0 && static_cast<size_t>(diskFullAfter) < bytes.size()) {
            m_real.WriteAll(name, bytes.substr(0, static_cast<size_t>(diskFullAfter)));
            return false;
        }
        return m_real.WriteAll(name, bytes);
    }
    bool Replace(const std::string& from, const std::string& to) override {
        ++replaces;
        return !failReplace && m_real.Replace(from, to);
    }
    void Remove(const std::string& name) override { m_real.Remove(name); }

  private:
    FileSystem& m_real = DefaultFileSystem();
};
