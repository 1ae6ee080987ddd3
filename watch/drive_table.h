// The drives of the system, by letter and by device.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "watch/ports.h"

//! The device each drive letter stands for, asked of the system once per
//! letter while the table lives, and only when a path needs it. Made afresh
//! for each tick and each tip, so that a path is never read through a drive
//! letter that has since been given to another device.
class DriveTable {
  public:
    explicit DriveTable(const PathSystem& system) : m_system(system) {}

    //! `path` with a leading "\??\X:" replaced by the device of X:, so that a
    //! path given in that form equals the device form the other calls give;
    //! any other path as it is.
    std::string DeviceForm(const std::string& path);
    //! `path` with its device replaced by the drive letter and a colon, where
    //! the device of a drive, followed by a backslash, begins it (the longest
    //! such device, case ignored); any other path as it is.
    std::string LetterForm(const std::string& path);

  private:
    const std::string& DeviceOf(char letter);

    const PathSystem& m_system;
    std::array<std::optional<std::string>, 26> m_devices;
};
