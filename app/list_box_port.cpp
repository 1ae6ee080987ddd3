#include "app/list_box_port.h"

int ListBoxPort::GetCount() const {
    return m_list.GetCount();
}

int ListBoxPort::GetTextLen(int index) const {
    return m_list.GetTextLen(index);
}

int ListBoxPort::GetText(int index, char* text) const {
    return m_list.GetText(index, text);
}

int ListBoxPort::FindStringExact(int start, const char* text) const {
    return m_list.FindStringExact(start, text);
}

int ListBoxPort::AddString(const char* text) {
    return m_list.AddString(text);
}

int ListBoxPort::DeleteString(int index) {
    return m_list.DeleteString(static_cast<UINT>(index));  // no row is that large: LB_ERR
}

int ListBoxPort::GetSelItems(int maxItems, int* items) const {
    return m_list.GetSelItems(maxItems, items);
}
