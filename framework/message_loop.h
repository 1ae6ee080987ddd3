// One step of the framework's message loop, shared by the modal loop of
// CDialog and by CWinApp::Run.
#pragma once

#include <windows.h>

//! Takes the thread's next message and dispatches it, letting the dialog
//! manager of the top-level dialog that holds the message's window handle
//! keyboard input first. False on WM_QUIT, which is left in `msg` undispatched
//! (and on a failure of GetMessageA, with `msg` cleared).
bool AfxPumpMessage(MSG& msg);
