// The program's list boxes as the scan and "<< Add" see them.
#pragma once

#include "framework/controls.h"
#include "watch/ports.h"

//! A ListBox over a bound CListBox: each operation is the one list-box message.
class ListBoxPort : public ListBox {
  public:
    explicit ListBoxPort(CListBox& list) : m_list(list) {}

    int GetCount() const override;
    int GetTextLen(int index) const override;
    int GetText(int index, char* text) const override;
    int FindStringExact(int start, const char* text) const override;
    int AddString(const char* text) override;
    int DeleteString(int index) override;
    int GetSelItems(int maxItems, int* items) const override;

  private:
    CListBox& m_list;
};
