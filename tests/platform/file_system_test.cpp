#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace fraglane::platform {
namespace {

using test::TempDir;

#ifndef _WIN32  // the case resolution of POSIX systems
TEST(FileSystem, FindsExistingComponentsWithoutRegardToCase) {
    TempDir dir;
    dir.Write("baseq3/levelshots/q3dm17.tga", "x");
    const std::string program = dir.Program() + "Baseq3\\Levelshots\\Q3DM17.TGA";
    EXPECT_EQ(ToNative(program), dir.Path("baseq3/levelshots/q3dm17.tga"));
    EXPECT_TRUE(FileExists(program));
    EXPECT_FALSE(DirectoryExists(program));
    EXPECT_TRUE(DirectoryExists(dir.Program() + "BASEQ3\\"));
}

TEST(FileSystem, NewComponentsKeepTheirCase) {
    TempDir dir;
    dir.MakeDir("baseq3");
    EXPECT_EQ(ToNative(dir.Program() + "BaseQ3\\New\\File.CFG"), dir.Path("baseq3/New/File.CFG"));
}

TEST(FileSystem, ExactMatchWinsOverAFoldedOne) {
    TempDir dir;
    dir.Write("Maps/a", "upper");
    dir.Write("maps/a", "lower");
    EXPECT_EQ(ReadFileBytes(dir.Program() + "maps\\a"), "lower");
    EXPECT_EQ(ReadFileBytes(dir.Program() + "Maps\\a"), "upper");
}
#endif

TEST(FileSystem, ForceDirectoriesMakesEveryMissingParent) {
    TempDir dir;
    ForceDirectories(dir.Program() + "a\\b\\c\\");
    EXPECT_TRUE(DirectoryExists(dir.Program() + "a\\b\\c"));
    // Existing directories are left as they are, content included.
    dir.Write("a/keep.txt", "k");
    ForceDirectories(dir.Program() + "a\\b");
    EXPECT_EQ(dir.Read("a/keep.txt"), "k");
    // Bare drives, empty text and failures report nothing.
    ForceDirectories("");
    ForceDirectories("C:\\");
    ForceDirectories("C:");
    dir.Write("file", "");
    ForceDirectories(dir.Program() + "file\\sub\\");
    EXPECT_FALSE(DirectoryExists(dir.Program() + "file\\sub"));
}

TEST(FileSystem, PathTextHelpers) {
    EXPECT_EQ(ExtractFilePath("\\g\\fraglane"), "\\g\\");
    EXPECT_EQ(ExtractFileName("\\g\\fraglane"), "fraglane");
    EXPECT_EQ(ChangeFileExt("\\g\\fraglane", ".ini"), "\\g\\fraglane.ini");
    EXPECT_EQ(ChangeFileExt("\\g\\Fraglane.exe", ".ini"), "\\g\\Fraglane.ini");
    EXPECT_EQ(ChangeFileExt("\\g.d\\fraglane", ".ini"), "\\g.d\\fraglane.ini");
    EXPECT_EQ(IncludeTrailingBackslash("\\g"), "\\g\\");
    EXPECT_EQ(IncludeTrailingBackslash("\\g\\"), "\\g\\");
}

TEST(FileSystem, WriteRaisesCannotCreateFileWithThePath) {
    TempDir dir;
    const std::string target = dir.Program() + "missing\\server.cfg";
    try {
        WriteFileBytes(target, "x");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.Path("missing/server.cfg"));
    }
    dir.MakeDir("adir");
    EXPECT_THROW(WriteFileBytes(dir.Program() + "adir", "x"), Error);
    dir.Write("ro.bat", "kept");
    ::chmod(dir.Path("ro.bat").c_str(), 0444);
    EXPECT_THROW(WriteFileBytes(dir.Program() + "ro.bat", "x"), Error);
    EXPECT_EQ(dir.Read("ro.bat"), "kept");
}

TEST(FileSystem, ListsEveryEntryKindButDotEntries) {
    TempDir dir;
    dir.Write(".hidden", "");
    dir.Write("File.PK3", "");
    dir.MakeDir("Sub");
    auto entries = ListDirectory(dir.Program());
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, ".hidden");
    EXPECT_EQ(entries[1].name, "File.PK3");
    EXPECT_TRUE(entries[2].isDirectory);
    EXPECT_TRUE(ListDirectory(dir.Program() + "nothing\\").empty());
}

}  // namespace
}  // namespace fraglane::platform

#ifndef _WIN32  // the case resolution of POSIX systems
namespace fraglane::platform {
namespace {

void Age(const std::string& native, int seconds) {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, native.c_str(), times, 0);
}

TEST(FileSystem, FoldedLookupsFollowChangesOfASettledDirectory) {
    test::TempDir dir;
    dir.Write("shots/Q3DM17.TGA", "old");
    Age(dir.Path("shots"), 60);
    const std::string shots = dir.Program() + "shots\\";
    EXPECT_TRUE(FileExists(shots + "q3dm17.tga"));  // reads and keeps the index
    EXPECT_FALSE(FileExists(shots + "q3dm1.tga"));  // answered from it
    dir.Write("shots/Q3DM1.TGA", "new");            // the directory changes
    EXPECT_TRUE(FileExists(shots + "q3dm1.tga"));
    EXPECT_EQ(ReadFileBytes(shots + "Q3dm1.tga"), "new");
    // Within a tick of a change: a file made right after a lookup is still found.
    EXPECT_FALSE(FileExists(shots + "fresh.tga"));
    dir.Write("shots/FRESH.TGA", "f");
    EXPECT_TRUE(FileExists(shots + "fresh.tga"));
}

// Below a confined folder nothing is created or written through a link, at any depth: links
// kept there (dot entries survive the staging folder's clearing) lead outside, to a folder, a
// file, or nowhere. Each write is refused; the outside stays as it was.
TEST(FileSystem, NothingIsWrittenThroughALinkBelowAConfinedFolder) {
    test::TempDir dir;
    dir.Write("outside/victim.tga", "victim");
    dir.MakeDir("temp/textures");
    dir.MakeDir("levelshots");
    const auto link = [&](const char* target, const char* at) {
        ASSERT_EQ(::symlink(dir.Path(target).c_str(), dir.Path(at).c_str()), 0) << at;
    };
    link("outside", "temp/textures/.x");
    link("outside/victim.tga", "temp/textures/.victim.tga");
    link("outside/evil.pk3", "temp/.evil.pk3");
    link("outside", "levelshots/x:");
    ConfineWrites(dir.Program() + "temp");
    ConfineWrites(dir.Program() + "levelshots\\");
    for (const char* path :
         {"temp\\textures\\.x\\a.tga", "temp\\textures\\.victim.tga", "temp\\.evil.pk3",
          "levelshots\\x:y.tga", "temp\\textures\\.x\\s\\b"}) {
        SCOPED_TRACE(path);
        EXPECT_THROW(File::CreateExact(dir.Program() + path), Error);
        if (std::string_view(path).find(':') == std::string_view::npos) {
            EXPECT_THROW(File::Create(dir.Program() + path), Error);
            EXPECT_THROW(WriteFileBytes(dir.Program() + path, "x"), Error);
        }
    }
    EXPECT_FALSE(CreateDir(dir.Program() + "temp\\textures\\.x\\new"));
    dir.Write("outside/foo.jpg", "kept");
    EXPECT_FALSE(RemoveFile(dir.Program() + "temp\\textures\\.x\\foo.jpg"));
    EXPECT_EQ(dir.Read("outside/foo.jpg"), "kept");
    std::remove(dir.Path("outside/foo.jpg").c_str());
    // A hard link planted below is replaced, not written into; a read-only one is removed
    // without its attributes changing.
    dir.Write("outside/hard.txt", "hard");
    ASSERT_EQ(::link(dir.Path("outside/hard.txt").c_str(), dir.Path("temp/.h.bsp").c_str()), 0);
    WriteFileBytes(dir.Program() + "temp\\.h.bsp", "mine");
    EXPECT_EQ(dir.Read("outside/hard.txt"), "hard");
    EXPECT_EQ(dir.Read("temp/.h.bsp"), "mine");
    ::chmod(dir.Path("outside/hard.txt").c_str(), 0444);
    ASSERT_EQ(::link(dir.Path("outside/hard.txt").c_str(), dir.Path("temp/plain").c_str()), 0);
    EXPECT_TRUE(RemoveFile(dir.Program() + "temp\\plain"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.Path("outside/hard.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    // A confined folder that is itself a link takes nothing.
    ASSERT_EQ(::symlink(dir.Path("outside").c_str(), dir.Path("shots").c_str()), 0);
    ConfineWrites(dir.Program() + "shots");
    EXPECT_THROW(File::CreateExact(dir.Program() + "shots\\a.tga"), Error);
    ForceDirectories(dir.Program() + "temp\\textures\\.x\\deep\\er");
    EXPECT_EQ(dir.Read("outside/victim.tga"), "victim");
    size_t outside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("outside")))
        outside += entry.path().filename() == "victim.tga" || entry.path().filename() == "hard.txt"
                       ? size_t{1}
                       : size_t{100};
    EXPECT_EQ(outside, 2u);
    // Plain folders below are written as ever.
    ForceDirectories(dir.Program() + "temp\\textures\\e1");
    WriteFileBytes(dir.Program() + "temp\\textures\\e1\\ok.tga", "ok");
    EXPECT_EQ(dir.Read("temp/textures/e1/ok.tga"), "ok");
}

TEST(FileSystem, AmongNamesFoldedAlikeTheSmallestIsTaken) {
    test::TempDir dir;
    dir.Write("d/MAP.bsp", "upper");
    dir.Write("d/Map.bsp", "mixed");
    EXPECT_EQ(ReadFileBytes(dir.Program() + "d\\map.BSP"), "upper");
}

}  // namespace
}  // namespace fraglane::platform
#endif
