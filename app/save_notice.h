// Tells the user that the trusted list could not be read or saved.
#pragma once

#include <windows.h>

#include <vector>

#include "trust/trusted_list.h"

//! The caption of the notice, for whoever looks for it.
extern const char kSaveNoticeCaption[];

//! The message boxes that say why the list was not saved, and in which folder,
//! each on a thread of its own, so that the ticks go on while one is open.
class SaveNotice {
  public:
    SaveNotice() = default;
    ~SaveNotice() { Close(); }
    SaveNotice(const SaveNotice&) = delete;
    SaveNotice& operator=(const SaveNotice&) = delete;

    //! Shows a box for the failure and returns at once; nothing for kSaved.
    void Show(SaveResult failure);
    //! Says, in a box that this call waits to be closed, why `unsaved` could not be saved,
    //! and that they will not be trusted at the next start: what Exit says last.
    static void SayAtExit(SaveResult failure, const StringList& unsaved);
    //! Closes every box still open and waits for its thread to end, for a few
    //! seconds at most: called at close-down, so that no thread of the program
    //! is inside user32 while the process ends.
    void Close();

  private:
    struct Thread {
        HANDLE handle;
        DWORD id;
    };
    std::vector<Thread> m_threads;
};
