// Faults around the files the program writes: a writer killed part-way, a full disk, a
// read-only game directory, a picture cache that is a file. Each gives a clear message and
// loses nothing that was there before.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "archive/archive_work.h"
#include "catalogue/catalogue.h"
#include "cli/cli.h"
#include "launch/launch_files.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "settings/settings.h"
#include "support/archives.h"
#include "support/run.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

namespace fraglane {
namespace {

using test::Quote;
using test::RunCommand;

// The writes of the window and the scan, one after another: settings A, catalogue X,
// settings B, catalogue Y.
void WriteInTurn(const std::string& path, int writes, const std::function<void()>& after) {
    settings::Settings a = settings::DefaultSettings();
    settings::Settings b = a;
    b.options.timelimit = 25;
    b.options.rotation = {"q3dm1", "q3dm17", "q3tourney2"};
    std::vector<catalogue::CatalogueRow> x, y;
    for (int i = 0; i < 3000; ++i) {
        x.push_back({"baseq3", "x" + std::to_string(i)});
        y.push_back({"mod", "y" + std::to_string(i)});
    }
    platform::ProfileFile file(path);
    for (int i = 0; i < writes; ++i) {
        switch (i % 4) {
            case 0:
                settings::SaveSettings(file, a);
                break;
            case 1:
                catalogue::WriteCatalogue(file, x, {});
                break;
            case 2:
                settings::SaveSettings(file, b);
                break;
            case 3:
                catalogue::WriteCatalogue(file, y, x);
                break;
        }
        after();
    }
}

TEST(Faults, WriterKilledAtAnyMomentLeavesTheOldOrTheNewWholeFile) {
    test::TempDir dir;
    const std::string path = dir.Program() + "fraglane.ini";
    const std::string start = "[notes]\r\nkept=yes\r\n";
    // Every whole state the writes pass through; after two rounds they repeat.
    std::set<std::string> whole{start};
    dir.Write("fraglane.ini", start);
    WriteInTurn(path, 8, [&] { whole.insert(dir.Read("fraglane.ini")); });

    std::mt19937 random(20261208);
    std::set<std::string> seen;
    constexpr int Kills = 300;
    for (int i = 0; i < Kills; ++i) {
        dir.Write("fraglane.ini", start);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            WriteInTurn(path, 1 << 30, [] {});
            ::_exit(0);
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 40000)(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string now = dir.Read("fraglane.ini");
        ASSERT_TRUE(whole.count(now)) << "kill " << i << " left " << now.size() << " bytes";
        seen.insert(now);
    }
    std::cout << Kills << " kills, " << seen.size() << " of " << whole.size()
              << " whole states seen\n";
    EXPECT_GE(seen.size(), 3u);  // the kills landed across the writes
}

// An archive under its final name is always a finished one: a pack killed at any moment
// leaves no file of that name, or the whole archive.
TEST(Faults, PackKilledAtAnyMomentLeavesNoArchiveOrTheWholeOne) {
    test::TempDir dir;
    std::mt19937 random(20261208);
    for (int i = 0; i < 400; ++i) {
        std::string data(std::uniform_int_distribution<size_t>(0, 20000)(random), 'x');
        for (char& c : data)
            c = static_cast<char>('a' + random() % 8);
        dir.Write("stage/textures/t" + std::to_string(i) + ".tga", data);
    }
    archive::Pk3Archive zip;
    const auto begin = std::chrono::steady_clock::now();
    archive::PackFolder(zip, dir.Program() + "stage", dir.Program() + "whole.pk3");
    const auto packing = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begin);
    const std::string whole = dir.Read("whole.pk3");
    // Kills spread over the whole pack and a little after it.
    std::uniform_int_distribution<useconds_t> delay(
        0, static_cast<useconds_t>(packing.count()) * 3 / 2);
    int finished = 0;
    constexpr int Kills = 60;
    for (int i = 0; i < Kills; ++i) {
        std::remove(dir.Path("out.pk3").c_str());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            archive::Pk3Archive own;
            archive::PackFolder(own, dir.Program() + "stage", dir.Program() + "out.pk3");
            ::_exit(0);
        }
        ::usleep(delay(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (dir.Exists("out.pk3")) {
            ASSERT_EQ(dir.Read("out.pk3"), whole) << "kill " << i;
            ++finished;
        }
    }
    std::cout << Kills << " kills, " << finished << " after the archive was finished\n";
    EXPECT_LT(finished, Kills);  // the kills landed during the writes too
}

std::string LastLine(const std::string& output) {
    const size_t end = output.find_last_not_of('\n');
    const size_t start = output.rfind('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// What may be planted where the program writes: a pipe, a device or a link at the pack's
// target; a pipe, a link or a hard link at the batch or the cfg name; a link at a folder on
// the way to a cfg; a typed batch name that leaves the game directory. Nothing outside the
// game directory changes. A link or a hard link at a saved name is replaced by the file; the
// rest is refused with the name and stays as it was.
TEST(Faults, NothingPlantedAtAnOutputNameLeadsAWriteOutside) {
    enum class Planted { Pipe, Device, Link, HardLink, FolderLink, Nothing };
    struct Row {
        const char* what;
        Planted planted;
        const char* at;                    // below the game directory
        std::vector<std::string> command;  // after --dir; empty: the typed batch name
        const char* cfgName;
        int status;
        const char* message;  // the last line printed; "%" stands for the game directory
    };
    const char* const bat = "runmap_q3dm17_ffa.bat";
    const std::string pack = "pk3 pack";
    const Row rows[] = {
        {"pipe at the pack target",
         Planted::Pipe,
         "out.pk3",
         {pack},
         "server.cfg",
         1,
         "Cannot create file %out.pk3: not a regular file"},
        {"device at the pack target",
         Planted::Device,
         "out.pk3",
         {pack},
         "server.cfg",
         1,
         "Cannot create file %out.pk3: not a regular file"},
        {"link at the pack target",
         Planted::Link,
         "out.pk3",
         {pack},
         "server.cfg",
         1,
         "Cannot create file %out.pk3: not a regular file"},
        {"pipe at the batch",
         Planted::Pipe,
         bat,
         {"save-bat"},
         "server.cfg",
         1,
         "Cannot create file %runmap_q3dm17_ffa.bat"},
        {"link at the batch",
         Planted::Link,
         bat,
         {"save-bat"},
         "server.cfg",
         0,
         "%runmap_q3dm17_ffa.bat"},
        {"hard link at the batch",
         Planted::HardLink,
         bat,
         {"save-bat"},
         "server.cfg",
         0,
         "%runmap_q3dm17_ffa.bat"},
        {"pipe at the cfg",
         Planted::Pipe,
         "baseq3/server.cfg",
         {"save-cfg"},
         "server.cfg",
         1,
         "Cannot create file %baseq3/server.cfg"},
        {"link at the cfg",
         Planted::Link,
         "baseq3/server.cfg",
         {"save-cfg"},
         "server.cfg",
         0,
         "%baseq3/server.cfg"},
        {"hard link at the cfg",
         Planted::HardLink,
         "baseq3/server.cfg",
         {"save-cfg"},
         "server.cfg",
         0,
         "%baseq3/server.cfg"},
        {"link at the cfg's folder",
         Planted::FolderLink,
         "baseq3/cfgs",
         {"save-cfg"},
         "cfgs\\a.cfg",
         1,
         "Cannot create file %baseq3/cfgs/a.cfg"},
        {"typed batch name",
         Planted::Nothing,
         "",
         {},
         "server.cfg",
         1,
         "Cannot create file %../outside/typed.bat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempDir outer;
        const std::string game = outer.Path("game/");
        const std::string at = outer.Path("game/") + row.at;
        outer.Write("game/quake3.exe", "");
        outer.MakeDir("game/baseq3");
        outer.Write("game/fraglane.ini",
                    "[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[maps]\nselected=q3dm17\n"
                    "[exec]\ncfgname=" +
                        std::string(row.cfgName) + "\n");
        outer.Write("stage/a.txt", "a");
        outer.Write("outside/victim", "kept");
        switch (row.planted) {
            case Planted::Pipe:
                ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0);
                break;
            case Planted::Device:
                if (::mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                    std::cout << "no device made here: row skipped\n";
                    continue;
                }
                break;
            case Planted::Link:
                ASSERT_EQ(::symlink(outer.Path("outside/victim").c_str(), at.c_str()), 0);
                break;
            case Planted::HardLink:
                ASSERT_EQ(::link(outer.Path("outside/victim").c_str(), at.c_str()), 0);
                break;
            case Planted::FolderLink:
                ASSERT_EQ(::symlink(outer.Path("outside").c_str(), at.c_str()), 0);
                break;
            case Planted::Nothing:
                break;
        }
        struct stat before {};
        ::lstat(at.c_str(), &before);

        std::ostringstream out, err;
        int status = 1;
        if (row.command.empty()) {
            try {
                launch::SaveBatchFile(platform::FromNative(game), "..\\outside\\typed.bat", "x");
                status = 0;
            } catch (const Error& e) {
                err << e.what() << "\n";
            }
        } else if (row.command[0] == pack) {
            status = cli::RunCli({"pk3", "pack", outer.Path("stage"), at}, out, err);
        } else {
            status = cli::RunCli({"--dir", game, row.command[0]}, out, err);
        }
        std::string message = row.message;
        message.replace(message.find('%'), 1, game);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(LastLine(status == 0 ? out.str() : err.str()), message);

        EXPECT_EQ(outer.Read("outside/victim"), "kept");
        struct stat after {};
        ::lstat(at.c_str(), &after);
        if (status == 0) {
            // The planted name was replaced by a file of its own with the saved bytes.
            EXPECT_TRUE(S_ISREG(after.st_mode));
            EXPECT_EQ(after.st_nlink, 1u);
            EXPECT_NE(after.st_ino, before.st_ino);
            EXPECT_NE(outer.Read(std::string("game/") + row.at), "kept");
        } else {
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_FALSE(outer.Exists(std::string("game/") + row.at + ".part"));
        }
        std::string outside;
        for (const auto& entry : std::filesystem::directory_iterator(outer.Path("outside")))
            outside += entry.path().filename().string() + "\n";
        EXPECT_EQ(outside, "victim\n");
    }
}

// A game directory with a catalogue, a map whose level shot is larger than the file-size
// limit of the tests below, and one whose map file is.
class FaultGame : public ::testing::Test {
protected:
    test::GameDir game;
    std::string catalogue;
    std::string noise = std::string(100 * 1024, '\0');  // big.tga

    FaultGame() {
        std::mt19937 random(7);
        for (char& c : noise)
            c = static_cast<char>(random());
        test::MakeArchive(game, "baseq3\\a.pk3",
                          {{"maps\\big.bsp", "bsp"}, {"levelshots\\big.tga", noise}});
        test::MakeArchive(game, "baseq3\\b.pk3",
                          {{"maps\\small.bsp", noise}, {"levelshots\\small.tga", "small"}});
        game.Write("fraglane.ini",
                   "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=2\r\n"
                   "map0name=big\r\nmap0mod=baseq3\r\nmap1name=small\r\n"
                   "map1mod=baseq3\r\n[bots]\r\ncount=0\r\n");
        game.MakeDir("levelshots");
    }
    test::CommandResult Cli(const std::string& args, const std::string& limits = "") {
        return RunCommand(limits + "exec " + Quote(FRAGLANE_CLI) + " --dir " +
                          Quote(game.Native()) + " " + args);
    }
};

// A full disk, as a file-size limit: the scan stops at the picture it cannot write, removes
// what it wrote of it and keeps the old catalogue; the repack stops and writes no archive.
TEST_F(FaultGame, FullDiskStopsScanAndRepackWithTheMessageAndKeepsWhatWasThere) {
    const std::string before = game.Read("fraglane.ini");
    const auto scan = Cli("scan", "ulimit -f 32; ");
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(LastLine(scan.output), "Unable to write to " + game.Path("levelshots/big.tga"));
    EXPECT_EQ(game.Read("fraglane.ini"), before);
    EXPECT_FALSE(game.Exists("levelshots/big.tga"));

    const auto repack = Cli("repack small", "ulimit -f 32; ");
    EXPECT_EQ(repack.status, 1);
    EXPECT_EQ(LastLine(repack.output), "Unable to write to " + game.Path("temp/maps/small.bsp"));
    EXPECT_FALSE(game.Exists("temp/small.pk3"));
}

// A scan killed while it writes a level shot (here by the file-size limit's signal, at a
// known point of the picture) leaves nothing cut under the picture's name, where every later
// scan would keep it: the next scan writes the picture whole.
TEST_F(FaultGame, ScanKilledInAPictureLeavesNoCutPictureForTheNextScanToKeep) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{32 * 1024, 32 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::ostringstream out, err;
        cli::RunCli({"--dir", game.Native(), "scan"}, out, err);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_FALSE(game.Exists("levelshots/big.tga"));

    std::ostringstream out, err;
    ASSERT_EQ(cli::RunCli({"--dir", game.Native(), "scan"}, out, err), 0) << err.str();
    EXPECT_EQ(game.Read("levelshots/big.tga"), noise);
    std::string pictures;
    for (const auto& entry : std::filesystem::directory_iterator(game.Path("levelshots")))
        pictures += entry.path().filename().string() + "\n";
    EXPECT_EQ(pictures.size(), std::string("big.tga\nsmall.tga\n").size()) << pictures;
}

// Under a user the permissions bind (root's overrides dropped), a read-only game directory
// refuses every write with its message and stays as it was; so does a picture cache that is
// a file.
TEST_F(FaultGame, ReadOnlyGameDirectoryAndAFilePictureCacheRefuseWithTheirMessages) {
    ASSERT_EQ(Cli("scan").status, 0);
    const std::string asUser = ::geteuid() != 0
                                   ? ""
                                   : "setpriv --inh-caps=-dac_override,-fowner,-dac_read_search "
                                     "--bounding-set=-dac_override,-fowner,-dac_read_search ";
    ASSERT_EQ(RunCommand("chmod -R a-w " + Quote(game.Native())).status, 0);
    const auto before = test::Snapshot(game.Native());
    const struct {
        const char* args;
        std::string message;
    } cases[] = {
        {"rescan-mods", "Unable to write to " + game.Path("fraglane.ini")},
        {"scan", "Unable to write to " + game.Path("fraglane.ini")},
        {"repack small", "Cannot create file " + game.Path("temp/small.pk3.part")},
        {"save-bat", "Cannot create file " + game.Path("runmap__ffa.bat")},
    };
    for (const auto& c : cases) {
        const auto r = RunCommand(asUser + Quote(FRAGLANE_CLI) + " --dir " + Quote(game.Native()) +
                                  " " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(LastLine(r.output), c.message) << c.args;
    }
    EXPECT_TRUE(test::Changed(before, test::Snapshot(game.Native())).empty());
    ASSERT_EQ(RunCommand("chmod -R u+w " + Quote(game.Native())).status, 0);

    ASSERT_EQ(RunCommand("rm -r " + Quote(game.Path("levelshots"))).status, 0);
    game.Write("levelshots", "a file");
    const std::string settings = game.Read("fraglane.ini");
    const auto scan = Cli("scan");
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(LastLine(scan.output), "Unable to write to " + game.Path("levelshots/"));
    EXPECT_EQ(game.Read("levelshots"), "a file");
    EXPECT_EQ(game.Read("fraglane.ini"), settings);

    // A folder or a file of a tree to pack that this user may not read fails the pack with
    // its name, instead of being left out of an archive called written.
    game.Write("stage/a.txt", "a");
    game.Write("stage/locked/x.txt", "x");
    game.Write("stage2/secret.txt", "s");
    game.Write("stage3/listed/b.txt", "b");
    ASSERT_EQ(RunCommand("chmod 000 " + Quote(game.Path("stage/locked")) + " " +
                         Quote(game.Path("stage2/secret.txt")) + " && chmod 444 " +
                         Quote(game.Path("stage3/listed")))
                  .status,
              0);
    for (const auto& [stage, message] :
         {std::pair{"stage", "Cannot read folder " + game.Path("stage/locked")},
          std::pair{"stage2", "Cannot process this file: " + game.Path("stage2/secret.txt") + " "},
          std::pair{"stage3",
                    "Cannot process this file: " + game.Path("stage3/listed/b.txt") + " "}}) {
        const auto r = RunCommand(asUser + Quote(FRAGLANE_CLI) + " pk3 pack " +
                                  Quote(game.Path(stage)) + " " + Quote(game.Path("out.pk3")));
        EXPECT_EQ(r.status, 1) << stage;
        EXPECT_EQ(LastLine(r.output), message);
        EXPECT_FALSE(game.Exists("out.pk3") || game.Exists("out.pk3.part"));
    }
    RunCommand("chmod -R u+rwx " + Quote(game.Native()));
}

}  // namespace
}  // namespace fraglane
