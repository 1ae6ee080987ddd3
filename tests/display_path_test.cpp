// Image paths as a tip shows them: the drive letter in place of the device.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "tests/models/code_page_model.h"
#include "watch/display_path.h"

namespace {

// The system's drives, with C: and D: on volumes whose names share a start.
CodePageModel System(std::map<char, std::string> drives = {
                         {'C', "\\Device\\HarddiskVolume1"},
                         {'D', "\\Device\\HarddiskVolume10"},
                         {'Z', "\\Device\\HarddiskVolume2"},
                     }) {
    CodePageModel system;
    system.drives = std::move(drives);
    return system;
}

const CodePageModel kCodePage = System();
DriveTable kDrives(kCodePage);

TEST(DisplayPath, DeviceOfADriveBecomesItsLetter) {
    EXPECT_EQ(DisplayPath("\\Device\\HarddiskVolume1\\Program Files\\My Tool\\tool.exe", kDrives,
                          kCodePage),
              "C:\\Program Files\\My Tool\\tool.exe");
    EXPECT_EQ(DisplayPath("\\Device\\HarddiskVolume10\\tool.exe", kDrives, kCodePage),
              "D:\\tool.exe");
    EXPECT_EQ(DisplayPath("\\device\\HARDDISKVOLUME2\\tool.exe", kDrives, kCodePage),
              "Z:\\tool.exe");
    EXPECT_EQ(DisplayPath("\\Device\\HarddiskVolume1\\", kDrives, kCodePage), "C:\\");

    CodePageModel shares = System({{'N', "\\Device\\Share"}, {'S', "\\Device\\Share\\Inner"}});
    DriveTable nested(shares);
    EXPECT_EQ(DisplayPath("\\Device\\Share\\Inner\\tool.exe", nested, kCodePage), "S:\\tool.exe");
    EXPECT_EQ(DisplayPath("\\Device\\Share\\Other\\tool.exe", nested, kCodePage),
              "N:\\Other\\tool.exe");
}

TEST(DisplayPath, PathOnNoDriveIsShownAsRecorded) {
    for (const char* path : {"\\Device\\HarddiskVolume3\\tool.exe",
                             "\\Device\\HarddiskVolume100\\tool.exe",  // neither 1 nor 10
                             "\\Device\\HarddiskVolume1",              // exactly the device
                             "\\Device\\HarddiskVolume1tool.exe", "tool.exe", ""}) {
        EXPECT_EQ(DisplayPath(path, kDrives, kCodePage), path);
    }
    CodePageModel driveless = System({});
    DriveTable none(driveless);
    EXPECT_EQ(DisplayPath("\\Device\\HarddiskVolume1\\tool.exe", none, kCodePage),
              "\\Device\\HarddiskVolume1\\tool.exe");
}

TEST(DisplayPath, LongPathKeepsItsStartAndItsEndWithinTheLimit) {
    std::string path = "\\Device\\HarddiskVolume1\\" + std::string(3000, 'f') + "\\tool.exe";
    std::string shown = DisplayPath(path, kDrives, kCodePage);
    ASSERT_EQ(shown.size(), kTipTextLimit);
    EXPECT_EQ(shown.substr(0, 4), "C:\\f");
    EXPECT_EQ(shown.substr(shown.size() - 9), "\\tool.exe");
    EXPECT_NE(shown.find("f...f"), std::string::npos);

    std::string fits = "\\Device\\HarddiskVolume1\\" + std::string(kTipTextLimit - 3, 'e');
    EXPECT_EQ(DisplayPath(fits, kDrives, kCodePage), "C:\\" + std::string(kTipTextLimit - 3, 'e'));
    EXPECT_EQ(DisplayPath(path, kDrives, kCodePage, 2), "C:");
}

}  // namespace
