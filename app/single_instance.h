// One Vardion per folder: a second one started in the same folder shows the
// first one's main window and ends, so that two runs never save one
// "known.dat" against each other.
#pragma once

#include <windows.h>

class SingleInstance {
  public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    //! True when no other Vardion runs in the current folder; this one is then
    //! the one until it ends.
    bool Claim();
    //! Shows the main window of the Vardion that runs in the current folder.
    void ShowFirst();

  private:
    HANDLE m_claim = nullptr;
    DWORD* m_owner = nullptr;
};
