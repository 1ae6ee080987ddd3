// A watcher wired to models of the list boxes, the alert window, the tray
// icon and the file system, over a process system of the caller's.
#pragma once

#include <string>

#include "tests/models/alert_model.h"
#include "tests/models/code_page_model.h"
#include "tests/models/faulty_file_system.h"
#include "tests/models/list_box_model.h"
#include "trust/trusted_list.h"
#include "watch/process_watch.h"

//! A watcher over `processes` with list boxes, an alert window, a tray icon and
//! a trusted list of its own; `Untrusted` is the untrusted list box's model.
template <typename Untrusted = ListBoxModel>
struct WatcherOf {
    explicit WatcherOf(ProcessSystem& processes)
        : watch{processes, codePage, known, running, untrusted, alert, tray} {}

    //! Everything the scan leaves for the user to see, in one string.
    std::string Seen() const {
        std::string seen;
        for (const auto& rows : {running.Rows(), untrusted.Rows(), alert.list.Rows(),
                                 StringList(watch.m_untrusted.begin(), watch.m_untrusted.end())}) {
            for (const std::string& row : rows) seen += row + "|";
            seen += "\n";
        }
        for (unsigned image : tray.images) seen += std::to_string(image) + " ";
        return seen + (alert.visible ? "visible" : "hidden");
    }

    CodePageModel codePage;
    ListBoxModel running{ListBoxModel::Order::Sorted};
    Untrusted untrusted{ListBoxModel::Order::Unsorted, ListBoxModel::Selection::Extended};
    AlertModel alert;
    TrayModel tray;
    FaultyFileSystem files;
    TrustedList known{files};
    ProcessWatch watch;
};
using Watcher = WatcherOf<>;
