#include "watch/process_watch.h"

#include <cstddef>
#include <vector>

#include "res/resource.h"
#include "watch/image_path.h"

bool g_blinkPhase = false;

namespace {

// The identifier buffer starts at 1024 entries and grows while the system fills it.
constexpr uint32_t kFirstIdCount = 1024;
constexpr uint32_t kMaxIdCount = 1u << 20;
// LB_GETSELITEMS is asked for at most this many indices at a time.
constexpr int kSelectionBatch = 30;

// Closes a process handle when it goes out of scope, so that every process is
// closed before the next one is opened, whichever way its examination ends.
class ScopedProcess {
  public:
    ScopedProcess(ProcessSource& source, ProcessHandle handle)
        : m_source(source), m_handle(handle) {}
    ~ScopedProcess() {
        if (m_handle) m_source.CloseHandle(m_handle);
    }
    ScopedProcess(const ScopedProcess&) = delete;
    ScopedProcess& operator=(const ScopedProcess&) = delete;

    ProcessHandle get() const { return m_handle; }

  private:
    ProcessSource& m_source;
    ProcessHandle m_handle;
};

// All identifiers of the running processes: the buffer grows until it is not full.
std::vector<uint32_t> EnumerateAll(ProcessSource& source) {
    std::vector<uint32_t> ids(kFirstIdCount);
    for (;;) {
        uint32_t capacity = static_cast<uint32_t>(ids.size() * sizeof(uint32_t));
        uint32_t returned = 0;
        if (!source.EnumProcesses(ids.data(), capacity, &returned)) return {};
        if (returned > capacity) returned = capacity;
        if (returned < capacity || ids.size() >= kMaxIdCount) {
            ids.resize(returned / sizeof(uint32_t));
            return ids;
        }
        ids.resize(ids.size() * 2);
    }
}

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

ProcessWatch::ProcessWatch(ProcessSource& processes, const PathSystem& text, ListBox& runningList,
                           ListBox& untrustedList, AlertWindow& alert, TrayIcon& tray,
                           FileSystem& files)
    : TrustedList(files) {
    Connect(processes, text, runningList, untrustedList, alert, tray);
}

void ProcessWatch::Connect(ProcessSource& processes, const PathSystem& text, ListBox& runningList,
                           ListBox& untrustedList, AlertWindow& alert, TrayIcon& tray) {
    m_processes = &processes;
    m_text = &text;
    m_running = &runningList;
    m_untrustedRows = &untrustedList;
    m_alertWindow = &alert;
    m_tray = &tray;
}

bool ProcessWatch::ScanProcesses() {
    if (m_scanning) return false;
    // Cleared however the tick ends.
    struct Scanning {
        bool& flag;
        explicit Scanning(bool& f) : flag(f) { flag = true; }
        ~Scanning() { flag = false; }
    } scanning(m_scanning);

    // "known.dat" edited by hand or saved by another run: rows it now trusts leave the list.
    if (RefreshKnown()) DropTrustedRows();

    StringList running;
    // Drives are looked up afresh on every tick, so that a path is never read
    // through a drive letter that has since been given to another device.
    DriveDevices drives(*m_text);
    for (uint32_t id : EnumerateAll(*m_processes)) {
        std::string path = PathOf(id, drives);
        if (!path.empty()) ExaminePath(path, running);
    }

    ReconcileRunning(running);
    ShowTrayImage();

    for (const std::string& name : running) {
        if (!name.empty()) m_running->AddString(name.c_str());
    }
    return true;
}

void ProcessWatch::ShowTrayImage() {
    // The blink: while the alert shows, the alert image on every other tick.
    bool oldPhase = g_blinkPhase;
    g_blinkPhase = !oldPhase;
    unsigned image =
        !oldPhase && m_alertWindow->IsAlertVisible() ? IDI_TRAY_ALERT : IDI_TRAY_NORMAL;
    // Each call is a round trip to the shell, which redraws the icon: it is
    // made only when the image changes, or when the shell did not take the
    // last one. The icon may be added again during the call.
    if (image == m_trayImage) return;
    m_trayImage = image;
    if (!m_tray->SetTrayImage(image)) m_trayImage = 0;
}

std::string ProcessWatch::PathOf(uint32_t id, DriveDevices& drives) {
    uint32_t length = 0;
    {
        ProcessHandle handle = m_processes->OpenProcess(kProcessQueryVmRead, false, id);
        if (!handle) handle = m_processes->OpenProcess(kProcessQueryLimited, false, id);
        ScopedProcess process(*m_processes, handle);
        if (process.get()) length = ReadImagePath(*m_processes, process.get(), m_wide);
    }
    // A process that refuses to be opened (a service, another user's program,
    // one that guards itself) is classified all the same, by the path the
    // system gives for its identifier.
    // Identifier 0, the idle process, has neither a handle nor a path.
    bool byId = length == 0 && id != 0;
    if (byId) length = ReadImagePathById(*m_processes, id, m_wide);
    if (length == 0) return {};
    std::string path = drives.DeviceForm(AnsiPath(m_wide.data(), length, *m_text));
    // The system's own pseudo-processes ("Registry") give a bare name: no program file.
    if (byId && path.find('\\') == std::string::npos) return {};
    return path;
}

void ProcessWatch::ExaminePath(const std::string& path, StringList& running) {
    std::string name = BaseName(path, *m_text);
    if (IsKnown(path)) {
        running.push_back(name);
        return;
    }
    // The search starts after row 0 and wraps round to it, so every row takes part.
    if (m_untrustedRows->FindStringExact(0, name.c_str()) != ListBox::kError) return;
    // Row and path are recorded together or not at all, so that they stay aligned.
    if (m_untrustedRows->AddString(name.c_str()) < 0) return;
    m_untrusted.push_back(path);
    m_alertWindow->RewritePlacement();
    m_alertWindow->AddAlertName(name, path);
    m_alertWindow->ShowAlert();
}

void ProcessWatch::ReconcileRunning(StringList& running) {
    // Each row consumes every running entry equal to it; a row that consumes
    // none is deleted, and the row that moves up into its place is read next.
    std::vector<char> text;
    std::string row;
    for (int j = 0; j < m_running->GetCount(); ++j) {
        bool matched = false;
        if (ReadRow(*m_running, j, text, row)) {
            for (std::string& entry : running) {
                if (!entry.empty() && entry == row) {
                    entry.clear();
                    matched = true;
                }
            }
        }
        if (!matched && m_running->DeleteString(j) != ListBox::kError) --j;
    }
}

void ProcessWatch::AddSelected() {
    int selected[kSelectionBatch];
    bool moved = false;
    // Ask afresh after every move: each deletion shifts the rows below it.
    while (m_untrustedRows->GetSelItems(kSelectionBatch, selected) > 0) {
        int row = selected[0];
        // The row goes first: a row the list box cannot delete would otherwise
        // leave every later row on the next row's path, and be reported
        // selected forever.
        if (m_untrustedRows->DeleteString(row) == ListBox::kError) break;
        if (row >= 0 && static_cast<size_t>(row) < m_untrusted.size()) {
            m_known.push_back(m_untrusted[static_cast<size_t>(row)]);
            m_untrusted.erase(m_untrusted.begin() + row);
            moved = true;
        }
    }
    // Saved at once, so that the user's answer outlives a Vardion that is
    // killed; a save that fails leaves the list for the next one.
    if (moved) SaveKnown();
}

void ProcessWatch::DropTrustedRows() {
    // From the bottom up, so that a deletion moves no row still to be looked at.
    for (size_t i = m_untrusted.size(); i-- > 0;) {
        if (!IsKnown(m_untrusted[i])) continue;
        if (m_untrustedRows->DeleteString(static_cast<int>(i)) == ListBox::kError) continue;
        m_untrusted.erase(m_untrusted.begin() + static_cast<std::ptrdiff_t>(i));
    }
}
