#include "tests/models/code_page_model.h"

CodePageModel::CodePageModel(int codePage) : m_codePage(codePage) {
    if (codePage == 932) {
        m_characters = {
            {u'\u30BD', "\x83\x5C"},  // ソ: its second byte is a backslash's
            {u'\u30D5', "\x83\x74"},  // フ
            {u'\u30C8', "\x83\x67"},  // ト
            {u'\u8868', "\x95\x5C"},  // 表
            {u'\u5341', "\x8F\x5C"},  // 十
            {u'\u03A9', "\x83\xB6"},  // Ω
            {u'\uFF71', "\xB1"},      // ｱ, one byte
        };
        return;
    }
    for (char16_t c = 0xA0; c <= 0xFF; ++c) m_characters[c] = std::string(1, static_cast<char>(c));
    m_characters[u'\u20AC'] = "\x80";  // €
    m_characters[u'\u0160'] = "\x8A";  // Š
    m_characters[u'\u2122'] = "\x99";  // ™
    m_bestFit = {{u'\u014D', 'o'}, {u'\u03A9', 'O'}, {u'\u0101', 'a'}};
}

int CodePageModel::WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                              bool* usedDefault) const {
    ++conversions;
    std::string bytes;
    bool defaulted = false;
    for (int i = 0; i < length; ++i) {
        auto known = m_characters.find(wide[i]);
        if (wide[i] < 0x80) {
            bytes.push_back(static_cast<char>(wide[i]));
        } else if (known != m_characters.end()) {
            bytes += known->second;
        } else {
            // A surrogate, paired or not, is no character of an ANSI code page.
            bytes.push_back('?');
            defaulted = true;
        }
    }
    if (usedDefault) *usedDefault = defaulted;
    if (!out) return static_cast<int>(bytes.size());
    if (static_cast<int>(bytes.size()) > outSize) return 0;
    bytes.copy(out, bytes.size());
    return static_cast<int>(bytes.size());
}

bool CodePageModel::IsLeadByte(unsigned char lead) const {
    return m_codePage == 932 && ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC));
}

std::string CodePageModel::DeviceOfDrive(char letter) const {
    ++deviceLookups;
    auto drive = drives.find(letter);
    return drive == drives.end() ? std::string() : drive->second;
}

std::string CodePageModel::EightBitCall(const std::u16string& wide) const {
    std::string bytes;
    for (char16_t c : wide) {
        auto fit = m_bestFit.find(c);
        if (fit != m_bestFit.end()) {
            bytes.push_back(fit->second);
            continue;
        }
        char one[4];
        int length = WideToAnsi(&c, 1, one, sizeof one, nullptr);
        bytes.append(one, static_cast<size_t>(length));
    }
    return bytes;
}
