// libFuzzer target for reading "known.dat": for any bytes, loading ends, and
// load -> save -> load gives the same list, and the second save the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "trust/trusted_list.h"

namespace {

// Files in memory, so that the fuzzer touches no disk.
class MemoryFiles : public FileSystem {
public:
    std::map<std::string, std::string> files;

    bool ReadAll(const std::string& name, std::string& bytes) override {
        auto it = files.find(name);
        if (it == files.end()) return false;
        bytes = it->second;
        return true;
    }
    bool WriteAll(const std::string& name, const std::string& bytes) override {
        files[name] = bytes;
        return true;
    }
    bool Replace(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (it == files.end()) return false;
        files[to] = it->second;
        files.erase(it);
        return true;
    }
    void Remove(const std::string& name) override { files.erase(name); }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFiles disk;
    disk.files[kKnownFileName] = std::string(reinterpret_cast<const char*>(data), size);

    TrustedList first(disk);
    first.LoadKnown();
    for (const std::string& entry : first.m_known) {
        Check(!entry.empty() && entry.find('\n') == std::string::npos);
    }
    first.SaveKnown();
    const std::string saved = disk.files[kKnownFileName];
    Check(disk.files.count(kKnownTempName) == 0);

    TrustedList second(disk);
    second.LoadKnown();
    Check(second.m_known == first.m_known);
    Check(second.m_knownTail == first.m_knownTail);
    second.SaveKnown();
    Check(disk.files[kKnownFileName] == saved);
    return 0;
}
