// An image path as a Windows user reads it: with the drive letter where the
// system reports a device. Shown in the lists' tips only; the lists, the
// trusted list and "known.dat" keep the device form.
#pragma once

#include <cstddef>
#include <string>

#include "watch/drive_table.h"
#include "watch/ports.h"

//! The most text a tip shows: the tooltip copies at most 1023 characters of it.
constexpr size_t kTipTextLimit = 1023;

//! `path` with its device replaced by the drive letter and a colon, where the
//! device of a drive, followed by a backslash, begins it (the longest such
//! device, case ignored); a path on a network share, "\Device\Mup\server\share\...",
//! as the UNC path "\\server\share\..." where no drive stands for it;
//! otherwise `path` as it is, the device path of a volume without a letter
//! included. A text longer than `limit` bytes keeps its start and its end,
//! joined by "...", each cut between two characters of the code page of `text`.
std::string DisplayPath(const std::string& path, DriveTable& drives, const PathSystem& text,
                        size_t limit = kTipTextLimit);
