// The notification-area record operations, on the window that owns the icon.
#pragma once

#include <windows.h>

//! Sets the image of the window's icon 0 to icon resource `iconId`; tip and
//! callback stay. False when the shell did not take it.
bool SetTrayIconImage(HWND window, unsigned iconId);
