// The few platform operations the scan and "<< Add" use, under the platform's
// own names. The program implements them over Win32; the tests over models.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

//! One process as the system lists it.
struct ProcessStamp {
    uint32_t id = 0;
    //! When the process was created, in the system's 100 ns units; 0 when the
    //! system gives no time. With the identifier it names one process for its
    //! whole life: a reused identifier comes with another creation time.
    uint64_t createTime = 0;

    bool operator==(const ProcessStamp& other) const {
        return id == other.id && createTime == other.createTime;
    }
    bool operator!=(const ProcessStamp& other) const { return !(*this == other); }
};

//! What the system says of a process's program file.
struct ImageAnswer {
    enum class Kind {
        Path,     // `path` is what the system gives; a bare name such as "Registry" too
        Refused,  // the process may not be asked
        NoFile,   // the system gives no path
    };
    Kind kind = Kind::NoFile;
    //! The image path in UTF-16, as the system gives it: the device form, or
    //! "\??\X:" and what follows.
    std::u16string path;
};

//! The system's processes.
class ProcessSystem {
  public:
    virtual ~ProcessSystem() = default;

    //! Replaces `processes` with the processes that exist now, in the system's
    //! order, each with its creation time where the system gives one; false
    //! when they cannot be listed.
    virtual bool ListProcesses(std::vector<ProcessStamp>& processes) = 0;
    //! The image path of `process`, whole.
    virtual ImageAnswer ImageOf(const ProcessStamp& process) = 0;
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
