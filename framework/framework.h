// The dialog framework: everything a window of the program needs, in one include.
#pragma once

#include <windows.h>

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/menu.h"
#include "framework/object.h"
#include "framework/wnd.h"
