// libFuzzer target for reading "known.dat": for any bytes, loading ends, and
// load -> save -> load gives the same list, and the second save the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "trust/trusted_list.h"

namespace {

// Files in memory, so that the fuzzer touches no disk.
class MemoryFiles : public FileSystem {
  public:
    using FileSystem::Read;
    using FileSystem::WriteNew;
    std::map<std::string, std::string> files;

    ReadResult Read(const std::string& name, std::string& bytes, uint64_t limit,
                    Progress&) override {
        auto it = files.find(name);
        if (it == files.end()) return ReadResult::kMissing;
        if (it->second.size() > limit) return ReadResult::kTooLarge;
        bytes = it->second;
        return ReadResult::kRead;
    }
    bool WriteNew(const std::string& name, const Fill& fill) override {
        std::string bytes;
        char piece[64];  // shorter than many lines: pieces end inside them
        for (size_t got; (got = fill(piece, sizeof piece)) != 0;) bytes.append(piece, got);
        return files.emplace(name, bytes).second;
    }
    ReplaceResult Replace(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (it == files.end()) return ReplaceResult::kFailed;
        files[to] = it->second;
        files.erase(it);
        return ReplaceResult::kReplaced;
    }
    void Remove(const std::string& name) override { files.erase(name); }
    FileStamp Stamp(const std::string& name) override {
        FileStamp stamp;
        auto it = files.find(name);
        stamp.state = it == files.end() ? FileStamp::State::kMissing : FileStamp::State::kPresent;
        if (it != files.end()) stamp.size = it->second.size();
        return stamp;
    }
    std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) override {
        std::vector<std::string> names;
        for (const auto& file : files) {
            const std::string& name = file.first;
            if (name.size() >= prefix.size() + suffix.size() && name.rfind(prefix, 0) == 0 &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(name);
            }
        }
        return names;
    }
    std::unique_ptr<Held> Hold(const std::string&) override { return std::make_unique<Held>(); }
    Change WaitForChange(unsigned) override { return Change::kTimedOut; }
    void Wake() override {}
    uint64_t Now() override { return 0; }
    void Pause(unsigned) override {}
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
    for (size_t i = 0; i < first.m_known.size(); ++i) {
        std::string_view entry = first.m_known[i];
        Check(!entry.empty() && entry.find('\n') == std::string::npos);
        // The index finds every entry, and finds a second copy as its first.
        Check(first.m_known.Find(entry) <= i && first.m_known[first.m_known.Find(entry)] == entry);
    }
    first.SaveKnown();
    const std::string saved = disk.files[kKnownFileName];
    Check(disk.files.size() == 1);  // known.dat alone: no file a save wrote first is left

    TrustedList second(disk);
    second.LoadKnown();
    Check(second.m_known == first.m_known);
    Check(second.m_known.Tail() == first.m_known.Tail());
    second.SaveKnown();
    Check(disk.files[kKnownFileName] == saved);
    return 0;
}
