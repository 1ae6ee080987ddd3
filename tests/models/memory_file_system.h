// Files in memory, for a watcher whose "<< Add" saves: every write counted,
// and writes that fail on demand.
#pragma once

#include <map>
#include <string>

#include "trust/file_system.h"

class MemoryFileSystem : public FileSystem {
  public:
    bool failWrites = false;
    int writes = 0;
    std::map<std::string, std::string> files;

    bool ReadAll(const std::string& name, std::string& bytes) override {
        auto it = files.find(name);
        if (it == files.end()) return false;
        bytes = it->second;
        return true;
    }
    bool WriteAll(const std::string& name, const std::string& bytes) override {
        ++writes;
        if (failWrites) return false;
        files[name] = bytes;
        return true;
    }
    bool Replace(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (it == files.end()) return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    }
    void Remove(const std::string& name) override { files.erase(name); }
};
