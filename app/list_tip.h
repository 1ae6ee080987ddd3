// A tooltip over a list box that shows, for the row under the pointer, the
// full path of the program in that row.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "watch/ports.h"

//! The tip of one list box: made when its dialog initialises, gone with the dialog.
class ListTip {
  public:
    //! The image path recorded for a row, empty when the row has none.
    using RowPath = std::function<std::string(int row)>;

    //! `text` reads the paths' code page and names their drives.
    explicit ListTip(const PathSystem& text) : m_pathSystem(text) {}
    ~ListTip();
    ListTip(const ListTip&) = delete;
    ListTip& operator=(const ListTip&) = delete;

    //! Makes the tooltip, owned by the list's dialog, and starts following the
    //! pointer over the list; false when no tooltip could be made.
    bool Create(HWND list, RowPath rowPath);

  private:
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
    //! Called for every message of the list before the list sees it; true when it is the tip's
    //! alone.
    bool BeforeList(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    //! Called after the list has handled a message, with its result.
    void AfterList(UINT message, WPARAM wParam, LRESULT result);
    //! The row under a point of the list's client area, -1 for none.
    int RowAt(POINT point) const;
    //! Makes the tip's one tool the rectangle of `row`, or no tool for -1.
    void SetRow(int row);
    //! Gives the list its own procedure back.
    void Detach();

    HWND m_list = nullptr;
    HWND m_tip = nullptr;
    WNDPROC m_listProc = nullptr;
    RowPath m_rowPath;
    int m_row = -1;
    bool m_trackingLeave = false;
    std::string m_text;  //!< what the tip shows, kept while the tooltip copies it
    const PathSystem& m_pathSystem;
};
