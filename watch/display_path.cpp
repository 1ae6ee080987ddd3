#include "watch/display_path.h"

#include <cctype>

#include "watch/ansi_path.h"

namespace {

constexpr char kCut[] = "...";
constexpr size_t kCutLength = sizeof kCut - 1;

// Device names are the system's object names, which ignore letter case.
bool BeginsWithNoCase(const std::string& text, const std::string& start) {
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(start[i]))) {
            return false;
        }
    }
    return true;
}

// Where the characters of `text` begin, and its end.
std::vector<size_t> CharacterStarts(const std::string& text, const PathSystem& codePage) {
    std::vector<size_t> starts;
    for (size_t at = 0; at < text.size(); at += CharacterLength(text, at, codePage)) {
        starts.push_back(at);
    }
    starts.push_back(text.size());
    return starts;
}

// The last character start at or before `at`.
size_t StartBefore(const std::vector<size_t>& starts, size_t at) {
    size_t found = 0;
    for (size_t start : starts) {
        if (start > at) break;
        found = start;
    }
    return found;
}

}  // namespace

std::string DisplayPath(const std::string& path, const DriveTable& drives, const PathSystem& text,
                        size_t limit) {
    // The backslash after the device keeps HarddiskVolume1 from claiming HarddiskVolume10.
    const DriveDevice* drive = nullptr;
    for (const DriveDevice& candidate : drives) {
        size_t length = candidate.device.size();
        if (length == 0 || path.size() <= length || path[length] != '\\') continue;
        if (!BeginsWithNoCase(path, candidate.device)) continue;
        if (!drive || length > drive->device.size()) drive = &candidate;
    }
    std::string shown =
        drive ? std::string{drive->letter, ':'} + path.substr(drive->device.size()) : path;
    if (shown.size() <= limit) return shown;
    std::vector<size_t> starts = CharacterStarts(shown, text);
    if (limit < kCutLength) return shown.substr(0, StartBefore(starts, limit));
    // The start names the drive and the top folders, the end the program itself.
    size_t head = StartBefore(starts, (limit - kCutLength) / 2);
    size_t tail = shown.size() - (limit - kCutLength - (limit - kCutLength) / 2);
    for (size_t start : starts) {
        if (start >= tail) {
            tail = start;
            break;
        }
    }
    return shown.substr(0, head) + kCut + shown.substr(tail);
}
