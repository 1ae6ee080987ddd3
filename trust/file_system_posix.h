// The host's file system, for the host build and its tests.
#pragma once

#include "trust/file_system.h"

//! The one file system of the host (POSIX).
FileSystem& HostFileSystem();
