#include "launch/launch_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
    SaveBatchFile(dir.Program(), "run.bat", "quake3.exe +map q3dm17 ");
    EXPECT_EQ(dir.Read("run.bat"), "quake3.exe +map q3dm17 ");
    SaveConfigFile(dir.Program(), "", "s.cfg", {"seta a 1", "seta b \xE9"});
    EXPECT_EQ(dir.Read("s.cfg"), "seta a 1\r\nseta b \xE9\r\n");
    // A cfg name may hold a folder, found in any case.
    dir.MakeDir("Cfgs");
    SaveConfigFile(dir.Program(), "", "cfgs\\duel.cfg", {"x"});
    EXPECT_EQ(dir.Read("Cfgs/duel.cfg"), "x\r\n");
#ifndef _WIN32  // POSIX permission bits
    ::chmod(dir.Path("run.bat").c_str(), 0751);
    SaveBatchFile(dir.Program(), "run.bat", "again");
    struct stat st {};
    ASSERT_EQ(::stat(dir.Path("run.bat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);  // the replaced file's bits stay
    if (::geteuid() == 0) {  // and its owner, where the writer may give it away (root)
        ASSERT_EQ(::chown(dir.Path("run.bat").c_str(), 65534, 65534), 0);
        SaveBatchFile(dir.Program(), "run.bat", "once more");
        ASSERT_EQ(::stat(dir.Path("run.bat").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0751u);
    }
#endif
    EXPECT_EQ(dir.Listing(), "Cfgs\nCfgs/duel.cfg\nrun.bat\ns.cfg\n");  // no temporary left
}

TEST(LaunchFiles, UncreatableFilesRaiseCannotCreateFile) {
    TempDir dir;
    const std::string game = dir.Program();
    const struct {
        std::function<void()> save;
        std::string path;
    } rows[] = {
        {[&] { SaveConfigFile(game, "nomod", "server.cfg", {"x"}); }, "nomod/server.cfg"},
        {[&] { SaveConfigFile(game, "", "", {"x"}); }, "/"},
        {[&] { SaveBatchFile(game, "", "x"); }, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        try {
            row.save();
            FAIL();
        } catch (const Error& e) {
            std::string shown = row.path;  // in the system's own separators
#ifdef _WIN32
            std::replace(shown.begin(), shown.end(), '/', '\\');
#endif
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.Native() + shown);
        }
    }
    EXPECT_EQ(dir.Listing(), "");
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
