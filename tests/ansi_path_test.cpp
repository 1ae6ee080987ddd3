// Image paths made 8-bit without loss, read character by character, the
// "\??\" form turned into the device form, and paths as a tip shows them (the
// drive letter in place of the device), against model code pages.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "tests/models/code_page_model.h"
#include "watch/ansi_path.h"
#include "watch/display_path.h"
#include "watch/drive_table.h"

namespace {

std::string Ansi(const std::u16string& wide, const PathSystem& text) {
    return AnsiPath(wide.data(), wide.size(), text);
}

TEST(AnsiPath, CodePageCharactersAsTheSystemGivesThemOthersEscaped) {
    const CodePageModel cp1252(1252), cp932(932);
    struct Case {
        const CodePageModel& codePage;
        std::u16string wide;
        std::string ansi;
    } cases[] = {
        {cp1252, u"\\Device\\HarddiskVolume1\\ne tools\\twin.exe",
         "\\Device\\HarddiskVolume1\\ne tools\\twin.exe"},
        {cp1252, u"\\D\\ne t\u014Dols\\twin.exe", "\\D\\ne t<U+014D>ols\\twin.exe"},
        {cp1252, u"\\D\\om\\\u03A9mega.exe", "\\D\\om\\<U+03A9>mega.exe"},
        {cp1252, u"\\D\\caf\u00E9 \u20AC\u2122.exe", "\\D\\caf\xE9 \x80\x99.exe"},
        {cp1252, u"\\D\\\u00E9\u014D\u00E9.exe", "\\D\\\xE9<U+014D>\xE9.exe"},
        {cp1252, u"\\D\\\xD83D\xDE00.exe", "\\D\\<U+1F600>.exe"},  // a pair: one character
        {cp1252, u"\\D\\\xD800x\\\xDC00.exe", "\\D\\<U+D800>x\\<U+DC00>.exe"},  // lone halves
        {cp1252, u"\\D\\\u00E9\xDBFF", "\\D\\\xE9<U+DBFF>"},
        {cp932, u"\\D\\\u30BD\u30D5\u30C8.exe", "\\D\\\x83\x5C\x83\x74\x83\x67.exe"},
        {cp932, u"\\D\\\u03A9\uFF71.exe", "\\D\\\x83\xB6\xB1.exe"},  // Ω is one of 932's
        {cp932, u"\\D\\\u8868\u014D.exe", "\\D\\\x95\x5C<U+014D>.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(Ansi(c.wide, c.codePage), c.ansi);

    // ASCII is the same in every code page and asks the system nothing.
    int calls = cp1252.conversions;
    Ansi(u"\\Device\\HarddiskVolume1\\Windows\\notepad.exe", cp1252);
    EXPECT_EQ(cp1252.conversions, calls);
}

// known.dat holds what the 8-bit calls gave: entries of code-page characters
// still match, and no lossy entry ever equals the path of a file that lacks it.
TEST(AnsiPath, OldEntriesMatchByteForByteAndLossyOnesNever) {
    const CodePageModel cp1252(1252), cp932(932);
    for (const std::u16string& wide :
         {std::u16string(u"\\D\\Program Files\\caf\u00E9\\\u00C5ngstr\u00F6m \u20AC.exe"),
          std::u16string(u"\\D\\a b\\plain.exe")}) {
        EXPECT_EQ(Ansi(wide, cp1252), cp1252.EightBitCall(wide));
    }
    std::u16string dbcs = u"\\D\\\u30BD\u30D5\u30C8\\\u8868.exe";
    EXPECT_EQ(Ansi(dbcs, cp932), cp932.EightBitCall(dbcs));

    for (const std::u16string& wide :
         {std::u16string(u"\\D\\ne t\u014Dols\\twin.exe"), std::u16string(u"\\D\\\u03A9mega.exe"),
          std::u16string(u"\\D\\\u0444.exe")}) {
        std::string exact = Ansi(wide, cp1252);
        std::string lossy = cp1252.EightBitCall(wide);  // "ne tools", "Omega", "?"
        EXPECT_NE(exact, lossy);
        EXPECT_EQ(exact.find('?'), std::string::npos) << exact;
    }
}

TEST(BaseName, ReadsCharactersOfTheCodePage) {
    const CodePageModel cp932(932), cp1252(1252);
    struct Case {
        const CodePageModel& codePage;
        std::string path;
        std::string name;
    } cases[] = {
        {cp932, "\\D\\app\\\x83\x5C\x83\x74\x83\x67.exe",
         "\x83\x5C\x83\x74\x83\x67.exe"},              // ソフト
        {cp932, "\\D\\\x95\x5C.exe", "\x95\x5C.exe"},  // 表
        {cp932, "\\D\\\x8F\x5C.exe", "\x8F\x5C.exe"},  // 十
        {cp932, "\\D\\\x83\x5C\\x.exe", "x.exe"},      // a folder that ends in ソ
        {cp932, "\\D\\\xB1\\x.exe", "x.exe"},          // a one-byte katakana is no lead byte
        {cp1252, "\\D\\\xE9\\\xFC.exe", "\xFC.exe"},
        {cp1252, "\\D\\ne t<U+014D>ols\\twin.exe", "twin.exe"},
        {cp1252, "\\D\\<U+03A9>mega.exe", "<U+03A9>mega.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(BaseName(c.path, c.codePage), c.name) << c.path;
}

TEST(DisplayPath, CutsBetweenCharactersOnly) {
    const CodePageModel cp932(932), cp1252(1252);
    DriveTable drives(cp1252);
    std::string table;
    for (int i = 0; i < 40; ++i) table += "\x95\x5C";  // 表 x 40
    std::string escapes;
    for (int i = 0; i < 12; ++i) escapes += "<U+014D>";
    struct Case {
        const CodePageModel& codePage;
        std::string path;
    } cases[] = {
        {cp932, "\\Device\\HarddiskVolume1\\" + table + "\\" + table + ".exe"},
        {cp932, "\\Device\\HarddiskVolume1\\a" + table + "\\" + table + ".exe"},
        {cp1252, "\\Device\\HarddiskVolume1\\" + escapes + "\\" + escapes + ".exe"},
    };
    for (const Case& c : cases) {
        for (size_t limit : {2u, 20u, 31u, 32u, 33u, 50u}) {
            std::string shown = DisplayPath(c.path, drives, c.codePage, limit);
            EXPECT_LE(shown.size(), limit);
            size_t cut = shown.find("...");
            ASSERT_TRUE(limit < 3 || cut != std::string::npos) << shown;
            // Both pieces read as whole characters: the start from the front,
            // the end from the back of the whole text.
            std::string head = limit < 3 ? shown : shown.substr(0, cut);
            std::string whole =
                "C:" + c.path.substr(std::string("\\Device\\HarddiskVolume1").size());
            EXPECT_EQ(whole.compare(0, head.size(), head), 0);
            size_t at = 0;
            while (at < head.size()) at += CharacterLength(whole, at, c.codePage);
            EXPECT_EQ(at, head.size()) << "limit " << limit << ": " << shown;
            if (limit < 3) continue;
            size_t tail = whole.size() - (shown.size() - cut - 3);
            for (at = 0; at < tail;) at += CharacterLength(whole, at, c.codePage);
            EXPECT_EQ(at, tail) << "limit " << limit << ": " << shown;
        }
    }
}

TEST(DriveTable, DosFormBecomesTheDeviceForm) {
    CodePageModel system;
    DriveTable drives(system);
    struct Case {
        std::string path, device;
    } cases[] = {
        {"\\??\\C:\\windows\\system32\\svchost.exe",
         "\\Device\\HarddiskVolume1\\windows\\system32\\svchost.exe"},
        {"\\??\\z:\\tmp\\a b\\x.exe", "\\Device\\HarddiskVolume2\\tmp\\a b\\x.exe"},
        {"\\??\\C:", "\\Device\\HarddiskVolume1"},
        {"\\??\\Q:\\x.exe", "\\??\\Q:\\x.exe"},  // no such drive
        {"\\??\\C:x.exe", "\\??\\C:x.exe"},
        {"\\??\\CC:\\x.exe", "\\??\\CC:\\x.exe"},
        {"\\??\\1:\\x.exe", "\\??\\1:\\x.exe"},
        {"\\Device\\HarddiskVolume1\\x.exe", "\\Device\\HarddiskVolume1\\x.exe"},
        {"\\\\?\\C:\\x.exe", "\\\\?\\C:\\x.exe"},
        {"Registry", "Registry"},
    };
    for (const Case& c : cases) EXPECT_EQ(drives.DeviceForm(c.path), c.device) << c.path;
    EXPECT_EQ(system.deviceLookups, 3);  // C, Z and Q, each asked once
}

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

// A program started from a share has its path on the network's device; a
// drive that stands for the share shows its letter instead.
TEST(DisplayPath, ShareShowsAsItsUncPathWhereNoDriveStandsForIt) {
    CodePageModel mapped =
        System({{'C', "\\Device\\HarddiskVolume1"}, {'S', "\\Device\\Mup\\srv\\mapped"}});
    DriveTable drives(mapped);
    struct Case {
        std::string path, shown;
    } cases[] = {
        {"\\Device\\Mup\\srv\\tools\\my tool.exe", "\\\\srv\\tools\\my tool.exe"},
        {"\\device\\MUP\\srv\\tools\\x.exe", "\\\\srv\\tools\\x.exe"},
        {"\\Device\\Mup\\srv\\mapped\\x.exe", "S:\\x.exe"},
        {"\\Device\\Mup\\", "\\Device\\Mup\\"},
        {"\\Device\\Mupx\\srv\\x.exe", "\\Device\\Mupx\\srv\\x.exe"},
        {"\\Device\\HarddiskVolume4\\x.exe",
         "\\Device\\HarddiskVolume4\\x.exe"},  // mounted in a folder
    };
    for (const Case& c : cases) EXPECT_EQ(DisplayPath(c.path, drives, mapped), c.shown) << c.path;
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
