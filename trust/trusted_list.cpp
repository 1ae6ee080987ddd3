#include "trust/trusted_list.h"

const char kKnownFileName[] = "known.dat";
const char kKnownTempName[] = "known.dat.tmp";

void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail) {
    tail.clear();
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = (lf == std::string::npos) ? bytes.size() : lf;
        size_t next = (lf == std::string::npos) ? bytes.size() : lf + 1;
        // A CR belongs to the line end only when an LF follows it.
        size_t textEnd =
            (lf != std::string::npos && end > pos && bytes[end - 1] == '\r') ? end - 1 : end;
        if (textEnd == pos) {
            tail.assign(bytes, next, std::string::npos);
            return;
        }
        entries.emplace_back(bytes, pos, textEnd - pos);
        pos = next;
    }
}

std::string FormatKnown(const StringList& entries, const std::string& tail) {
    size_t size = tail.empty() ? 0 : tail.size() + 2;
    for (const std::string& entry : entries) size += entry.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const std::string& entry : entries) {
        bytes += entry;
        bytes += "\r\n";
    }
    if (!tail.empty()) {
        bytes += "\r\n";
        bytes += tail;
    }
    return bytes;
}

void TrustedList::LoadKnown() {
    std::string bytes;
    if (!m_files.ReadAll(kKnownFileName, bytes)) return;
    ParseKnown(bytes, m_known, m_knownTail);
}

void TrustedList::SaveKnown() {
    // Write the whole list beside the file first and only then swap it in, so
    // that a failure at any step leaves the old list on the disk.
    if (m_files.WriteAll(kKnownTempName, FormatKnown(m_known, m_knownTail)) &&
        m_files.Replace(kKnownTempName, kKnownFileName)) {
        return;
    }
    m_files.Remove(kKnownTempName);
}

bool TrustedList::IsKnown(const std::string& path) const {
    for (const std::string& entry : m_known) {
        if (entry == path) return true;
    }
    return false;
}
