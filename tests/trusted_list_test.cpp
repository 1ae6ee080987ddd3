// The trusted list and its file "known.dat".
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

#include "tests/models/faulty_file_system.h"
#include "tests/temp_dir.h"
#include "trust/file_system_posix.h"
#include "trust/trusted_list.h"

namespace {

// The files that saves write first and that are still there.
std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const std::string& name : HostFileSystem().Names(kKnownFileName, ".tmp")) {
        if (IsKnownTempName(name)) names.push_back(name);
    }
    return names;
}

class KnownFile : public ::testing::Test {
  protected:
    TempDir dir;  // the current directory for the test
    TrustedList list{HostFileSystem()};

    std::string Loaded(const std::string& bytes) {
        dir.Write(kKnownFileName, bytes);
        TrustedList fresh{HostFileSystem()};
        fresh.LoadKnown();
        std::string joined;
        for (std::string_view entry : fresh.m_known) joined += "[" + std::string(entry) + "]";
        return joined;
    }
    std::string RoundTrip(const std::string& bytes) {
        dir.Write(kKnownFileName, bytes);
        TrustedList fresh{HostFileSystem()};
        fresh.LoadKnown();
        fresh.SaveKnown();
        return dir.Read(kKnownFileName);
    }
};

TEST_F(KnownFile, MissingFileGivesEmptyListAndCreatesNothing) {
    list.LoadKnown();
    EXPECT_TRUE(list.m_known.empty());
    EXPECT_FALSE(dir.Exists(kKnownFileName));
}

TEST_F(KnownFile, LineEndsAsRead) {
    EXPECT_EQ(Loaded(""), "");
    EXPECT_EQ(Loaded("A\r\nB\r\n"), "[A][B]");
    EXPECT_EQ(Loaded("A\nB"), "[A][B]");      // LF only, no final line end
    EXPECT_EQ(Loaded("A\rB\r\n"), "[A\rB]");  // a lone CR is part of the entry
    EXPECT_EQ(Loaded("A\r"), "[A\r]");        // also at the very end
    EXPECT_EQ(Loaded("A\r\r\n"), "[A\r]");    // only the CR before the LF is line end
    EXPECT_EQ(Loaded(" A \r\n"), "[ A ]");    // spaces are kept
    EXPECT_EQ(Loaded(std::string("A\0B\n", 4)), std::string("[A\0B]", 5));
}

TEST_F(KnownFile, ListEndsAtFirstEmptyLine) {
    EXPECT_EQ(Loaded("\r\nA\r\n"), "");
    EXPECT_EQ(Loaded("A\r\nB\r\n\r\nC\r\n"), "[A][B]");
    EXPECT_EQ(Loaded("A\n\nC"), "[A]");
}

TEST_F(KnownFile, DuplicatesAndCaseAreKept) {
    EXPECT_EQ(Loaded("A\r\nA\r\na\r\n"), "[A][A][a]");
    EXPECT_EQ(RoundTrip("A\r\nA\r\n"), "A\r\nA\r\n");
}

TEST_F(KnownFile, WhatWasAddedBeforeTheLoadStaysAfterTheFilesEntries) {
    dir.Write(kKnownFileName, "B\r\n");
    list.m_known.push_back("A");
    list.LoadKnown();
    EXPECT_EQ(list.m_known, (StringList{"B", "A"}));
    EXPECT_TRUE(list.HasUnsaved());
}

TEST_F(KnownFile, LongLinesLoadWholeAndSoDoTheLinesAfterThem) {
    std::string longPath = "\\Device\\HarddiskVolume1\\" + std::string(5000, 'x') + ".exe";
    std::string exact(1022, 'y');
    std::string tooLongForOldLimit(1023, 'z');
    dir.Write(kKnownFileName,
              longPath + "\r\n" + exact + "\r\n" + tooLongForOldLimit + "\r\nlast\r\n");
    list.LoadKnown();
    EXPECT_EQ(list.m_known, (StringList{longPath, exact, tooLongForOldLimit, "last"}));
}

TEST_F(KnownFile, SaveWritesEveryEntryWithCrLf) {
    list.m_known = {"\\Device\\HarddiskVolume1\\a.exe", "b"};
    list.SaveKnown();
    EXPECT_EQ(dir.Read(kKnownFileName), "\\Device\\HarddiskVolume1\\a.exe\r\nb\r\n");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(KnownFile, EmptyListSavesAsEmptyFile) {
    list.SaveKnown();
    ASSERT_TRUE(dir.Exists(kKnownFileName));
    EXPECT_EQ(dir.Read(kKnownFileName), "");
}

TEST_F(KnownFile, SaveKeepsWhatTheFileHoldsAndAddsTheRest) {
    dir.Write(kKnownFileName, "old1\r\nold2\r\nold3\r\n");
    list.m_known = {"new", "old2"};
    list.SaveKnown();
    EXPECT_EQ(dir.Read(kKnownFileName), "old1\r\nold2\r\nold3\r\nnew\r\n");
}

TEST_F(KnownFile, RoundTripsByteForByte) {
    EXPECT_EQ(RoundTrip("A\r\nB\r\n"), "A\r\nB\r\n");
    EXPECT_EQ(RoundTrip("A\nB"), "A\r\nB\r\n");  // normalised to CR LF after every line
    std::string binary;
    for (int c = 1; c < 256; ++c) {
        if (c != '\n') binary += static_cast<char>(c);
    }
    EXPECT_EQ(RoundTrip(binary + "\r\n"), binary + "\r\n");
}

TEST_F(KnownFile, HandWrittenLinesAfterAnEmptyLineSurviveASave) {
    const std::string file = "A\r\n\r\n# notes\r\n\r\nmore\nlast";
    EXPECT_EQ(RoundTrip(file), file);

    dir.Write(kKnownFileName, file);
    TrustedList fresh{HostFileSystem()};
    fresh.LoadKnown();
    fresh.m_known.push_back("B");
    fresh.SaveKnown();
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\n\r\n# notes\r\n\r\nmore\nlast");

    EXPECT_EQ(RoundTrip("\r\nkept\r\n"), "\r\nkept\r\n");  // the list itself is empty
}

TEST_F(KnownFile, DirectoryInPlaceOfTheFileLoadsNothingAndKeepsNoTemporary) {
    dir.MakeDirectory(kKnownFileName);
    list.LoadKnown();
    EXPECT_TRUE(list.m_known.empty());
    list.m_known = {"new"};
    list.SaveKnown();  // the replace fails
    EXPECT_TRUE(Leftovers().empty());
}

TEST(IsKnown, ExactCaseSensitiveWholeString) {
    TrustedList list{HostFileSystem()};
    EXPECT_FALSE(list.IsKnown("a"));
    list.m_known = {"\\Device\\HarddiskVolume1\\App.exe", " spaced "};
    EXPECT_TRUE(list.IsKnown("\\Device\\HarddiskVolume1\\App.exe"));
    EXPECT_FALSE(list.IsKnown("\\Device\\HarddiskVolume1\\app.exe"));
    EXPECT_FALSE(list.IsKnown("C:\\App.exe"));
    EXPECT_FALSE(list.IsKnown("\\Device\\HarddiskVolume1\\App.ex"));
    EXPECT_FALSE(list.IsKnown("spaced"));
    EXPECT_TRUE(list.IsKnown(" spaced "));
}

// A list loaded from its file, with a long entry added to save.
struct LoadedList {
    TempDir dir;
    FaultyFileSystem files;
    TrustedList list{files};
    const std::string old = "\\Device\\HarddiskVolume1\\old.exe\r\nkept.exe\r\n";

    LoadedList() {
        dir.Write(kKnownFileName, old);
        list.LoadKnown();
        list.m_known.push_back(std::string(4000, 'n'));
    }
};

// Whichever step fails, the old file stays whole and no temporary file is left.
TEST(FailingSave, LeavesTheOldFileWhole) {
    struct Case {
        const char* what;
        void (*fault)(FaultyFileSystem&);
        int replaces;  // -1: any
    } cases[] = {
        {"TemporaryFileCannotBeCreated", [](FaultyFileSystem& f) { f.failCreate = true; }, 0},
        {"DiskFullPartWay", [](FaultyFileSystem& f) { f.diskFullAfter = 100; }, 0},
        {"ReplaceFails", [](FaultyFileSystem& f) { f.failReplace = true; }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedList save;
        c.fault(save.files);
        save.list.SaveKnown();
        EXPECT_EQ(save.dir.Read(kKnownFileName), save.old);
        EXPECT_TRUE(Leftovers().empty());
        EXPECT_TRUE(c.replaces < 0 || save.files.replaces == c.replaces) << save.files.replaces;
    }
}

TEST(FailingSave, NextSaveSucceedsOverALeftoverTemporaryFile) {
    LoadedList save;
    save.dir.Write(kKnownTempName, "half a list");  // left by a run that died while saving
    save.list.SaveKnown();
    EXPECT_EQ(save.dir.Read(kKnownFileName), save.old + std::string(4000, 'n') + "\r\n");
    EXPECT_TRUE(Leftovers().empty());
}

// A save writes what the file holds when it saves, then this run's additions:
// whatever changed the file since it was read (a hand edit, another run) stays.
TEST(MergedSave, KeepsOtherWritersAndHandEdits) {
    struct Case {
        const char* what;
        std::string loaded;   // the file when the run read it
        std::string changed;  // the file when the run saves
        std::string expected;
    };
    const Case cases[] = {
        {"line removed and one added by hand", "A\r\nB\r\n", "A\r\nC\r\n", "A\r\nC\r\nX\r\n"},
        {"another run added its own", "A\r\n", "A\r\nY\r\n", "A\r\nY\r\nX\r\n"},
        {"another run added the same", "A\r\n", "A\r\nX\r\n", "A\r\nX\r\n"},
        {"tail changed by hand", "A\r\n\r\n# note\r\n", "A\r\nB\r\n\r\n# new note",
         "A\r\nB\r\nX\r\n\r\n# new note"},
        {"file deleted meanwhile", "A\r\n", "", "X\r\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.Write(kKnownFileName, c.loaded);
        TrustedList list{HostFileSystem()};
        list.LoadKnown();
        list.m_known.push_back("X");
        if (c.changed.empty()) {
            std::remove(kKnownFileName);
        } else {
            dir.Write(kKnownFileName, c.changed);
        }
        EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved) << c.what;
        EXPECT_EQ(dir.Read(kKnownFileName), c.expected) << c.what;
        EXPECT_FALSE(list.HasUnsaved()) << c.what;
    }
}

class ListOnDisk : public ::testing::Test {
  protected:
    TempDir dir;
    FaultyFileSystem files;
    TrustedList list{files};
    const std::string old = "A\r\nB\r\n\r\ntail";

    //! Writes the old file, loads it and adds X to the list.
    void LoadOldAndAddX() {
        dir.Write(kKnownFileName, old);
        list.LoadKnown();
        list.m_known.push_back("X");
    }
};

TEST_F(ListOnDisk, UnreadableFileIsNeverReplacedAndIsMergedOnceItCanBeRead) {
    dir.Write(kKnownFileName, old);
    files.unreadable = true;  // held by another program from the start
    list.LoadKnown();
    EXPECT_TRUE(list.m_known.empty());
    list.m_known.push_back("X");
    EXPECT_EQ(list.SaveKnown(), SaveResult::kUnreadable);
    EXPECT_EQ(list.SaveKnown(), SaveResult::kUnreadable);
    EXPECT_EQ(dir.Read(kKnownFileName), old);
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_TRUE(list.HasUnsaved());

    files.unreadable = false;  // released: the next check reads it and saves the addition
    EXPECT_TRUE(list.RefreshKnown());
    EXPECT_EQ(list.m_known, (StringList{"A", "B", "X"}));
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\n\r\ntail");
    EXPECT_FALSE(list.HasUnsaved());
}

TEST_F(ListOnDisk, StaleTemporaryLinkIsRemovedNotFollowed) {
    dir.Write("elsewhere", "precious");
    ASSERT_EQ(symlink("elsewhere", kKnownTempName), 0);
    LoadOldAndAddX();
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(dir.Read("elsewhere"), "precious");
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\n\r\ntail");
}

TEST_F(ListOnDisk, LeftoverTemporaryIsTakenOnlyWhenComplete) {
    struct Case {
        std::string temp;
        StringList expected;
    };
    const Case cases[] = {
        {"A\r\nB\r\n", {"A", "B"}},       // written whole, not yet put in place
        {"A\r\nB\r\n\\Device\\Har", {}},  // cut short while it was written
        {"", {}},
    };
    for (const Case& c : cases) {
        TempDir fresh;
        fresh.Write(kKnownTempName, c.temp);
        TrustedList loaded{files};
        loaded.LoadKnown();
        EXPECT_EQ(loaded.m_known, c.expected) << c.temp;
        if (!c.expected.empty()) {
            EXPECT_EQ(fresh.Read(kKnownFileName), c.temp);
            EXPECT_TRUE(Leftovers().empty());
        }
        EXPECT_FALSE(loaded.HasUnsaved()) << c.temp;
    }
}

TEST_F(ListOnDisk, ReplaceMeetingAnotherOpenerIsRetriedForAQuarterOfASecond) {
    LoadOldAndAddX();
    files.busyReplaces = 3;
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(files.replaces, 4);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\n\r\ntail");

    list.m_known.push_back("Y");
    files.busyReplaces = 1000;  // held for longer
    files.paused = 0;
    EXPECT_EQ(list.SaveKnown(), SaveResult::kUnwritable);
    EXPECT_GE(files.paused, 200u);
    EXPECT_LE(files.paused, 300u);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\n\r\ntail");
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_TRUE(list.HasUnsaved());
}

TEST_F(ListOnDisk, FailureIsToldOnceAndAgainOnlyAfterASuccess) {
    list.LoadKnown();
    list.m_known.push_back("X");
    std::vector<SaveResult> told;
    auto save = [&] {
        list.SaveKnown();
        told.push_back(list.TakeUntoldFailure());
    };
    files.failCreate = true;
    save();
    save();
    files.failCreate = false;
    save();
    files.unreadable = true;
    save();
    save();
    EXPECT_EQ(told, (std::vector<SaveResult>{SaveResult::kUnwritable, SaveResult::kSaved,
                                             SaveResult::kSaved, SaveResult::kUnreadable,
                                             SaveResult::kSaved}));
}

TEST(KnownIndex, FindsTheFirstEqualEntryThroughEveryChange) {
    // Entries that differ in case, by a byte, in length, or not at all, in
    // numbers that make the index grow several times.
    StringList model;
    KnownList list;
    auto check = [&](const char* when) {
        ASSERT_EQ(list, model) << when;
        for (const std::string& probe :
             {std::string("a"), std::string("A"), std::string("a "), std::string(),
              std::string("C:\\x\\7.exe"), std::string("c:\\x\\7.exe"), std::string(300, 'q'),
              std::string("C:\\x\\4999.exe"), std::string("missing")}) {
            size_t expected =
                static_cast<size_t>(std::find(model.begin(), model.end(), probe) - model.begin());
            EXPECT_EQ(list.Find(probe), expected) << when << ": \"" << probe << "\"";
        }
    };
    std::string file;
    for (int i = 0; i < 5000; ++i) file += "C:\\x\\" + std::to_string(i % 4000) + ".exe\r\n";
    file += std::string(300, 'q') + "\n\r\n" + "c:\\x\\7.exe\r\n";  // after the empty line
    ASSERT_TRUE(list.AdoptFile(std::string(file)));
    std::string expectedTail;
    ParseKnown(file, model, expectedTail);
    EXPECT_EQ(list.Tail(), expectedTail);
    check("file adopted");
    for (const char* entry : {"a", "A", "a", "a ", "C:\\x\\7.exe"}) {
        list.push_back(entry);
        model.push_back(entry);
    }
    check("pushed");
    list.push_back(list[2]);  // an entry of the file's bytes
    model.push_back(model[2]);
    list.push_back(list[list.size() - 3]);  // one of its own added bytes
    model.push_back(model[model.size() - 3]);
    check("own entries pushed");
    std::string expected;
    for (const std::string& entry : model) expected += entry + "\r\n";
    expected += "\r\n" + expectedTail;
    std::string written;
    KnownList::Writer write(list);
    char piece[7];  // shorter than most entries, and than the tail
    for (size_t got; (got = write(piece, sizeof piece)) != 0;) written.append(piece, got);
    EXPECT_EQ(written, expected);
    KnownList fresh;
    EXPECT_FALSE(fresh.AdoptFile("A\r\nb\r\nc\r\n", 2));  // more entries than allowed
    EXPECT_TRUE(fresh.empty());
    EXPECT_TRUE(fresh.AdoptFile("A\r\nb\r\n\r\n\r\n\r\n", 2));  // empty lines after are no entries
    EXPECT_EQ(fresh.Find("b"), 1u);
    fresh.swap(list);
    model = {"A", "b"};
    check("swapped");
    list = StringList{"z", ""};
    model = {"z", ""};
    check("assigned");
    list.clear();
    model.clear();
    check("cleared");
}

TEST_F(ListOnDisk, FileTooLargeIsNotReadNotReplacedToldOnceAndReadOnceItChanges) {
    LoadOldAndAddX();
    ASSERT_EQ(list.SaveKnown(), SaveResult::kSaved);
    // Grown past the bound, sparse: what a runaway writer or a damaged disk leaves.
    ASSERT_EQ(truncate(kKnownFileName, static_cast<off_t>(kKnownMaxBytes) + 1), 0);
    files.reads = 0;
    for (int tick = 0; tick < 20; ++tick) EXPECT_FALSE(list.RefreshKnown());
    EXPECT_EQ(files.reads, 0);
    EXPECT_EQ(list.m_known, (StringList{"A", "B", "X"}));  // the list in memory stays
    EXPECT_EQ(list.TakeUntoldFailure(), SaveResult::kTooLarge);
    list.m_known.push_back("Y");
    EXPECT_EQ(list.SaveKnown(), SaveResult::kTooLarge);
    EXPECT_EQ(list.TakeUntoldFailure(), SaveResult::kSaved);  // said once
    EXPECT_EQ(files.reads, 0);
    EXPECT_EQ(dir.Read(kKnownFileName).size(), kKnownMaxBytes + 1);
    EXPECT_TRUE(list.IsKnown("Y"));

    // Written anew by hand: read once it holds still, and the addition waiting is saved.
    dir.Write(kKnownFileName, "C\r\n");
    for (int tick = 0; tick < 4; ++tick) list.RefreshKnown();
    EXPECT_EQ(list.m_known, (StringList{"C", "Y"}));
    EXPECT_FALSE(list.HasUnsaved());
    EXPECT_EQ(dir.Read(kKnownFileName), "C\r\nY\r\n");
}

TEST_F(ListOnDisk, LinesWrittenWhileASaveWritesAreMergedBeforeItsFileTakesThePlace) {
    LoadOldAndAddX();
    files.whileWriting = [&] { dir.Write(kKnownFileName, "A\r\nB\r\nby hand, meanwhile\r\n"); };
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nby hand, meanwhile\r\nX\r\n");
    EXPECT_FALSE(list.HasUnsaved());
}

// Each save writes a file of a name of its own first: a folder where older
// versions wrote theirs no longer stands in the way.
TEST_F(ListOnDisk, FolderNamedLikeTheOldTemporaryFileDoesNotStandInTheWay) {
    dir.MakeDirectory(kKnownTempName);
    LoadOldAndAddX();
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\n\r\ntail");
    EXPECT_FALSE(list.HasUnsaved());
}

}  // namespace

// Other writers of the file while a save runs: another run saving at once
// (two users who started Vardion from one folder), an editor that holds the
// file open while it writes, and one that never stops writing.
TEST_F(ListOnDisk, AnotherRunSavingBetweenTheCheckAndTheReplaceLosesNoLine) {
    LoadOldAndAddX();
    TrustedList other{HostFileSystem()};
    other.LoadKnown();
    other.m_known.push_back("Y");
    SaveResult othersFirst = SaveResult::kSaved;
    files.beforeReplace = [&] { othersFirst = other.SaveKnown(); };
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_NE(othersFirst, SaveResult::kSaved);  // it found this one's replace under way
    EXPECT_EQ(other.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nX\r\nY\r\n\r\ntail");
    EXPECT_FALSE(list.HasUnsaved());
    EXPECT_FALSE(other.HasUnsaved());
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ListOnDisk, EditorThatWritesWhileItHoldsTheFileLosesNoLine) {
    LoadOldAndAddX();
    files.busyReplaces = 1;
    files.whileBusy = [&] { dir.Write(kKnownFileName, "A\r\nB\r\nby hand\r\n"); };
    EXPECT_EQ(list.SaveKnown(), SaveResult::kSaved);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nby hand\r\nX\r\n");
    EXPECT_FALSE(list.HasUnsaved());
}

TEST_F(ListOnDisk, SaveOfAFileThatKeepsChangingGivesUpAfterThreeTriesAndSavesOnceItHolds) {
    LoadOldAndAddX();
    int writes = 0;
    std::function<void()> writer = [&] {
        dir.Write(kKnownFileName, "A\r\nB\r\nC" + std::to_string(++writes) + "\r\n");
        files.whileWriting = writer;  // and again at the next try
    };
    files.whileWriting = writer;
    EXPECT_EQ(list.SaveKnown(), SaveResult::kUnreadable);
    EXPECT_EQ(writes, 3);
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nC3\r\n");  // the writer's, not replaced
    EXPECT_TRUE(list.HasUnsaved());
    EXPECT_TRUE(Leftovers().empty());
    files.whileWriting = nullptr;
    list.RefreshKnown();  // it holds still now: read, and what waits is saved
    EXPECT_EQ(dir.Read(kKnownFileName), "A\r\nB\r\nC3\r\nX\r\n");
    EXPECT_FALSE(list.HasUnsaved());
}

// On FAT a write time steps by 2 s: a same-size edit within that step leaves
// the stamp as it was, so a file read within it is read once more after it.
TEST_F(ListOnDisk, SameSizeEditWithinTheClocksStepIsReadOnceTheStepHasPassed) {
    constexpr time_t kWritten = 1700000000;
    constexpr uint64_t kSecond = 10000000;
    auto writeAtTheSameTime = [&](const std::string& bytes) {
        dir.Write(kKnownFileName, bytes);
        const struct timespec times[2] = {{kWritten, 0}, {kWritten, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, kKnownFileName, times, 0), 0);
    };
    writeAtTheSameTime("A\r\n");
    files.now = kWritten * kSecond + kSecond;  // read one second after it was written
    list.LoadKnown();
    writeAtTheSameTime("B\r\n");
    files.now = kWritten * kSecond + 2 * kSecond;
    EXPECT_TRUE(list.RefreshKnown());
    EXPECT_EQ(list.m_known, (StringList{"B"}));
    files.reads = 0;
    list.RefreshKnown();
    EXPECT_EQ(files.reads, 0);  // read once more, not on every look
}

// A list the memory cannot hold, past either bound or not, ends nothing.
TEST_F(ListOnDisk, NoMemoryForTheListIsSaidOnceAndTheFileIsReadAgainOnceItChanges) {
    dir.Write(kKnownFileName, old);
    files.noRoom = true;
    list.LoadKnown();
    EXPECT_TRUE(list.Ready());
    EXPECT_TRUE(list.m_known.empty());
    EXPECT_EQ(list.TakeUntoldFailure(), SaveResult::kNoRoom);
    files.reads = 0;
    for (int tick = 0; tick < 5; ++tick) list.RefreshKnown();
    EXPECT_EQ(files.reads, 0);
    files.noRoom = false;
    dir.Write(kKnownFileName, "C\r\n");
    EXPECT_TRUE(list.RefreshKnown());
    EXPECT_EQ(list.m_known, (StringList{"C"}));
}

// A list past either bound is not read, and no save writes one.
TEST(ListBounds, AListPastEitherBoundIsTooLargeAndIsNeverReplaced) {
    struct Case {
        const char* what;
        size_t lines;  // of one letter each
        off_t size;    // the file grown to this, sparse, when not 0
        bool read;
    };
    const Case cases[] = {
        {"entries at the bound", kKnownMaxEntries, 0, true},
        {"one entry more", kKnownMaxEntries + 1, 0, false},
        {"one byte more", 1, static_cast<off_t>(kKnownMaxBytes) + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string lines;
        for (size_t i = 0; i < c.lines; ++i) lines += "a\n";
        dir.Write(kKnownFileName, lines);
        if (c.size) {
            ASSERT_EQ(truncate(kKnownFileName, c.size), 0);
        }
        TrustedList list{HostFileSystem()};
        list.LoadKnown();
        EXPECT_EQ(list.m_known.size(), c.read ? c.lines : 0);
        EXPECT_EQ(list.TakeUntoldFailure(), c.read ? SaveResult::kSaved : SaveResult::kTooLarge);
        list.m_known.push_back("X");
        EXPECT_EQ(list.SaveKnown(), SaveResult::kTooLarge);
        EXPECT_EQ(dir.Read(kKnownFileName).size(),
                  c.size ? static_cast<size_t>(c.size) : lines.size());
    }
}
