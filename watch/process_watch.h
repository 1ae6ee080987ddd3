// The watcher's state and its two operations: the scan on every tick and "<< Add".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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
    //! What is remembered of a process the system has named.
    struct Answer {
        //! Its image path in the 8-bit device form; empty when it has none to list.
        std::string path;
        //! The text after the path's last backslash: its row's name.
        std::string name;
        //! m_untrustedDeleted when a row of this name was last found in the
        //! untrusted list or added to it; kNeverListed when none was.
        uint64_t listedAt = kNeverListed;
    };
    static constexpr uint64_t kNeverListed = ~uint64_t{0};

    //! The answer for a process; `drives` is made when a path first needs it.
    Answer& AnswerOf(const ProcessStamp& process, std::optional<DriveTable>& drives);
    //! Forgets the answers for every process that is not in `m_processList`.
    void ForgetEnded();
    void Examine(Answer& answer, StringList& running);
    //! Deletes the untrusted rows, with their paths, whose paths are now trusted.
    void DropTrustedRows();
    //! Deletes untrusted row `row`; true when the list box did.
    bool DeleteUntrustedRow(int row);
    //! Brings the running list's rows to `running`'s names; false when it changed a row.
    bool ReconcileRunning(StringList& running);
    void ShowTrayImage();

    ProcessSystem& m_processes;
    TrustedList& m_trusted;
    const PathSystem& m_text;
    std::vector<ProcessStamp> m_processList;  // this tick's, kept for its room
    //! The last list whose ended processes were forgotten.
    std::vector<ProcessStamp> m_forgotten;
    //! What each process the system has named gave as its path, by
    //! (identifier, creation time): the pair names one process for its whole
    //! life, and the path it reports is fixed when it starts.
    std::map<std::pair<uint32_t, uint64_t>, Answer> m_paths;
    Answer m_unremembered;  // the answer of a process that is not remembered
    //! Untrusted rows deleted so far. A row goes only by a deletion of the
    //! watch's: a name found or added since the last one is still listed, and
    //! is not looked for again.
    uint64_t m_untrustedDeleted = 0;
    //! The running names of the last tick that reconciled the rows, whether
    //! that tick left every row as it was, and the rows it left: the same
    //! names then find every row matched again, and are not compared with them.
    StringList m_lastRunning;
    bool m_runningSettled = false;
    int m_runningCount = 0;
    ListBox& m_running;
    ListBox& m_untrustedRows;
    AlertWindow& m_alertWindow;
    TrayIcon& m_tray;
    //! The image the shell shows now, as far as this program knows; 0 when unknown.
    unsigned m_trayImage = 0;
    bool m_scanning = false;
};
