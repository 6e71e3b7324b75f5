#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace fraglane::platform {
namespace {

using test::TempDir;

class ProfileFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Path() const { return dir.Program() + "fraglane.ini"; }
    void Put(std::string_view bytes) const { dir.Write("fraglane.ini", bytes); }
    std::string Bytes() const { return dir.Read("fraglane.ini"); }
};

TEST_F(ProfileFileTest, MatchesSectionsAndKeysWithoutRegardToCase) {
    Put("[Game_Options]\r\nTimeLimit = 20 \r\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadInteger("game_options", "timelimit", 15), 20);
    EXPECT_EQ(f.ReadString("GAME_OPTIONS", "TIMELIMIT", ""), "20");
}

TEST_F(ProfileFileTest, DropsBlanksAndOnePairOfQuotes) {
    Put("[s]\na=  \"quoted value\"  \nb='x'\nc=\"\"inner\"\"\nd=\"open\ne=\t tab \t\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadString("s", "a", ""), "quoted value");
    EXPECT_EQ(f.ReadString("s", "b", ""), "x");
    EXPECT_EQ(f.ReadString("s", "c", ""), "\"inner\"");
    EXPECT_EQ(f.ReadString("s", "d", ""), "\"open");
    EXPECT_EQ(f.ReadString("s", "e", ""), "tab");
    EXPECT_EQ(f.ReadString("s", "missing", "def"), "def");
    EXPECT_EQ(f.ReadString("nosection", "a", "def"), "def");
}

TEST_F(ProfileFileTest, AValueInQuotesOfItsOwnReadsBackWhole) {
    ProfileFile f(Path());
    for (const char* value : {"\"/a b/eng\" +set x \"y z\"", "'x'", "\"\"", "\"open"}) {
        f.WriteString("s", "v", value);
        EXPECT_EQ(ProfileFile(Path()).ReadString("s", "v", ""), value);
    }
}

TEST_F(ProfileFileTest, ReadsAtMost2047Characters) {
    Put("[s]\nlong=" + std::string(5000, 'x') + "\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadString("s", "long", "").size(), 2047u);
}

TEST_F(ProfileFileTest, ReadsIntegersAsTheProfileFunctionsDo) {
    Put("[s]\ndec=-12\nhex=0x1E\nHEX=0XfF\nshort=0x\nabc=abc\nempty=\nmixed=12abc\nbadhex=0xZZ\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadInteger("s", "dec", 0), -12);
    EXPECT_EQ(f.ReadInteger("s", "hex", 0), 30);
    EXPECT_EQ(ParseProfileInteger("0XfF", 0), 255);
    EXPECT_EQ(f.ReadInteger("s", "short", 7), 7);
    EXPECT_EQ(f.ReadInteger("s", "abc", 15), 15);
    EXPECT_EQ(f.ReadInteger("s", "empty", 15), 15);
    EXPECT_EQ(f.ReadInteger("s", "mixed", 15), 15);
    EXPECT_EQ(f.ReadInteger("s", "badhex", 15), 15);
    EXPECT_EQ(ParseProfileInteger("0x000000001E", 0), 30);
    EXPECT_EQ(ParseProfileInteger("0x1000000000", 7), 7);
}

TEST_F(ProfileFileTest, ValueEndsAtItsFirstNul) {
    Put(std::string("[mods]\nselected=ev\0il\n", 23));
    EXPECT_EQ(ProfileFile(Path()).ReadString("mods", "selected", ""), "ev");
}

TEST_F(ProfileFileTest, ReadsEveryLineEndStyleAlike) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        Put(std::string("[a]") + eol + "x=1" + eol + "[b]" + eol + "y=2");
        ProfileFile f(Path());
        EXPECT_EQ(f.ReadInteger("a", "x", 0), 1) << static_cast<int>(eol[0]);
        EXPECT_EQ(f.ReadInteger("b", "y", 0), 2);
    }
}

TEST_F(ProfileFileTest, DamagedFilesReadWithoutCrashing) {
    Put("\xEF\xBB\xBF[s]\nk=1\n[broken\nz=2\n\x1A\n" + std::string(100000, '[') + "\n=\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadInteger("s", "k", 0), 1);
    EXPECT_EQ(f.ReadInteger("broken", "z", 0), 2);
    EXPECT_EQ(f.ReadString("s", "", "d"), "d");
}

TEST_F(ProfileFileTest, WriteChangesOneKeyAndKeepsEveryOtherByte) {
    const std::string before =
        "; comment\n[first]\nkeep = 1\n\nodd line\n[second]\nKey=old\n  other=2\n\n[third]\nz=3";
    Put(before);
    ProfileFile f(Path());
    f.WriteString("SECOND", "key", "new");
    EXPECT_EQ(
        Bytes(),
        "; comment\n[first]\nkeep = 1\n\nodd line\n[second]\nKey=new\n  other=2\n\n[third]\nz=3");
    f.WriteString("second", "added", "v");
    EXPECT_EQ(Bytes(),
              "; comment\n[first]\nkeep = 1\n\nodd line\n[second]\nKey=new\n  other=2\n"
              "added=v\n\n[third]\nz=3");
    f.WriteString("fourth", "k", "4");
    EXPECT_EQ(Bytes(),
              "; comment\n[first]\nkeep = 1\n\nodd line\n[second]\nKey=new\n  other=2\n"
              "added=v\n\n[third]\nz=3\n[fourth]\nk=4\n");
}

TEST_F(ProfileFileTest, MissingFileIsCreatedWithCrLfAndNoByteOrderMark) {
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadString("s", "k", "d"), "d");
    EXPECT_FALSE(dir.Exists("fraglane.ini"));  // reading creates nothing
    f.WriteInteger("s", "k", -3);
    f.WriteString("t", "u", "v");
    EXPECT_EQ(Bytes(), "[s]\r\nk=-3\r\n[t]\r\nu=v\r\n");
}

TEST_F(ProfileFileTest, SeesChangesMadeByOthersBetweenCalls) {
    Put("[s]\nk=1\n");
    ProfileFile f(Path());
    EXPECT_EQ(f.ReadInteger("s", "k", 0), 1);
    Put("[s]\nk=22\n");  // another size: the parsed copy is not trusted any more
    EXPECT_EQ(f.ReadInteger("s", "k", 0), 22);
    ProfileFile other(Path());
    other.WriteInteger("s", "j", 5);
    f.WriteInteger("s", "k", 3);
    EXPECT_EQ(Bytes(), "[s]\nk=3\nj=5\n");
}

TEST_F(ProfileFileTest, UpdateCommitsAllWritesAsOneReplacement) {
    Put("[s]\nk=1\n");
    ProfileFile f(Path());
    {
        ProfileFile::Update update(f);
        f.WriteInteger("s", "k", 2);
        f.WriteInteger("s", "j", 3);
        EXPECT_EQ(Bytes(), "[s]\nk=1\n");  // nothing on disk yet
        EXPECT_EQ(f.ReadInteger("s", "j", 0), 3);
        update.Commit();
    }
    EXPECT_EQ(Bytes(), "[s]\nk=2\nj=3\n");
    {
        ProfileFile::Update update(f);
        f.WriteInteger("s", "k", 9);
        // left without Commit: an operation that failed half way writes nothing
    }
    EXPECT_EQ(Bytes(), "[s]\nk=2\nj=3\n");
    EXPECT_EQ(f.ReadInteger("s", "k", 0), 2);
}

// Writes of two objects (two windows, a window and the CLI) interleaved: what the other wrote
// while an update was gathering its writes is kept, and the update's writes win where both
// wrote the same key.
TEST_F(ProfileFileTest, UpdateCommitsOnTopOfWhatAnotherWroteMeanwhile) {
    Put("[s]\nk=1\n");
    ProfileFile f(Path());
    ProfileFile other(Path());
    {
        ProfileFile::Update update(f);
        f.WriteInteger("s", "k", 2);
        f.WriteInteger("t", "new", 3);
        other.WriteInteger("s", "j", 5);
        other.WriteInteger("s", "k", 9);
        update.Commit();
    }
    EXPECT_EQ(Bytes(), "[s]\nk=2\nj=5\n[t]\nnew=3\n");
    EXPECT_EQ(f.ReadInteger("s", "j", 0), 5);
}

TEST_F(ProfileFileTest, FailedWriteRaisesUnableToWriteAndKeepsTheFile) {
    // A path whose directory is a file: no user, root included, can write there.
    dir.Write("notadir", "plain");
    ProfileFile f(dir.Program() + "notadir\\fraglane.ini");
    try {
        f.WriteString("s", "k", "v");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.Path("notadir/fraglane.ini"));
    }
    EXPECT_EQ(dir.Read("notadir"), "plain");

    // A read-only settings file refuses the write as Windows does, and stays as it was.
    Put("[s]\nk=1\n");
    ::chmod(dir.Path("fraglane.ini").c_str(), 0444);
    ProfileFile ro(Path());
    EXPECT_THROW(ro.WriteString("s", "k", "2"), Error);
    EXPECT_EQ(Bytes(), "[s]\nk=1\n");
    EXPECT_EQ(ro.ReadInteger("s", "k", 0), 1);
}

TEST_F(ProfileFileTest, ReplacementLeavesNoTemporaryFileBehind) {
    ProfileFile f(Path());
    for (int i = 0; i < 20; ++i)
        f.WriteInteger("s", "k" + std::to_string(i), i);
    EXPECT_EQ(dir.Listing(), ".fraglane.ini.lock\nfraglane.ini\n");  // the lock file stays
}

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
TEST_F(ProfileFileTest, WriteRemovesTemporariesThatAKilledWriteLeftBehind) {
    Put("[s]\nk=1\n");
    dir.Write(".fraglane.ini.fraglane-Ab12Cd", "[s]\nk=half written");
    dir.Write(".fraglane.ini.fraglane-Xy34Zw", "another process writing just now");
    // The operator's own files named alike stay.
    dir.Write(".fraglane.ini.backup", "mine");
    dir.Write(".fraglane.ini.fraglane-2.save", "mine");
    const timespec old[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    for (const char* name :
         {".fraglane.ini.fraglane-Ab12Cd", ".fraglane.ini.backup", ".fraglane.ini.fraglane-2.save"})
        ::utimensat(AT_FDCWD, dir.Path(name).c_str(), old, 0);
    ProfileFile(Path()).WriteString("s", "k", "2");
    EXPECT_EQ(dir.Listing(),
              ".fraglane.ini.backup\n.fraglane.ini.fraglane-2.save\n"
              ".fraglane.ini.fraglane-Xy34Zw\n.fraglane.ini.lock\nfraglane.ini\n");
}
#endif

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
TEST_F(ProfileFileTest, WriteThroughALinkReplacesItsTarget) {
    dir.Write("real/settings.ini", "[s]\nk=1\n");
    ASSERT_EQ(::symlink("real/settings.ini", dir.Path("fraglane.ini").c_str()), 0);
    ProfileFile(Path()).WriteString("s", "k", "2");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.Path("fraglane.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.Read("real/settings.ini"), "[s]\nk=2\n");
}
#endif

TEST_F(ProfileFileTest, ValuesCannotBreakTheLineStructure) {
    ProfileFile f(Path());
    f.WriteString("s", "k", "a\r\n[evil]\r\nx=1");
    EXPECT_EQ(f.ReadString("evil", "x", "none"), "none");
    EXPECT_EQ(ProfileFile(Path()).ReadString("s", "k", ""), "a  [evil]  x=1");
}

}  // namespace
}  // namespace fraglane::platform

namespace fraglane::platform {
namespace {

// A section's first lookups read its lines and later ones its index: both, and the one pass of
// ForEachValue, give the first of duplicate keys, keys added before and after the index, and
// nothing of a second section of the same name.
TEST(ProfileText, LookupsAnswerAlikeBeforeAndAfterTheSectionIsIndexed) {
    std::string text = "[s]\r\n";
    for (int i = 0; i < 40; ++i)
        text += " k" + std::to_string(i) + " = v" + std::to_string(i) + "\r\n";
    text += "K3=duplicate\r\n; a comment\r\n[S]\r\nk1=second section\r\n";
    ProfileText t;
    t.Parse(text);
    t.SetValue("s", "early", "e");
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(t.Value("S", "K" + std::to_string(i)), "v" + std::to_string(i)) << i;
        EXPECT_EQ(t.Value("s", "early"), "e");
        EXPECT_EQ(t.Value("s", "missing"), std::nullopt);
    }
    t.SetValue("s", "late", "l");
    t.SetValue("s", "k5", "changed");
    EXPECT_EQ(t.Value("s", "LATE"), "l");
    EXPECT_EQ(t.Value("s", "k5"), "changed");
    std::vector<std::string> seen;
    t.ForEachValue("s", [&](std::string_view key, std::string value) {
        seen.push_back(std::string(key) + "=" + value);
    });
    ASSERT_EQ(seen.size(), 43u);
    EXPECT_EQ(seen[5], "k5=changed");
    EXPECT_EQ(seen[40], "K3=duplicate");
    EXPECT_EQ(seen[41], "early=e");
    EXPECT_EQ(seen[42], "late=l");
}

}  // namespace
}  // namespace fraglane::platform
