// The program's file system on Windows, and the trusted list saved and loaded through it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "trust/file_system.h"
#include "trust/trusted_list.h"

namespace {

// A fresh folder under the system's temporary folder, removed with its files
// at the end, and made the current folder meanwhile ("known.dat" is relative).
class FileSystemWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        dir = std::string(temp) + "vardion-test-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof current, current);
        previous = current;
        ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous.c_str());
        for (const char* name : {"a", "b", "known.dat", "known.dat.tmp"}) {
            DeleteFileA((dir + "\\" + name).c_str());
        }
        RemoveDirectoryA((dir + "\\sub").c_str());
        RemoveDirectoryA(dir.c_str());
    }
    std::string Read(const std::string& name) {
        std::string bytes = "untouched";
        EXPECT_TRUE(files.ReadAll(name, bytes));
        return bytes;
    }

    FileSystem& files = DefaultFileSystem();
    std::string dir;
    std::string previous;
};

TEST_F(FileSystemWin32, WritesAndReadsBytesExactly) {
    // No text mode: CR LF, a lone LF, NUL and bytes above 127 stay as they are.
    std::string bytes("one\r\ntwo\nthree\r\n\0\xe9\xff", 19);
    ASSERT_TRUE(files.WriteAll("a", bytes));
    EXPECT_EQ(Read("a"), bytes);

    std::string big(200000, 'x');  // more than one read
    big[150000] = 'y';
    ASSERT_TRUE(files.WriteAll("a", big));  // and truncates what was there
    EXPECT_EQ(Read("a"), big);

    ASSERT_TRUE(files.WriteAll("a", ""));
    EXPECT_EQ(Read("a"), "");
}

TEST_F(FileSystemWin32, ReadingWhatIsNoFileFailsAndLeavesTheBytes) {
    std::string bytes = "untouched";
    EXPECT_FALSE(files.ReadAll("missing", bytes));
    ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
    EXPECT_FALSE(files.ReadAll("sub", bytes));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_FALSE(files.WriteAll("sub", "x"));
    EXPECT_FALSE(files.WriteAll("nowhere\\a", "x"));
}

TEST_F(FileSystemWin32, ReplacePutsOneFileInThePlaceOfAnother) {
    ASSERT_TRUE(files.WriteAll("a", "new"));
    ASSERT_TRUE(files.WriteAll("b", "old"));
    EXPECT_TRUE(files.Replace("a", "b"));
    EXPECT_EQ(Read("b"), "new");
    std::string gone;
    EXPECT_FALSE(files.ReadAll("a", gone));
    EXPECT_FALSE(files.Replace("a", "b"));  // nothing to move: the target stays
    EXPECT_EQ(Read("b"), "new");
    files.Remove("b");
    EXPECT_FALSE(files.ReadAll("b", gone));
    files.Remove("b");  // removing what is not there is no failure
}

TEST_F(FileSystemWin32, TheTrustedListRoundTripsThroughKnownDat) {
    TrustedList saved;
    saved.m_known = {"\\Device\\HarddiskVolume1\\windows\\notepad.exe",
                     "\\Device\\HarddiskVolume2\\opt\\Tool.EXE"};
    saved.SaveKnown();
    EXPECT_EQ(Read("known.dat"),
              "\\Device\\HarddiskVolume1\\windows\\notepad.exe\r\n"
              "\\Device\\HarddiskVolume2\\opt\\Tool.EXE\r\n");
    TrustedList loaded;
    loaded.LoadKnown();
    EXPECT_EQ(loaded.m_known, saved.m_known);
}

}  // namespace
