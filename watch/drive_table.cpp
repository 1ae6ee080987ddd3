#include "watch/drive_table.h"

#include <cctype>

namespace {

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

const std::string& DriveTable::DeviceOf(char letter) {
    std::optional<std::string>& device = m_devices[static_cast<size_t>(letter - 'A')];
    if (!device) device = m_system.DeviceOfDrive(letter);
    return *device;
}

std::string DriveTable::DeviceForm(const std::string& path) {
    // "\??\C:" and then a backslash or nothing.
    if (path.size() < 6 || path.compare(0, 4, "\\??\\") != 0 || path[5] != ':') return path;
    if (path.size() > 6 && path[6] != '\\') return path;
    char letter = static_cast<char>(path[4] & ~0x20);  // the drive's letter, upper case
    if (letter < 'A' || letter > 'Z') return path;
    const std::string& device = DeviceOf(letter);
    return device.empty() ? path : device + path.substr(6);
}

std::string DriveTable::LetterForm(const std::string& path) {
    // The backslash after the device keeps HarddiskVolume1 from claiming HarddiskVolume10.
    char letter = 0;
    size_t length = 0;
    for (char candidate = 'A'; candidate <= 'Z'; ++candidate) {
        const std::string& device = DeviceOf(candidate);
        if (device.size() <= length || path.size() <= device.size()) continue;
        if (path[device.size()] != '\\' || !BeginsWithNoCase(path, device)) continue;
        letter = candidate;
        length = device.size();
    }
    return letter ? std::string{letter, ':'} + path.substr(length) : path;
}
