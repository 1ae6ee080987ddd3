// The program's file system on Windows, and the trusted list saved and loaded through it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/file_system_win32.h"
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
        EXPECT_EQ(files.Read(name, bytes, UINT64_MAX), FileSystem::ReadResult::kRead);
        return bytes;
    }
    bool Write(const std::string& name, const std::string& bytes) {
        files.Remove(name);
        return files.WriteNew(name, bytes);
    }

    FileSystem& files = WindowsFileSystem();
    std::string dir;
    std::string previous;
};

using Read = FileSystem::ReadResult;
using Replace = FileSystem::ReplaceResult;

TEST_F(FileSystemWin32, WritesAndReadsBytesExactly) {
    // No text mode: CR LF, a lone LF, NUL and bytes above 127 stay as they are.
    std::string bytes("one\r\ntwo\nthree\r\n\0\xe9\xff", 19);
    ASSERT_TRUE(Write("a", bytes));
    EXPECT_EQ(Read("a"), bytes);

    std::string big(200000, 'x');  // more than one read
    big[150000] = 'y';
    EXPECT_FALSE(files.WriteNew("a", big));  // only ever a new file
    ASSERT_TRUE(Write("a", big));
    EXPECT_EQ(Read("a"), big);

    ASSERT_TRUE(Write("a", ""));
    EXPECT_EQ(Read("a"), "");

    // A file larger than the reader's limit is not read, however large it is.
    ASSERT_TRUE(Write("a", "0123456789"));
    std::string limited = "untouched";
    EXPECT_EQ(files.Read("a", limited, 9), Read::kTooLarge);
    EXPECT_EQ(limited, "untouched");
    EXPECT_EQ(files.Read("a", limited, 10), Read::kRead);
    EXPECT_EQ(limited, "0123456789");
    HANDLE sparse = CreateFileA("a", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER huge;
    huge.QuadPart = 3ll << 30;
    EXPECT_TRUE(SetFilePointerEx(sparse, huge, nullptr, FILE_BEGIN) && SetEndOfFile(sparse));
    CloseHandle(sparse);
    EXPECT_EQ(files.Read("a", limited, 64u << 20), Read::kTooLarge);
}

TEST_F(FileSystemWin32, WhatIsNoFileOrCannotBeReadIsToldApartFromMissing) {
    std::string bytes = "untouched";
    EXPECT_EQ(files.Read("missing", bytes, UINT64_MAX), Read::kMissing);
    EXPECT_EQ(files.Read("nowhere\\missing", bytes, UINT64_MAX), Read::kMissing);
    ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
    EXPECT_EQ(files.Read("sub", bytes, UINT64_MAX), Read::kFailed);
    EXPECT_EQ(bytes, "untouched");
    EXPECT_FALSE(files.WriteNew("sub", "x"));
    EXPECT_FALSE(files.WriteNew("nowhere\\a", "x"));

    ASSERT_TRUE(Write("a", "held"));
    HANDLE writer = CreateFileA("a", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read("a"), "held");  // an editor that shares reading does not stop a read
    CloseHandle(writer);
}

TEST_F(FileSystemWin32, ReplacePutsOneFileInThePlaceOfAnother) {
    ASSERT_TRUE(Write("a", "new"));
    ASSERT_TRUE(Write("b", "old"));
    EXPECT_EQ(files.Replace("a", "b"), Replace::kReplaced);
    EXPECT_EQ(Read("b"), "new");
    std::string gone;
    EXPECT_EQ(files.Read("a", gone, UINT64_MAX), Read::kMissing);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kFailed);  // nothing to move: the target stays
    EXPECT_EQ(Read("b"), "new");

    ASSERT_TRUE(Write("a", "newer"));
    HANDLE holder =
        CreateFileA("b", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kBusy);  // worth a retry
    CloseHandle(holder);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kReplaced);
    EXPECT_EQ(Read("b"), "newer");

    ASSERT_TRUE(Write("a", "newest"));
    ASSERT_TRUE(SetFileAttributesA("b", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(files.Replace("a", "b"), Replace::kFailed);  // not replaced, and no use waiting
    EXPECT_EQ(Read("b"), "newer");

    files.Remove("b");
    EXPECT_EQ(files.Read("b", gone, UINT64_MAX), Read::kMissing);
    files.Remove("b");  // removing what is not there is no failure
}

TEST_F(FileSystemWin32, StaleFileOfAnyAttributesIsRemoved) {
    ASSERT_TRUE(Write("a", "stale"));
    ASSERT_TRUE(SetFileAttributesA(
        "a", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    files.Remove("a");
    EXPECT_EQ(GetFileAttributesA("a"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(files.WriteNew("a", "fresh"));
}

TEST_F(FileSystemWin32, TheTrustedListRoundTripsThroughKnownDat) {
    TrustedList saved{WindowsFileSystem()};
    saved.m_known = {"\\Device\\HarddiskVolume1\\windows\\notepad.exe",
                     "\\Device\\HarddiskVolume2\\opt\\Tool.EXE"};
    saved.SaveKnown();
    EXPECT_EQ(Read("known.dat"),
              "\\Device\\HarddiskVolume1\\windows\\notepad.exe\r\n"
              "\\Device\\HarddiskVolume2\\opt\\Tool.EXE\r\n");
    TrustedList loaded{WindowsFileSystem()};
    loaded.LoadKnown();
    EXPECT_EQ(loaded.m_known, saved.m_known);
}

}  // namespace
