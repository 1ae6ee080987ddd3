// The watcher's state and its two operations: the scan on every tick and "<< Add".
#pragma once

#include <string>
#include <vector>

#include "trust/trusted_list.h"
#include "watch/ansi_path.h"
#include "watch/ports.h"

//! The blink phase of the tray icon: false at start, inverted on every tick.
extern bool g_blinkPhase;

//! The trusted list, the untrusted paths and what keeps them up to date. The
//! main dialog is built on it; the tests drive it through models of the ports.
class ProcessWatch : public TrustedList {
  public:
    ProcessWatch(ProcessSource& processes, const PathSystem& text, ListBox& runningList,
                 ListBox& untrustedList, AlertWindow& alert, TrayIcon& tray,
                 FileSystem& files = DefaultFileSystem());

    //! Called on every timer tick: takes in a changed "known.dat", classifies the running
    //! processes and brings the two lists, the alert window and the tray image up to date.
    //! A tick called inside another (from a message handled during one of its
    //! calls) does nothing and returns false; the next tick does the work.
    bool ScanProcesses();
    //! True while a tick runs.
    bool Scanning() const { return m_scanning; }
    //! Called when the tray icon has been added, at start or again: the next
    //! tick sends its image, whatever the icon showed before.
    void TrayIconAdded() { m_trayImage = 0; }
    //! Called when "<< Add" is clicked: moves every selected untrusted row into
    //! the trusted list and, when it moved any, saves the list.
    void AddSelected();

    //! Image paths, row for row with the untrusted list box.
    StringList m_untrusted;

  protected:
    //! For a class that holds the ports itself and connects them once they are constructed.
    explicit ProcessWatch(FileSystem& files = DefaultFileSystem()) : TrustedList(files) {}
    void Connect(ProcessSource& processes, const PathSystem& text, ListBox& runningList,
                 ListBox& untrustedList, AlertWindow& alert, TrayIcon& tray);

  private:
    std::string PathOf(uint32_t id, DriveDevices& drives);
    void ExaminePath(const std::string& path, StringList& running);
    //! Deletes the untrusted rows, with their paths, whose paths are now trusted.
    void DropTrustedRows();
    void ReconcileRunning(StringList& running);
    void ShowTrayImage();

    ProcessSource* m_processes = nullptr;
    const PathSystem* m_text = nullptr;
    std::vector<char16_t> m_wide;  // the path buffer, kept from tick to tick
    ListBox* m_running = nullptr;
    ListBox* m_untrustedRows = nullptr;
    AlertWindow* m_alertWindow = nullptr;
    TrayIcon* m_tray = nullptr;
    //! The image the shell shows now, as far as this program knows; 0 when unknown.
    unsigned m_trayImage = 0;
    bool m_scanning = false;
};
