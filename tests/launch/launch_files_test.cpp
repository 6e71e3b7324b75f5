#include "launch/launch_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace fraglane::launch {
namespace {

using test::TempDir;

TEST(DirContent, ListsLowerCasedSortedEntriesOfEveryKind) {
    TempDir dir;
    dir.Write("Zeta.PK3", "");
    dir.Write(".hidden.cfg", "");
    dir.Write("alpha.txt", "");
    dir.MakeDir("BaseQ3");
    dir.MakeDir("defrag");
    platform::TDirContent lister;
    lister.SetDirectory(dir.Program());
    EXPECT_TRUE(lister.FileList().empty());  // not active yet: nothing listed
    lister.SetActive(true);
    lister.SetDirectory(dir.Program().substr(0, dir.Program().size() - 1));
    EXPECT_EQ(lister.Directory(), dir.Program());
    EXPECT_EQ(lister.DirList(), (std::vector<std::string>{"baseq3", "defrag"}));
    EXPECT_EQ(lister.FileList(),
              (std::vector<std::string>{".hidden.cfg", "alpha.txt", "zeta.pk3"}));
    EXPECT_TRUE(lister.ContainsFile(".PK3", false));
    EXPECT_FALSE(lister.ContainsFile(".PK3", true));
    EXPECT_TRUE(lister.ContainsFile("ALPHA.TXT", true));
    lister.SetDirectory(dir.Program() + "missing");
    EXPECT_TRUE(lister.FileList().empty());
    EXPECT_TRUE(lister.DirList().empty());
}

TEST(PopupFiles, OffersConfigFilesButQ3ConfigAndBatchFilesByExtension) {
    TempDir dir;
    for (const char* name : {"server.cfg", "Q3Config.cfg", "readme.txt", "run.bat", "DUEL.CFG",
                             "cfg", "a.cfg.bak", "Run_Me.BAT"}) {
        dir.Write(name, "");
    }
    platform::TDirContent lister;
    lister.SetActive(true);
    EXPECT_EQ(PopupFiles(lister, dir.Program(), PopupMode::Config),
              (std::vector<std::string>{"duel.cfg", "server.cfg"}));
    EXPECT_EQ(PopupFiles(lister, dir.Program(), PopupMode::Batch),
              (std::vector<std::string>{"run.bat", "run_me.bat"}));
}

TEST(LaunchFiles, PathsJoinAsText) {
    EXPECT_EQ(ConfigFilePath("\\g\\", "baseq3", "server.cfg"), "\\g\\baseq3\\server.cfg");
    EXPECT_EQ(ConfigFilePath("\\g\\", "", "server.cfg"), "\\g\\\\server.cfg");
    EXPECT_EQ(BatchFilePath("\\g\\", "run.bat"), "\\g\\run.bat");
}

TEST(LaunchFiles, SavedBytesAreExact) {
    TempDir dir;
    dir.Write("run.bat", std::string(1000, 'x'));  // overwritten whole
    SaveBatchFile(dir.Program() + "run.bat", "quake3.exe +map q3dm17 ");
    EXPECT_EQ(dir.Read("run.bat"), "quake3.exe +map q3dm17 ");
    SaveConfigFile(ConfigFilePath(dir.Program(), "", "s.cfg"), {"seta a 1", "seta b \xE9"});
    EXPECT_EQ(dir.Read("s.cfg"), "seta a 1\r\nseta b \xE9\r\n");
}

TEST(LaunchFiles, UncreatableFilesRaiseCannotCreateFile) {
    TempDir dir;
    for (const std::string& path :
         {ConfigFilePath(dir.Program(), "nomod", "server.cfg"),
          ConfigFilePath(dir.Program(), "", ""), BatchFilePath(dir.Program(), "")}) {
        try {
            SaveConfigFile(path, {"x"});
            FAIL() << path;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot create file ", 0), 0u);
        }
    }
}

TEST(LaunchFiles, ShownFileSplitsEveryLineEndAndIsBounded) {
    TempDir dir;
    dir.Write("f", "a\r\nb\nc\rd");
    EXPECT_EQ(LoadShownFile(dir.Program() + "f"), (std::vector<std::string>{"a", "b", "c", "d"}));
    dir.Write("big", std::string(5000, 'y'));
    EXPECT_EQ(LoadShownFile(dir.Program() + "big", 100).front().size(), 100u);
#ifndef _WIN32
    // A pipe under a shown name is refused at once: the window waited on it for a writer.
    ASSERT_EQ(::mkfifo(dir.Path("pipe.cfg").c_str(), 0644), 0);
    EXPECT_THROW(LoadShownFile(dir.Program() + "pipe.cfg"), Error);
#endif
}

}  // namespace
}  // namespace fraglane::launch
