#include "watch/ansi_path.h"

#include <cstdio>
#include <vector>

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendEscape(std::string& out, uint32_t codePoint) {
    char escape[16];
    int length = std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(codePoint));
    out.append(escape, static_cast<size_t>(length));
}

// One character, one or two units, into `out`; false when the code page lacks it.
bool AppendCharacter(const char16_t* wide, int units, const PathSystem& text, std::string& out) {
    char bytes[8];
    bool usedDefault = false;
    int length = text.WideToAnsi(wide, units, bytes, sizeof bytes, &usedDefault);
    if (length <= 0 || usedDefault) return false;
    out.append(bytes, static_cast<size_t>(length));
    return true;
}

}  // namespace

std::string AnsiPath(const char16_t* wide, size_t length, const PathSystem& text) {
    // Every ANSI code page gives ASCII as it is: most paths need no call at all.
    std::string out;
    out.reserve(length);
    bool ascii = true;
    bool surrogates = false;
    for (size_t i = 0; i < length; ++i) {
        if (wide[i] >= 0x80) ascii = false;
        if (wide[i] >= 0xD800 && wide[i] <= 0xDFFF) surrogates = true;
    }
    if (ascii) {
        for (size_t i = 0; i < length; ++i) out.push_back(static_cast<char>(wide[i]));
        return out;
    }
    // The whole path at once, in room for three bytes a unit (UTF-8 needs
    // that many); character by character only when one was missing.
    if (!surrogates) {
        std::vector<char> bytes(length * 3);
        bool usedDefault = false;
        int written = text.WideToAnsi(wide, static_cast<int>(length), bytes.data(),
                                      static_cast<int>(bytes.size()), &usedDefault);
        if (written > 0 && !usedDefault)
            return std::string(bytes.data(), static_cast<size_t>(written));
    }
    for (size_t i = 0; i < length;) {
        char16_t unit = wide[i];
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
            ++i;
        } else if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(wide[i + 1])) {
            if (!AppendCharacter(wide + i, 2, text, out)) {
                AppendEscape(out, 0x10000 + ((unit - 0xD800u) << 10) + (wide[i + 1] - 0xDC00u));
            }
            i += 2;
        } else {
            // A lone surrogate is no character: it has no 8-bit form in any code page.
            bool lone = IsHighSurrogate(unit) || IsLowSurrogate(unit);
            if (lone || !AppendCharacter(wide + i, 1, text, out)) AppendEscape(out, unit);
            ++i;
        }
    }
    return out;
}

size_t CharacterLength(const std::string& path, size_t at, const PathSystem& text) {
    unsigned char byte = static_cast<unsigned char>(path[at]);
    if (byte == '<') {
        size_t end = path.find('>', at);
        if (end != std::string::npos) return end + 1 - at;
    }
    if (byte >= 0x80 && at + 1 < path.size() && text.IsLeadByte(byte)) return 2;
    return 1;
}

std::string BaseName(const std::string& path, const PathSystem& text) {
    size_t start = 0;
    for (size_t at = 0; at < path.size(); at += CharacterLength(path, at, text)) {
        if (path[at] == '\\') start = at + 1;
    }
    return path.substr(start);
}
