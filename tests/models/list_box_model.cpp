#include "tests/models/list_box_model.h"

#include <strings.h>

#include <cstring>

int CompareNoCase(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str());
}

int ListBoxModel::GetCount() const {
    ++reads;
    return static_cast<int>(m_rows.size());
}

int ListBoxModel::GetTextLen(int index) const {
    ++reads;
    if (index < 0 || index >= GetCount()) return kError;
    return static_cast<int>(m_rows[static_cast<size_t>(index)].text.size());
}

int ListBoxModel::GetText(int index, char* text) const {
    ++reads;
    if (index < 0 || index >= GetCount()) return kError;
    const std::string& row = m_rows[static_cast<size_t>(index)].text;
    std::memcpy(text, row.c_str(), row.size() + 1);
    return static_cast<int>(row.size());
}

int ListBoxModel::FindStringExact(int start, const char* text) const {
    ++reads;
    int count = static_cast<int>(m_rows.size());
    if (count == 0) return kError;
    // The search begins after `start` and wraps past the last row; a start
    // outside the rows searches from the top.
    if (start < 0 || start >= count) start = -1;
    for (int step = 1; step <= count; ++step) {
        int index = (start + step) % count;
        if (CompareNoCase(m_rows[static_cast<size_t>(index)].text, text) == 0) return index;
    }
    return kError;
}

int ListBoxModel::AddString(const char* text) {
    ++adds;
    Row row{text, false};
    if (!m_sorted) {
        m_rows.push_back(row);
        return GetCount() - 1;
    }
    size_t at = 0;
    while (at < m_rows.size() && CompareNoCase(m_rows[at].text, row.text) <= 0) ++at;
    m_rows.insert(m_rows.begin() + static_cast<long>(at), row);
    return static_cast<int>(at);
}

int ListBoxModel::DeleteString(int index) {
    if (index < 0 || index >= GetCount()) return kError;
    ++deletes;
    m_rows.erase(m_rows.begin() + index);
    return GetCount();
}

int ListBoxModel::GetSelItems(int maxItems, int* items) const {
    if (!m_extended) return kError;  // a single-selection list box has no such query
    int stored = 0;
    for (int i = 0; i < GetCount() && stored < maxItems; ++i) {
        if (m_rows[static_cast<size_t>(i)].selected) items[stored++] = i;
    }
    return stored;
}

int ListBoxModel::SetSel(bool select, int index) {
    if (!m_extended) return kError;
    if (index == -1) {
        for (Row& row : m_rows) row.selected = select;
        return 0;
    }
    if (index < 0 || index >= GetCount()) return kError;
    m_rows[static_cast<size_t>(index)].selected = select;
    return 0;
}

std::vector<std::string> ListBoxModel::Rows() const {
    std::vector<std::string> rows;
    for (const Row& row : m_rows) rows.push_back(row.text);
    return rows;
}
