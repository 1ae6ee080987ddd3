#include "watch/display_path.h"

#include <cctype>

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

}  // namespace

std::string DisplayPath(const std::string& path, const DriveTable& drives, size_t limit) {
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
    if (limit < kCutLength) return shown.substr(0, limit);
    // The start names the drive and the top folders, the end the program itself.
    size_t head = (limit - kCutLength) / 2;
    size_t tail = limit - kCutLength - head;
    return shown.substr(0, head) + kCut + shown.substr(shown.size() - tail);
}
