// The watcher's state and its two operations: the scan on every tick and "<< Add".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "trust/trusted_list.h"
#include "watch/drive_table.h"
#include "watch/ports.h"

//! The blink phase of the tray icon: false at start, inverted on every tick.
extern bool g_blinkPhase;

//! The untrusted paths, and what keeps them and the trusted list up to date.
//! The main dialog holds one; the tests drive it through models of the ports.
class ProcessWatch {
  public:
    //! Keeps `trusted` in step with the running processes and "<< Add".
    ProcessWatch(ProcessSystem& processes, const PathSystem& text, TrustedList& trusted,
                 ListBox& runningList, ListBox& untrustedList, AlertWindow& alert, TrayIcon& tray);

    //! Called on every timer tick: takes in a changed "known.dat", classifies the running
    //! processes and brings the two lists, the alert window and the tray image up to date.
    //! A tick called inside another (from a message handled during one of its
    //! calls) does nothing and returns false; the next tick does the work.
    bool ScanProcesses();
    //! How many processes' answers are remembered.
    size_t RememberedCount() const { return m_paths.size(); }
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

  private:
    //! The image path of a process in its 8-bit device form; empty when it has
    //! none to list.
    const std::string& PathOf(const ProcessStamp& process, DriveTable& drives);
    //! Forgets the answers for every process that is not in `m_processList`.
    void ForgetEnded();
    void ExaminePath(const std::string& path, StringList& running);
    //! Deletes the untrusted rows, with their paths, whose paths are now trusted.
    void DropTrustedRows();
    void ReconcileRunning(StringList& running);
    void ShowTrayImage();

    ProcessSystem& m_processes;
    TrustedList& m_trusted;
    const PathSystem& m_text;
    std::vector<ProcessStamp> m_processList;  // this tick's, kept for its room
    //! What each process the system has named gave as its path, empty for
    //! none to list, by (identifier, creation time): the pair names one process
    //! for its whole life, and the path it reports is fixed when it starts.
    std::map<std::pair<uint32_t, uint64_t>, std::string> m_paths;
    std::string m_path;  // the answer of a process that is not remembered
    ListBox& m_running;
    ListBox& m_untrustedRows;
    AlertWindow& m_alertWindow;
    TrayIcon& m_tray;
    //! The image the shell shows now, as far as this program knows; 0 when unknown.
    unsigned m_trayImage = 0;
    bool m_scanning = false;
};
