// The trusted entries in memory: the bytes of "known.dat" kept whole, the
// entries as spans of them, and an index by exact bytes for the look-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

//! An ordered list of 8-bit strings; nothing sorts or de-duplicates it.
using StringList = std::vector<std::string>;

//! The entries of the trusted list in their order, second copies included, with
//! a hash index so that Contains costs the same whatever the length of the list.
//! A list read from a file keeps the file's bytes and points into them: a read
//! of a million lines makes no million strings.
class KnownList {
  public:
    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator(const KnownList* list, size_t at) : m_list(list), m_at(at) {}
        std::string_view operator*() const { return (*m_list)[m_at]; }
        const_iterator& operator++() {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }
        bool operator!=(const const_iterator& other) const { return m_at != other.m_at; }

      private:
        const KnownList* m_list;
        size_t m_at;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    KnownList() = default;
    KnownList& operator=(const StringList& entries);

    size_t size() const { return m_spans.size(); }
    bool empty() const { return m_spans.empty(); }
    std::string_view operator[](size_t i) const {
        return std::string_view(m_bytes.data() + m_spans[i].begin, m_spans[i].length);
    }
    std::string_view back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    //! Appends one entry.
    void push_back(std::string_view entry);
    //! Appends the entries of the bytes of "known.dat" (see ParseKnown) and returns the tail.
    //! An empty list takes the bytes over and copies nothing.
    std::string AppendFile(std::string&& bytes);
    void clear();
    void swap(KnownList& other);

    //! The number of the first entry equal to `entry`, case included; size() when none is.
    size_t Find(std::string_view entry) const;
    bool Contains(std::string_view entry) const { return Find(entry) != size(); }

  private:
    struct Span {
        size_t begin;
        size_t length;
    };
    void Index(size_t entry);
    void Place(size_t entry, size_t mask);
    void Rehash(size_t slots);

    std::string m_bytes;
    std::vector<Span> m_spans;
    //! The hash of each entry, and the slots of the open-addressed index: an
    //! entry's hash and its number plus one, 0 for an empty slot. At most half
    //! of them are taken.
    std::vector<uint32_t> m_hashes;
    std::vector<uint64_t> m_slots;
};

//! Splits the bytes of "known.dat" into entries, appended to `entries`. The
//! list ends at the end of the bytes or at the first empty line; whatever
//! follows that empty line is returned in `tail`, byte for byte.
void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail);

//! The bytes of "known.dat" for a list: every entry followed by CR LF, then,
//! when there is a tail, one empty line and the tail.
std::string FormatKnown(const StringList& entries, const std::string& tail);
std::string FormatKnown(const KnownList& entries, const std::string& tail);

bool operator==(const KnownList& list, const StringList& entries);
bool operator==(const KnownList& a, const KnownList& b);
inline bool operator!=(const KnownList& a, const KnownList& b) {
    return !(a == b);
}
