// Real list boxes against the expectations the list box model is held to:
// the program's two kinds, sorted and unsorted with extended selection, in
// hidden dialogs, through the adapter the program uses.
#include <memory>
#include <vector>

#include "app/list_box_port.h"
#include "framework/framework.h"
#include "tests/list_box_contract.h"
#include "tests/win/framework_test_ids.h"

namespace {

//! A hidden dialog holding one list box of each kind.
class ListsDialog : public CDialog {
  public:
    ListsDialog() : CDialog(IDD_TEST_LISTS) {}
    CListBox sorted;
    CListBox unsorted;

  protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_SORTED, sorted);
        DDX_Control(pDX, IDC_UNSORTED, unsorted);
    }
};

//! A ListBoxPort that remembers its list box, for selecting rows.
class Port : public ListBoxPort {
  public:
    explicit Port(CListBox& list) : ListBoxPort(list), control(list) {}
    CListBox& control;
};

struct Win32Factory {
    std::vector<std::unique_ptr<ListsDialog>> dialogs;  // outlive the ports
    std::vector<std::unique_ptr<Port>> ports;

    ListBox& Make(bool sorted) {
        dialogs.push_back(std::make_unique<ListsDialog>());
        ListsDialog& dialog = *dialogs.back();
        EXPECT_TRUE(dialog.Create(IDD_TEST_LISTS));
        EXPECT_FALSE(dialog.IsWindowVisible());
        ports.push_back(std::make_unique<Port>(sorted ? dialog.sorted : dialog.unsorted));
        return *ports.back();
    }
    void Select(ListBox& list, int row) {
        EXPECT_NE(static_cast<Port&>(list).control.SetSel(row), LB_ERR);
    }
};

using Factories = ::testing::Types<Win32Factory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ListBoxContract, Factories);

}  // namespace
