#include "trust/known_list.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// Calls `entry(begin, length)` for each line of the list in `bytes` and
// returns where the tail begins: bytes.size() when there is none.
template <typename Entry>
size_t SplitKnown(std::string_view bytes, Entry entry) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = (lf == std::string_view::npos) ? bytes.size() : lf;
        size_t next = (lf == std::string_view::npos) ? bytes.size() : lf + 1;
        // A CR belongs to the line end only when an LF follows it.
        size_t textEnd =
            (lf != std::string_view::npos && end > pos && bytes[end - 1] == '\r') ? end - 1 : end;
        if (textEnd == pos) return next;
        entry(pos, textEnd - pos);
        pos = next;
    }
    return bytes.size();
}

template <typename List>
std::string Format(const List& entries, const std::string& tail) {
    size_t size = tail.empty() ? 0 : tail.size() + 2;
    for (std::string_view entry : entries) size += entry.size() + 2;
    // Filled in place: a list of a million entries is one allocation and a copy.
    std::string bytes(size, '\0');
    char* out = &bytes[0];
    for (std::string_view entry : entries) {
        if (!entry.empty()) std::memcpy(out, entry.data(), entry.size());
        out += entry.size();
        *out++ = '\r';
        *out++ = '\n';
    }
    if (!tail.empty()) {
        *out++ = '\r';
        *out++ = '\n';
        std::memcpy(out, tail.data(), tail.size());
    }
    return bytes;
}

uint32_t HashOf(std::string_view entry) {
    return static_cast<uint32_t>(std::hash<std::string_view>()(entry));
}

// A slot holds the entry's hash in its upper half, so that a probe reads the
// entry's bytes only when the hashes agree.
uint32_t HashOf(uint64_t slot) {
    return static_cast<uint32_t>(slot >> 32);
}

size_t EntryOf(uint64_t slot) {
    return static_cast<size_t>(static_cast<uint32_t>(slot) - 1);
}

}  // namespace

void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail) {
    size_t tailBegin = SplitKnown(
        bytes, [&](size_t begin, size_t length) { entries.emplace_back(bytes, begin, length); });
    tail.assign(bytes, tailBegin, std::string::npos);
}

std::string FormatKnown(const StringList& entries, const std::string& tail) {
    return Format(entries, tail);
}

std::string FormatKnown(const KnownList& entries, const std::string& tail) {
    return Format(entries, tail);
}

KnownList& KnownList::operator=(const StringList& entries) {
    clear();
    for (const std::string& entry : entries) push_back(entry);
    return *this;
}

void KnownList::push_back(std::string_view entry) {
    // Hashed first: the entry may be a view of this list's own bytes, which the append moves.
    m_hashes.push_back(HashOf(entry));
    m_spans.push_back(Span{m_bytes.size(), entry.size()});
    m_bytes.append(entry.data(), entry.size());
    Index(size() - 1);
}

std::string KnownList::AppendFile(std::string&& bytes) {
    size_t offset = 0;
    if (m_bytes.empty()) {
        m_bytes.swap(bytes);
    } else {
        offset = m_bytes.size();
        m_bytes += bytes;
    }
    std::string_view file(m_bytes.data() + offset, m_bytes.size() - offset);
    size_t first = size();
    m_spans.reserve(first + static_cast<size_t>(std::count(file.begin(), file.end(), '\n')) + 1);
    size_t tailBegin = SplitKnown(file, [&](size_t begin, size_t length) {
        m_spans.push_back(Span{offset + begin, length});
    });
    std::string tail(file.substr(tailBegin));
    // The tail is kept apart; its bytes here are no entry's.
    m_bytes.resize(offset + tailBegin);
    m_hashes.reserve(size());
    for (size_t i = first; i < size(); ++i) m_hashes.push_back(HashOf((*this)[i]));
    if (m_slots.size() < 2 * size()) {
        Rehash(2 * size());
    } else {
        for (size_t i = first; i < size(); ++i) Index(i);
    }
    return tail;
}

void KnownList::clear() {
    KnownList empty;
    swap(empty);
}

void KnownList::swap(KnownList& other) {
    m_bytes.swap(other.m_bytes);
    m_spans.swap(other.m_spans);
    m_hashes.swap(other.m_hashes);
    m_slots.swap(other.m_slots);
}

size_t KnownList::Find(std::string_view entry) const {
    if (m_slots.empty()) return size();
    uint32_t hash = HashOf(entry);
    size_t mask = m_slots.size() - 1;
    for (size_t slot = hash & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        size_t i = EntryOf(m_slots[slot]);
        if (HashOf(m_slots[slot]) == hash && (*this)[i] == entry) return i;
    }
    return size();
}

void KnownList::Index(size_t entry) {
    // Kept at most half full, so that a probe meets an empty slot soon.
    if (m_slots.size() < 2 * size()) {
        Rehash(2 * size());
        return;
    }
    Place(entry, m_slots.size() - 1);
}

void KnownList::Place(size_t entry, size_t mask) {
    uint32_t hash = m_hashes[entry];
    size_t slot = hash & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        // A second copy is found through the first, which comes earlier in the list.
        if (HashOf(m_slots[slot]) == hash && (*this)[EntryOf(m_slots[slot])] == (*this)[entry]) {
            return;
        }
    }
    m_slots[slot] = (static_cast<uint64_t>(hash) << 32) | (entry + 1);
}

void KnownList::Rehash(size_t wanted) {
    size_t slots = 16;
    while (slots < wanted) slots *= 2;
    m_slots.assign(slots, 0);
    for (size_t entry = 0; entry < size(); ++entry) Place(entry, slots - 1);
}

bool operator==(const KnownList& list, const StringList& entries) {
    if (list.size() != entries.size()) return false;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != entries[i]) return false;
    }
    return true;
}

bool operator==(const KnownList& a, const KnownList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}
