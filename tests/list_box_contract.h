// What the program relies on from a list box, as typed tests. The host runs
// them against ListBoxModel; the Windows build runs the same tests against real
// list boxes, so that the model cannot drift from the system.
//
// A factory type F provides:
//   ListBox& Make(bool sorted);           // sorted: LBS_SORT, single selection;
//                                         // unsorted: LBS_EXTENDEDSEL; lives as long as F
//   void Select(ListBox& list, int row);  // LB_SETSEL for one row of an unsorted list box
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watch/ports.h"

template <class F>
class ListBoxContract : public ::testing::Test {
  protected:
    F factory;

    static std::vector<std::string> Rows(const ListBox& list) {
        std::vector<std::string> rows;
        for (int i = 0; i < list.GetCount(); ++i) {
            int length = list.GetTextLen(i);
            std::string text(static_cast<size_t>(length) + 1, '\0');
            int got = list.GetText(i, &text[0]);
            EXPECT_EQ(got, length);
            text.resize(static_cast<size_t>(length));
            rows.push_back(text);
        }
        return rows;
    }
    static std::vector<int> Selected(const ListBox& list) {
        int items[64];
        int count = list.GetSelItems(64, items);
        return count > 0 ? std::vector<int>(items, items + count) : std::vector<int>{};
    }
    ListBox& Filled(bool sorted, std::initializer_list<const char*> texts) {
        ListBox& list = factory.Make(sorted);
        for (const char* text : texts) list.AddString(text);
        return list;
    }
};

TYPED_TEST_SUITE_P(ListBoxContract);

using Texts = std::vector<std::string>;

TYPED_TEST_P(ListBoxContract, UnsortedKeepsTheOrderOfAdding) {
    ListBox& list = this->factory.Make(false);
    EXPECT_EQ(list.AddString("delta"), 0);
    EXPECT_EQ(list.AddString("Alpha"), 1);
    EXPECT_EQ(list.AddString("charlie"), 2);
    EXPECT_EQ(this->Rows(list), (Texts{"delta", "Alpha", "charlie"}));
}

TYPED_TEST_P(ListBoxContract, SortedInsertsInCaseInsensitiveOrder) {
    ListBox& list = this->factory.Make(true);
    list.AddString("delta");
    list.AddString("Charlie");
    EXPECT_EQ(list.AddString("alpha"), 0);
    EXPECT_EQ(list.AddString("Bravo"), 1);
    list.AddString("echo.exe");
    list.AddString("ECHO");
    EXPECT_EQ(this->Rows(list), (Texts{"alpha", "Bravo", "Charlie", "delta", "ECHO", "echo.exe"}));
}

TYPED_TEST_P(ListBoxContract, FindStringExactIsWholeAndIgnoresCase) {
    ListBox& list = this->Filled(false, {"app.exe", "App.exe.bak", "tool.exe"});
    EXPECT_EQ(list.FindStringExact(-1, "APP.EXE"), 0);
    EXPECT_EQ(list.FindStringExact(-1, "tool.exe"), 2);
    EXPECT_EQ(list.FindStringExact(-1, "app"), ListBox::kError);  // no prefix match
    EXPECT_EQ(list.FindStringExact(-1, "missing.exe"), ListBox::kError);
}

TYPED_TEST_P(ListBoxContract, FindStringExactWrapsPastTheLastRow) {
    ListBox& list = this->Filled(false, {"first.exe", "second.exe", "third.exe"});
    EXPECT_EQ(list.FindStringExact(0, "first.exe"), 0);  // starts after row 0, wraps to it
    EXPECT_EQ(list.FindStringExact(1, "first.exe"), 0);
    EXPECT_EQ(list.FindStringExact(2, "second.exe"), 1);
    EXPECT_EQ(list.FindStringExact(0, "second.exe"), 1);
    ListBox& empty = this->factory.Make(false);
    EXPECT_EQ(empty.FindStringExact(0, "x"), ListBox::kError);
}

TYPED_TEST_P(ListBoxContract, DeleteStringShiftsRowsUp) {
    ListBox& list = this->Filled(false, {"a", "b", "c"});
    EXPECT_EQ(list.DeleteString(1), 2);
    EXPECT_EQ(this->Rows(list), (Texts{"a", "c"}));
    EXPECT_EQ(list.DeleteString(5), ListBox::kError);
    EXPECT_EQ(list.GetTextLen(7), ListBox::kError);
    EXPECT_EQ(list.GetCount(), 2);
}

TYPED_TEST_P(ListBoxContract, SelectionIsListedLowestFirstAndMovesWithItsRows) {
    ListBox& list = this->Filled(false, {"r0", "r1", "r2", "r3", "r4", "r5"});
    EXPECT_TRUE(this->Selected(list).empty());
    this->factory.Select(list, 5);
    this->factory.Select(list, 0);
    this->factory.Select(list, 2);
    EXPECT_EQ(this->Selected(list), (std::vector<int>{0, 2, 5}));
    list.DeleteString(0);
    EXPECT_EQ(this->Selected(list), (std::vector<int>{1, 4}));
    list.DeleteString(1);
    EXPECT_EQ(this->Selected(list), (std::vector<int>{3}));
    list.AddString("new");  // appended rows come unselected
    EXPECT_EQ(this->Selected(list), (std::vector<int>{3}));
    int items[2];
    this->factory.Select(list, 0);
    this->factory.Select(list, 1);
    EXPECT_EQ(list.GetSelItems(2, items), 2);  // bounded by the count asked for
    EXPECT_EQ(items[0], 0);
    EXPECT_EQ(items[1], 1);
}

TYPED_TEST_P(ListBoxContract, SingleSelectionBoxHasNoSelectionList) {
    ListBox& list = this->Filled(true, {"a"});
    int items[4];
    EXPECT_EQ(list.GetSelItems(4, items), ListBox::kError);
}

TYPED_TEST_P(ListBoxContract, LongRowsAreReadWhole) {
    std::string text(5000, 'L');
    ListBox& list = this->Filled(true, {text.c_str()});
    EXPECT_EQ(list.GetTextLen(0), 5000);
    EXPECT_EQ(this->Rows(list), (Texts{text}));
}

REGISTER_TYPED_TEST_SUITE_P(ListBoxContract, UnsortedKeepsTheOrderOfAdding,
                            SortedInsertsInCaseInsensitiveOrder,
                            FindStringExactIsWholeAndIgnoresCase,
                            FindStringExactWrapsPastTheLastRow, DeleteStringShiftsRowsUp,
                            SelectionIsListedLowestFirstAndMovesWithItsRows,
                            SingleSelectionBoxHasNoSelectionList, LongRowsAreReadWhole);
