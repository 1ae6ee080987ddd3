// Models of the alert window and the tray icon: state, and every call in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/models/list_box_model.h"
#include "watch/ports.h"

class AlertModel : public AlertWindow {
  public:
    void RewritePlacement() override { calls.push_back("RewritePlacement"); }
    void AddAlertName(const std::string& name, const std::string& path) override {
        calls.push_back("AddAlertName " + name);
        list.AddString(name.c_str());
        paths.push_back(path);
    }
    void ShowAlert() override {
        calls.push_back("ShowAlert");
        visible = true;
    }
    bool IsAlertVisible() const override {
        ++visibilityQueries;
        return visible;
    }

    //! What "Ignore" does: the list emptied, the window hidden.
    void Ignore() {
        while (list.GetCount() > 0) list.DeleteString(0);
        paths.clear();
        visible = false;
    }

    bool visible = false;
    ListBoxModel list{ListBoxModel::Order::Sorted};
    std::vector<std::string> paths;  //!< the path given with each name, in the order announced
    std::vector<std::string> calls;
    mutable int visibilityQueries = 0;
};

class TrayModel : public TrayIcon {
  public:
    //! Records every image sent; the shell takes it unless `refuse` is set.
    bool SetTrayImage(unsigned iconId) override {
        images.push_back(iconId);
        if (during) during();
        return !refuse;
    }
    std::vector<unsigned> images;
    bool refuse = false;
    //! Runs inside each call, as messages handled during the shell's round trip do.
    std::function<void()> during;
};
