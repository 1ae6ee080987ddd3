#include "watch/display_path.h"

#include <cctype>
#include <vector>

#include "watch/ansi_path.h"

namespace {

constexpr char kCut[] = "...";
constexpr size_t kCutLength = sizeof kCut - 1;

// The device of the network's redirectors: a program started from a share
// has the path "\Device\Mup\server\share\..." (device names ignore case).
constexpr char kNetwork[] = "\\device\\mup\\";
constexpr size_t kNetworkLength = sizeof kNetwork - 1;

// A path on a share in the UNC form that Windows users read; any other as it is.
std::string NetworkForm(const std::string& path) {
    if (path.size() <= kNetworkLength) return path;
    for (size_t i = 0; i < kNetworkLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[i])) != kNetwork[i]) return path;
    }
    return "\\\\" + path.substr(kNetworkLength);
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

std::string DisplayPath(const std::string& path, DriveTable& drives, const PathSystem& text,
                        size_t limit) {
    std::string shown = drives.LetterForm(path);
    if (shown == path) shown = NetworkForm(path);
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
