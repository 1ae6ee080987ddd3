#include "watch/process_watch.h"

#include <cstddef>
#include <vector>

#include "res/resource.h"
#include "watch/ansi_path.h"

bool g_blinkPhase = false;

namespace {

// LB_GETSELITEMS is asked for at most this many indices at a time.
constexpr int kSelectionBatch = 30;

// The system's own processes: the idle process and "System".
constexpr uint32_t kIdleProcess = 0;
constexpr uint32_t kSystemProcess = 4;

// Reads one row of a list box into `text`, sized by the row's own length.
bool ReadRow(const ListBox& list, int index, std::vector<char>& text, std::string& row) {
    int length = list.GetTextLen(index);
    if (length < 0) return false;
    if (text.size() < static_cast<size_t>(length) + 1) text.resize(static_cast<size_t>(length) + 1);
    int got = list.GetText(index, text.data());
    if (got < 0) return false;
    row.assign(text.data(), static_cast<size_t>(got < length ? got : length));
    return true;
}

}  // namespace

ProcessWatch::ProcessWatch(ProcessSystem& processes, const PathSystem& text, TrustedList& trusted,
                           ListBox& runningList, ListBox& untrustedList, AlertWindow& alert,
                           TrayIcon& tray)
    : m_processes(processes),
      m_trusted(trusted),
      m_text(text),
      m_running(runningList),
      m_untrustedRows(untrustedList),
      m_alertWindow(alert),
      m_tray(tray) {}

bool ProcessWatch::ScanProcesses() {
    if (m_scanning) return false;
    // Cleared however the tick ends.
    struct Scanning {
        bool& flag;
        explicit Scanning(bool& f) : flag(f) { flag = true; }
        ~Scanning() { flag = false; }
    } scanning(m_scanning);

    // "known.dat" edited by hand or saved by another run: rows it now trusts leave the list.
    if (m_trusted.RefreshKnown()) DropTrustedRows();
    // Nothing is listed, and nothing announced, before it is known what is trusted.
    if (!m_trusted.Ready()) return true;

    // A failed list is a tick on which no process runs.
    if (!m_processes.ListProcesses(m_processList)) m_processList.clear();
    ForgetEnded();
    StringList running;
    std::optional<DriveTable> drives;
    for (const ProcessStamp& process : m_processList) {
        Answer& answer = AnswerOf(process, drives);
        if (!answer.path.empty()) Examine(answer, running);
    }

    // When the last tick that looked at the rows changed none, and none was
    // added or deleted since (a count of them shows it), the same names would
    // find them all matched again.
    bool look =
        !m_runningSettled || running != m_lastRunning || m_running.GetCount() != m_runningCount;
    if (look) {
        m_lastRunning = running;
        m_runningSettled = ReconcileRunning(running);
    }
    ShowTrayImage();

    if (!look) return true;
    for (const std::string& name : running) {
        if (name.empty()) continue;
        m_running.AddString(name.c_str());
        m_runningSettled = false;
    }
    m_runningCount = m_running.GetCount();
    return true;
}

void ProcessWatch::ShowTrayImage() {
    // The blink: while the alert shows, the alert image on every other tick.
    bool oldPhase = g_blinkPhase;
    g_blinkPhase = !oldPhase;
    unsigned image = !oldPhase && m_alertWindow.IsAlertVisible() ? IDI_TRAY_ALERT : IDI_TRAY_NORMAL;
    // Each call is a round trip to the shell, which redraws the icon: it is
    // made only when the image changes, or when the shell did not take the
    // last one. The icon may be added again during the call.
    if (image == m_trayImage) return;
    m_trayImage = image;
    if (!m_tray.SetTrayImage(image)) m_trayImage = 0;
}

ProcessWatch::Answer& ProcessWatch::AnswerOf(const ProcessStamp& process,
                                             std::optional<DriveTable>& drives) {
    if (process.id == kIdleProcess || process.id == kSystemProcess) {
        m_unremembered = Answer{};
        return m_unremembered;
    }
    // Each process is asked once in its life; one the system gives no creation
    // time for is asked on every tick, as it cannot be told from a newer one.
    Answer* answer = &m_unremembered;
    if (process.createTime != 0) {
        auto [at, added] = m_paths.try_emplace({process.id, process.createTime});
        if (!added) return at->second;
        answer = &at->second;
    }
    ImageAnswer image = m_processes.ImageOf(process);
    *answer = Answer{};
    // The system's own processes that have no program file ("Registry",
    // "MemCompression", "Secure System") give a bare name, not a path.
    if (image.kind == ImageAnswer::Kind::Path && image.path.find(u'\\') != std::u16string::npos) {
        if (!drives) drives.emplace(m_text);
        answer->path = drives->DeviceForm(AnsiPath(image.path.data(), image.path.size(), m_text));
        answer->name = BaseName(answer->path, m_text);
    }
    return *answer;
}

void ProcessWatch::ForgetEnded() {
    // The same processes as at the last forgetting: none has ended since.
    if (m_processList == m_forgotten) return;
    m_forgotten = m_processList;
    std::map<std::pair<uint32_t, uint64_t>, Answer> kept;
    for (const ProcessStamp& process : m_processList) {
        auto at = m_paths.find({process.id, process.createTime});
        if (at != m_paths.end()) kept.insert(m_paths.extract(at));
    }
    m_paths.swap(kept);
}

void ProcessWatch::Examine(Answer& answer, StringList& running) {
    if (m_trusted.IsKnown(answer.path)) {
        running.push_back(answer.name);
        return;
    }
    // A row of this name found or added since the last deletion is there still.
    if (answer.listedAt == m_untrustedDeleted) return;
    // The search starts after row 0 and wraps round to it, so every row takes part.
    if (m_untrustedRows.FindStringExact(0, answer.name.c_str()) != ListBox::kError) {
        answer.listedAt = m_untrustedDeleted;
        return;
    }
    // Row and path are recorded together or not at all, so that they stay aligned.
    if (m_untrustedRows.AddString(answer.name.c_str()) < 0) return;
    answer.listedAt = m_untrustedDeleted;
    m_untrusted.push_back(answer.path);
    m_alertWindow.RewritePlacement();
    m_alertWindow.AddAlertName(answer.name, answer.path);
    m_alertWindow.ShowAlert();
}

bool ProcessWatch::ReconcileRunning(StringList& running) {
    // Each row consumes every running entry equal to it; a row that consumes
    // none is deleted, and the row that moves up into its place is read next.
    std::vector<char> text;
    std::string row;
    bool unchanged = true;
    for (int j = 0; j < m_running.GetCount(); ++j) {
        bool matched = false;
        if (ReadRow(m_running, j, text, row)) {
            for (std::string& entry : running) {
                if (!entry.empty() && entry == row) {
                    entry.clear();
                    matched = true;
                }
            }
        }
        if (matched) continue;
        unchanged = false;
        if (m_running.DeleteString(j) != ListBox::kError) --j;
    }
    return unchanged;
}

void ProcessWatch::AddSelected() {
    int selected[kSelectionBatch];
    bool moved = false;
    // Ask afresh after every move: each deletion shifts the rows below it.
    while (m_untrustedRows.GetSelItems(kSelectionBatch, selected) > 0) {
        int row = selected[0];
        // The row goes first: a row the list box cannot delete would otherwise
        // leave every later row on the next row's path, and be reported
        // selected forever.
        if (!DeleteUntrustedRow(row)) break;
        if (row >= 0 && static_cast<size_t>(row) < m_untrusted.size()) {
            m_trusted.m_known.push_back(m_untrusted[static_cast<size_t>(row)]);
            m_untrusted.erase(m_untrusted.begin() + row);
            moved = true;
        }
    }
    // Saved at once, so that the user's answer outlives a Vardion that is
    // killed; a save that fails leaves the list for the next one.
    if (moved) m_trusted.SaveKnown();
}

void ProcessWatch::DropTrustedRows() {
    // From the bottom up, so that a deletion moves no row still to be looked at.
    for (size_t i = m_untrusted.size(); i-- > 0;) {
        if (!m_trusted.IsKnown(m_untrusted[i])) continue;
        if (!DeleteUntrustedRow(static_cast<int>(i))) continue;
        m_untrusted.erase(m_untrusted.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

bool ProcessWatch::DeleteUntrustedRow(int row) {
    // Counted even when it fails: a name found before is looked for again.
    ++m_untrustedDeleted;
    return m_untrustedRows.DeleteString(row) != ListBox::kError;
}
