// The few platform operations the scan and "<< Add" use, under the platform's
// own names. The program implements them over Win32; the tests over models.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

//! An open process; null when a process could not be opened.
using ProcessHandle = void*;

//! PROCESS_QUERY_INFORMATION | PROCESS_VM_READ: the access asked for first.
constexpr uint32_t kProcessQueryVmRead = 0x0410;
//! PROCESS_QUERY_LIMITED_INFORMATION: all that reading the image path needs.
constexpr uint32_t kProcessQueryLimited = 0x1000;

//! NTSTATUS values the path query by identifier answers with.
constexpr int32_t kStatusSuccess = 0;
constexpr int32_t kStatusInvalidInfoClass = static_cast<int32_t>(0xC0000003);
constexpr int32_t kStatusInfoLengthMismatch = static_cast<int32_t>(0xC0000004);
//! The most bytes a UNICODE_STRING holds: 32,767 UTF-16 units.
constexpr uint16_t kMaxImageNameBytes = 0xFFFE;

//! The UNICODE_STRING of the path query by identifier; lengths in bytes.
struct ImageName {
    uint16_t length = 0;
    uint16_t maximumLength = 0;
    char16_t* buffer = nullptr;
};

//! The system's processes (PSAPI and the kernel).
class ProcessSource {
  public:
    virtual ~ProcessSource() = default;

    //! Writes the identifiers of the running processes, as many as `bytes`
    //! holds, and sets `*bytesReturned` to the bytes written; false on failure.
    //! A full buffer may mean that more processes exist.
    virtual bool EnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) = 0;
    //! A handle to the process, or null when it cannot be opened.
    virtual ProcessHandle OpenProcess(uint32_t access, bool inherit, uint32_t processId) = 0;
    //! Writes the image path in UTF-16, NUL-terminated, and returns its length;
    //! 0 on failure. A path that needs more than `size` units returns `size`.
    virtual uint32_t GetProcessImageFileNameW(ProcessHandle process, char16_t* path,
                                              uint32_t size) = 0;
    //! NtQuerySystemInformation(SystemProcessIdInformation): the image path of
    //! `processId` into `name`, with no handle; the NTSTATUS. A buffer too small
    //! gives kStatusInfoLengthMismatch, with `maximumLength` raised to the bytes
    //! needed on some systems and left as it was on others.
    virtual int32_t QueryProcessIdImage(uint32_t processId, ImageName& name) = 0;
    //! Releases a handle that OpenProcess gave.
    virtual bool CloseHandle(ProcessHandle handle) = 0;
};

//! What making the 8-bit form of a path asks of the system: its ANSI code
//! page and its drive names.
class PathSystem {
  public:
    virtual ~PathSystem() = default;

    //! WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS) of `length` units, '?'
    //! for a character the code page lacks, with `*usedDefault` set when one
    //! was; the bytes written, or needed when `out` is null; 0 on failure.
    virtual int WideToAnsi(const char16_t* wide, int length, char* out, int outSize,
                           bool* usedDefault) const = 0;
    //! IsDBCSLeadByte: whether `lead` begins a character of two bytes.
    virtual bool IsLeadByte(unsigned char lead) const = 0;
    //! QueryDosDeviceA: the device drive `letter` stands for now; empty when none.
    virtual std::string DeviceOfDrive(char letter) const = 0;
};

//! One process as a system snapshot lists it.
struct ProcessStamp {
    uint32_t id = 0;
    //! When the process was created, in the system's 100 ns units; 0 when the
    //! system gives no time. With the identifier it names one process for its
    //! whole life: a reused identifier comes with another creation time.
    uint64_t createTime = 0;
};

//! Every process of the system at one instant, with its creation time.
class ProcessSnapshot {
  public:
    virtual ~ProcessSnapshot() = default;

    //! Replaces `processes` with the processes that exist now, in the system's
    //! order; false when no snapshot can be had.
    virtual bool TakeSnapshot(std::vector<ProcessStamp>& processes) = 0;
};

//! A window list box, by its messages. Indices and results as the LB_ messages give them.
class ListBox {
  public:
    static constexpr int kError = -1;  // LB_ERR

    virtual ~ListBox() = default;

    virtual int GetCount() const = 0;             //!< LB_GETCOUNT
    virtual int GetTextLen(int index) const = 0;  //!< LB_GETTEXTLEN, kError for no such row
    virtual int GetText(int index, char* text) const = 0;  //!< LB_GETTEXT into GetTextLen + 1 chars
    //! LB_FINDSTRINGEXACT: the first row after `start`, wrapping round, whose
    //! whole text equals `text` with case ignored; kError when none does.
    virtual int FindStringExact(int start, const char* text) const = 0;
    //! LB_ADDSTRING: appends, or inserts in sort order in a sorted list box; the new row's index.
    virtual int AddString(const char* text) = 0;
    //! LB_DELETESTRING: the rows left, or kError.
    virtual int DeleteString(int index) = 0;
    //! LB_GETSELITEMS: up to `maxItems` selected indices, lowest first; their count.
    virtual int GetSelItems(int maxItems, int* items) const = 0;
};

//! The alert window, as the scan sees it.
class AlertWindow {
  public:
    virtual ~AlertWindow() = default;

    //! Rewrites the window's placement so that the next ShowAlert brings it up restored.
    virtual void RewritePlacement() = 0;
    //! Adds a base name to the window's sorted list, with the image path it was found at.
    virtual void AddAlertName(const std::string& name, const std::string& path) = 0;
    //! Shows and activates the window; it may be visible already.
    virtual void ShowAlert() = 0;
    virtual bool IsAlertVisible() const = 0;
};

//! The notification-area icon's image.
class TrayIcon {
  public:
    virtual ~TrayIcon() = default;

    //! Sets the icon's image to icon resource `iconId`, leaving tip and
    //! callback as they are; false when the shell did not take it.
    virtual bool SetTrayImage(unsigned iconId) = 0;
};
