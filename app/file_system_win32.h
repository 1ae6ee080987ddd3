// The file system of Windows, for the program.
#pragma once

#include "trust/file_system.h"

//! The one file system of Windows.
FileSystem& WindowsFileSystem();
