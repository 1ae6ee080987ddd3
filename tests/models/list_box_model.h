// A model of a window list box with the system's semantics: sorted or not,
// case-insensitive sorting and exact search that wraps, and an extended
// selection whose flags move with their rows.
#pragma once

#include <string>
#include <vector>

#include "watch/ports.h"

class ListBoxModel : public ListBox {
  public:
    enum class Order { Unsorted, Sorted };
    enum class Selection { Single, Extended };

    explicit ListBoxModel(Order order = Order::Unsorted, Selection selection = Selection::Single)
        : m_sorted(order == Order::Sorted), m_extended(selection == Selection::Extended) {}

    int GetCount() const override;
    int GetTextLen(int index) const override;
    int GetText(int index, char* text) const override;
    int FindStringExact(int start, const char* text) const override;
    int AddString(const char* text) override;
    int DeleteString(int index) override;
    int GetSelItems(int maxItems, int* items) const override;

    //! LB_SETSEL: selects or clears one row, or every row for index -1; kError otherwise.
    int SetSel(bool select, int index);

    //! The rows' texts, top to bottom.
    std::vector<std::string> Rows() const;
    //! How many rows were added and deleted since construction.
    int adds = 0;
    int deletes = 0;
    //! How many times the rows were counted, read or searched.
    mutable int reads = 0;

  private:
    struct Row {
        std::string text;
        bool selected = false;
    };
    std::vector<Row> m_rows;
    bool m_sorted;
    bool m_extended;
};

//! Compares two texts as the system's list box does for sorting: case ignored.
int CompareNoCase(const std::string& a, const std::string& b);
