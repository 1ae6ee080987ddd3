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
//! of a million lines makes no million strings, and the entries added after it
//! go into bytes of their own, so that the file's are never copied.
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
        const Span& span = m_spans[i];
        const std::string& bytes = span.begin & kAdded ? m_added : m_file;
        return std::string_view(bytes.data() + (span.begin & ~kAdded), span.length);
    }
    std::string_view back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }
    //! What stood after the first empty line of the file, byte for byte.
    std::string_view Tail() const {
        return std::string_view(m_file).substr(m_tailBegin < m_file.size() ? m_tailBegin
                                                                           : m_file.size());
    }

    //! Makes the list the entries of the bytes of "known.dat" (see ParseKnown), taking the
    //! bytes over. False, leaving the list empty, when the file holds more than `maxEntries`.
    bool AdoptFile(std::string&& bytes, size_t maxEntries = SIZE_MAX);
    //! Appends one entry.
    void push_back(std::string_view entry);
    void clear();
    void swap(KnownList& other);

    //! The number of the first entry equal to `entry`, case included; size() when none is.
    size_t Find(std::string_view entry) const;
    bool Contains(std::string_view entry) const { return Find(entry) != size(); }

    //! Hands out the bytes of "known.dat" for the list, piece by piece: every entry followed
    //! by CR LF, then, when there is a tail, one empty line and the tail.
    class Writer {
      public:
        explicit Writer(const KnownList& list) : m_list(list) {}
        //! Puts the next bytes into `out`, at most `room`; their count, 0 at the end.
        size_t operator()(char* out, size_t room);

      private:
        const KnownList& m_list;
        size_t m_entry = 0;  // the entry being written; size() for the tail
        size_t m_at = 0;     // the bytes of it already written, its CR LF counted
    };

  private:
    // A span's begin has this bit set when its bytes are in m_added.
    static constexpr uint32_t kAdded = 0x80000000u;
    struct Span {
        uint32_t begin;
        uint32_t length;
    };
    void Place(size_t entry, size_t mask);
    void Rehash(size_t slots);

    std::string m_file;  // the file's bytes: its entries, then its tail
    size_t m_tailBegin = 0;
    std::string m_added;  // the bytes of the entries added after
    std::vector<Span> m_spans;
    //! The slots of the open-addressed index: an entry's hash and its number
    //! plus one, 0 for an empty slot. At most three quarters of them are taken.
    std::vector<uint64_t> m_slots;
};

//! Splits the bytes of "known.dat" into entries, appended to `entries`. The
//! list ends at the end of the bytes or at the first empty line; whatever
//! follows that empty line is returned in `tail`, byte for byte.
void ParseKnown(const std::string& bytes, StringList& entries, std::string& tail);

//! The bytes of "known.dat" for a list: every entry followed by CR LF, then,
//! when there is a tail, one empty line and the tail.
std::string FormatKnown(const StringList& entries, const std::string& tail);
std::string FormatKnown(const KnownList& list);

bool operator==(const KnownList& list, const StringList& entries);
bool operator==(const KnownList& a, const KnownList& b);
inline bool operator!=(const KnownList& a, const KnownList& b) {
    return !(a == b);
}
