#include "trust/known_list.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

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

// Spans count in 31 bits: a list file is far smaller, and so is what a run adds.
uint32_t SpanOffset(size_t offset) {
    if (offset >= 0x80000000u) throw std::length_error("trusted list");
    return static_cast<uint32_t>(offset);
}

}  // namespace

void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail) {
    size_t tailBegin = SplitKnown(
        bytes, [&](size_t begin, size_t length) { entries.emplace_back(bytes, begin, length); });
    tail.assign(bytes, tailBegin, std::string::npos);
}

std::string FormatKnown(const StringList& entries, const std::string& tail) {
    KnownList list;
    list = entries;
    std::string bytes = FormatKnown(list);
    if (!tail.empty()) bytes += "\r\n" + tail;
    return bytes;
}

std::string FormatKnown(const KnownList& list) {
    size_t size = list.Tail().empty() ? 0 : list.Tail().size() + 2;
    for (std::string_view entry : list) size += entry.size() + 2;
    std::string bytes(size, '\0');
    KnownList::Writer write(list);
    write(&bytes[0], size);
    return bytes;
}

size_t KnownList::Writer::operator()(char* out, size_t room) {
    static constexpr std::string_view kCrLf("\r\n", 2);
    size_t put = 0;
    // Copies the rest of one piece, `a` then `b`; true once it is all out.
    auto copy = [&](std::string_view a, std::string_view b) {
        while (put < room && m_at < a.size() + b.size()) {
            std::string_view part = m_at < a.size() ? a.substr(m_at) : b.substr(m_at - a.size());
            size_t n = std::min(room - put, part.size());
            std::memcpy(out + put, part.data(), n);
            put += n;
            m_at += n;
        }
        return m_at == a.size() + b.size();
    };
    // The pieces: each entry with its CR LF, then the empty line and the tail.
    while (put < room) {
        bool whole;
        if (m_entry < m_list.size()) {
            whole = copy(m_list[m_entry], kCrLf);
        } else if (m_entry == m_list.size() && !m_list.Tail().empty()) {
            whole = copy(kCrLf, m_list.Tail());
        } else {
            break;
        }
        if (!whole) break;
        ++m_entry;
        m_at = 0;
    }
    return put;
}

KnownList& KnownList::operator=(const StringList& entries) {
    clear();
    for (const std::string& entry : entries) push_back(entry);
    return *this;
}

bool KnownList::AdoptFile(std::string&& bytes, size_t maxEntries) {
    clear();
    size_t count = 0;
    SplitKnown(bytes, [&](size_t, size_t) { ++count; });
    if (count > maxEntries) return false;
    // Sized for the list alone: a tail, however long, is bytes and no entries.
    m_spans.reserve(count);
    m_tailBegin = SplitKnown(bytes, [&](size_t begin, size_t length) {
        m_spans.push_back(Span{SpanOffset(begin), SpanOffset(length)});
    });
    m_file.swap(bytes);
    Rehash(count + count / 3 + 1);
    return true;
}

void KnownList::push_back(std::string_view entry) {
    uint32_t begin = SpanOffset(m_added.size()) | kAdded;
    uint32_t length = SpanOffset(entry.size());
    if (!m_added.empty() && entry.data() >= m_added.data() &&
        entry.data() < m_added.data() + m_added.size()) {
        // A view of the added bytes themselves, which the append may move.
        m_added.append(m_added, static_cast<size_t>(entry.data() - m_added.data()), entry.size());
    } else {
        m_added.append(entry.data(), entry.size());
    }
    m_spans.push_back(Span{begin, length});
    // Kept at most three quarters full, so that a probe meets an empty slot soon.
    if (4 * size() > 3 * m_slots.size()) {
        Rehash(2 * size());
    } else {
        Place(size() - 1, m_slots.size() - 1);
    }
}

void KnownList::clear() {
    KnownList empty;
    swap(empty);
}

void KnownList::swap(KnownList& other) {
    m_file.swap(other.m_file);
    std::swap(m_tailBegin, other.m_tailBegin);
    m_added.swap(other.m_added);
    m_spans.swap(other.m_spans);
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

void KnownList::Place(size_t entry, size_t mask) {
    std::string_view text = (*this)[entry];
    uint32_t hash = HashOf(text);
    size_t slot = hash & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        // A second copy is found through the first, which comes earlier in the list.
        if (HashOf(m_slots[slot]) == hash && (*this)[EntryOf(m_slots[slot])] == text) return;
    }
    m_slots[slot] = (static_cast<uint64_t>(hash) << 32) | (entry + 1);
}

void KnownList::Rehash(size_t wanted) {
    size_t slots = 16;
    while (slots < wanted) slots *= 2;
    // Freed before the new slots are taken: never two indexes at once.
    m_slots = std::vector<uint64_t>();
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
