// The list box model against the expectations real list boxes are held to.
#include <memory>

#include "tests/list_box_contract.h"
#include "tests/models/list_box_model.h"

namespace {

struct ModelFactory {
    std::vector<std::unique_ptr<ListBoxModel>> made;

    ListBox& Make(bool sorted) {
        made.push_back(std::make_unique<ListBoxModel>(
            sorted ? ListBoxModel::Order::Sorted : ListBoxModel::Order::Unsorted,
            sorted ? ListBoxModel::Selection::Single : ListBoxModel::Selection::Extended));
        return *made.back();
    }
    void Select(ListBox& list, int row) { static_cast<ListBoxModel&>(list).SetSel(true, row); }
};

using Factories = ::testing::Types<ModelFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Model, ListBoxContract, Factories);

}  // namespace
