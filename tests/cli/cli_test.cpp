#include "cli/cli.h"

#include <signal.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "platform/file_lock.h"
#include "platform/profile_file.h"
#include "platform/text.h"

#include "launch/game_directory.h"
#include "server/engine.h"
#include "support/archives.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::cli {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, RefusesADirectoryWithoutQuake3AndCreatesNothing) {
    test::TempDir dir;
    const Result r = Cli({"--dir", dir.Native(), "compose", "bat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, launch::StartupRefusalText() + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.Listing(), "");
}

TEST(Cli, FreshGameDirectoryComposesTheFirstStartDefaults) {
    test::GameDir dir;
    EXPECT_EQ(Cli({"--dir", dir.Native(), "compose", "bat"}).out,
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +set fs_game  "
              "+exec unknown.cfg +map  ");
    EXPECT_EQ(Cli({"--dir", dir.Native(), "compose", "name"}).out, "runmap___ffa.bat");
    const std::string cfg = Cli({"--dir", dir.Native(), "compose", "cfg"}).out;
    EXPECT_EQ(cfg.rfind("seta g_gametype 0\r\nseta timelimit 15\r\n", 0), 0u);
    EXPECT_EQ(cfg.substr(cfg.size() - 22), "seta g_inactivity 90\r\n");
    EXPECT_EQ(dir.Listing(), "quake3.exe\n");  // reading the settings writes nothing
}

TEST(Cli, ComposesFromAHandEditedSettingsFile) {
    test::GameDir dir;
    dir.Write(
        "other.ini",
        "[mods]\r\nselected=defrag\r\ncount=2\r\nmod0=defrag\r\nmod1=baseq3\r\n"
        "[maps]\r\nselected=st1\r\n[game_options]\r\ng_gametype=1\r\ndedicated=0\r\n"
        "[display]\r\nr_mode=6\r\n[bots]\r\nselectedcount=1\r\nselected0=addbot sarge 4 blue\r\n");
    const std::string ini = dir.Path("other.ini");
    EXPECT_EQ(Cli({"--dir", dir.Native(), "--ini", ini, "compose", "name"}).out,
              "runmap_defrag_st1_1x1.bat");
    const std::string bat = Cli({"--dir", dir.Native(), "--ini", ini, "compose", "bat"}).out;
    EXPECT_NE(bat.find("+set r_mode 6"), std::string::npos);
    EXPECT_NE(bat.find("+set df_gametype 0 +set fs_game defrag +exec unknown.cfg +map st1  "
                       "+addbot sarge 4 blue"),
              std::string::npos)
        << bat;
}

TEST(Cli, WrongUsageExitsWithTwo) {
    test::GameDir dir;
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"--dir"}).status, 2);
    EXPECT_EQ(Cli({"--dir", dir.Native(), "nonsense"}).status, 2);
    EXPECT_EQ(Cli({"--dir", dir.Native(), "compose", "exe"}).status, 2);
}

}  // namespace
}  // namespace fraglane::cli

namespace fraglane::cli {
namespace {

TEST(Cli, SaveCommandsWriteWhatTheButtonsWriteAndPrintThePath) {
    test::GameDir dir;
    dir.MakeDir("baseq3");
    dir.Write("fraglane.ini",
              "[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[maps]\nselected=q3dm17\n"
              "[exec]\ncfgname=server.cfg\n");
    const Result cfg = Cli({"--dir", dir.Native(), "save-cfg"});
    EXPECT_EQ(cfg.status, 0) << cfg.err;
    EXPECT_EQ(cfg.out, dir.Path("baseq3/server.cfg") + "\n");
    EXPECT_EQ(dir.Read("baseq3/server.cfg"), Cli({"--dir", dir.Native(), "compose", "cfg"}).out);
    const Result bat = Cli({"--dir", dir.Native(), "save-bat"});
    EXPECT_EQ(bat.out, dir.Native() + "runmap_q3dm17_ffa.bat\n");
    EXPECT_EQ(dir.Read("runmap_q3dm17_ffa.bat"),
              Cli({"--dir", dir.Native(), "compose", "bat"}).out);
}

// A game directory whose path goes beyond ASCII is scanned and saved into (on Windows through
// the UTF-8 code page that the programs' manifest asks for).
TEST(Cli, AGameDirectoryBeyondAsciiIsScannedAndSavedInto) {
    test::TempDir root;
    const std::string game = "jeu \xc3\xa9 \xc3\xbc";
    root.Write(game + "/quake3.exe", "");
    root.Write(game + "/fraglane.ini", "[maps]\nselected=m1\n");
    test::MakeArchive(root, game + "\\baseq3\\maps.pk3",
                      {{"maps\\m1.bsp", "map"}, {"levelshots\\m1.jpg", "picture"}});
    const std::string dir = root.Path(game);
    EXPECT_EQ(Cli({"--dir", dir, "rescan-mods"}).out, "baseq3\n");
    EXPECT_EQ(Cli({"--dir", dir, "scan"}).out, "1 maps, 0 bots\n");
    EXPECT_EQ(root.Read(game + "/levelshots/m1.jpg"), "picture");
    const Result bat = Cli({"--dir", dir, "save-bat"});
    EXPECT_EQ(bat.status, 0) << bat.err;
    EXPECT_TRUE(root.Exists(game + "/runmap_m1_ffa.bat")) << bat.out;
}

TEST(Cli, SaveIntoAMissingModDirectoryFailsWithTheMessage) {
    test::GameDir dir;
    dir.Write("fraglane.ini", "[mods]\nselected=gone\ncount=1\nmod0=gone\n");
    const Result r = Cli({"--dir", dir.Native(), "save-cfg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot create file " + dir.Path("gone/unknown.cfg") + "\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace fraglane::cli

namespace fraglane::cli {
namespace {

TEST(Cli, Pk3CommandsPackListAndExtractWithoutAGameDirectory) {
    test::TempDir dir;
    dir.Write("stage/maps/a.bsp", "bsp data");
    dir.Write("stage/levelshots/a.jpg", "jpg");
    const Result pack = Cli({"pk3", "pack", dir.Path("stage"), dir.Path("stage/out.pk3")});
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(pack.out, dir.Path("stage/out.pk3") + "\n");
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("stage/out.pk3")}).out,
              "levelshots\\\nlevelshots\\a.jpg\nmaps\\\nmaps\\a.bsp\n");
    EXPECT_EQ(
        Cli({"pk3", "extract", dir.Path("stage/out.pk3"), "MAPS\\A.BSP", dir.Path("a.bsp")}).status,
        0);
    EXPECT_EQ(dir.Read("a.bsp"), "bsp data");
    // The archive a pack replaces is left out as a file, whatever spelling of its path the
    // target has; files of a name alike in another folder are packed.
    const std::string lines = "levelshots\\\nlevelshots\\a.jpg\nmaps\\\nmaps\\a.bsp\n";
    ASSERT_EQ(Cli({"pk3", "pack", dir.Path("stage"), dir.Path("stage/../stage/out.pk3")}).status,
              0);
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("stage/out.pk3")}).out, lines);
    // --smallest, anywhere among the words, packs the same files smaller.
    std::string words;
    for (uint32_t k = 1; words.size() < 60000; k = k * 1103515245 + 12345)
        words += std::string(" rail rocket plasma gauntlet shotgun ").substr(k >> 27, 5);
    dir.Write("stage/maps/a.bsp", words);
    ASSERT_EQ(Cli({"pk3", "pack", dir.Path("stage"), dir.Path("d.pk3")}).status, 0);
    ASSERT_EQ(Cli({"pk3", "pack", dir.Path("stage"), dir.Path("s.pk3"), "--smallest"}).status, 0);
    EXPECT_LT(dir.Read("s.pk3").size(), dir.Read("d.pk3").size());
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("s.pk3")}).out, lines + "out.pk3\n");
#ifndef _WIN32  // a folder name in two cases
    dir.MakeDir("STAGE");
    ASSERT_EQ(Cli({"pk3", "pack", dir.Path("stage"), dir.Path("STAGE/out.pk3")}).status, 0);
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("STAGE/out.pk3")}).out, lines + "out.pk3\n");
#endif
}

#ifndef _WIN32  // names with control bytes, which Windows refuses
TEST(Cli, Pk3ListWritesControlBytesOfNamesAsEscapes) {
    test::TempDir dir;
    dir.Write("stage/t\x1b]0;x\x07.txt", "title");
    dir.Write("stage/c\rd", "cr");
    dir.Write("stage/e\nf", "newline");
    ASSERT_EQ(Cli({"pk3", "pack", dir.Path("stage"), dir.Path("n.pk3")}).status, 0);
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("n.pk3")}).out,
              "c\\x0Dd\ne\\x0Af\nt\\x1B]0;x\\x07.txt\n");
}
#endif

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
// Past the file-size limit a settings write fails with its message; the file stays whole and
// no temporary file is left.
TEST(Cli, SettingsWritePastTheFileSizeLimitFailsWithItsMessage) {
    test::GameDir game;
    game.Write("baseq3/pak0.pk3", "");
    const std::string settings = "[notes]\r\n" + std::string(200 * 1024, ';') + "\r\n";
    game.Write("fraglane.ini", settings);
    const auto r = test::RunCommand("ulimit -f 64; exec " + test::Quote(FRAGLANE_CLI) + " --dir " +
                                    test::Quote(game.Native()) + " rescan-mods");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Unable to write to " + game.Path("fraglane.ini") + "\n");
    EXPECT_EQ(game.Read("fraglane.ini"), settings);
    EXPECT_EQ(game.Listing(),
              ".fraglane.ini.lock\nbaseq3\nbaseq3/pak0.pk3\nfraglane.ini\nquake3.exe\n");
}
#endif

// The scan lists what it passed by on stderr: archives that hold none, and pictures it could
// not write (the name of q3dm1's level shot is taken by a folder), which cost nothing else.
TEST(Cli, ScanPrintsItsProgressAndTheCounts) {
    test::GameDir game;
    game.Write("fraglane.ini", "[mods]\r\ncount=1\r\nmod0=baseq3\r\n");
    test::MakeArchive(game, "baseq3\\a.pk3",
                      {{"maps\\q3dm1.bsp", "bsp"},
                       {"levelshots\\q3dm1.tga", "tga"},
                       {"maps\\bad;name.bsp", "bsp"},
                       {"maps\\q3dm2.bsp", "bsp"},
                       {"botfiles\\bots\\sarge_c.c", "bot"}});
    game.Write("baseq3/broken.pk3", "no archive");
    game.MakeDir("levelshots/q3dm1.tga");
    const Result r = Cli({"--dir", game.Native(), "scan"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2 maps, 1 bots\n");
    EXPECT_EQ(r.err, std::string("scaning maps and bots... press <esc> to cancel\n") +
                         "mod: baseq3\nfile: a.pk3\nfile: broken.pk3\nshowing...\n" + "skipped " +
                         game.Path("baseq3/broken.pk3") +
                         ": not an archive: no end of central directory record, and no local "
                         "file header at the start of the file\n" +
                         "not written " + game.Path("levelshots/q3dm1.tga") +
                         ": its name is taken by a folder\n" + "skipped " +
                         platform::DisplayPath("maps\\bad;name.bsp in baseq3\\a.pk3") +
                         ": \";\" cannot stand in a command line\n" +
                         "done, 1 names skipped, 1 picture not written\n");
    EXPECT_EQ(Cli({"--dir", game.Native(), "list", "maps"}).out, "baseq3\tq3dm1\nbaseq3\tq3dm2\n");
}

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
// Another scan of the game directory holds its lock: this process's own, another live
// process's. The scan is refused at once and writes nothing; once the holder is gone, even
// killed while it held the lock, the scan runs and writes its whole catalogue.
TEST(Cli, ScanIsRefusedAtOnceWhileAnotherScanOfTheGameDirectoryRuns) {
    test::GameDir game;
    const std::string settings = "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=0\r\n";
    game.Write("fraglane.ini", settings);
    test::MakeArchive(game, "baseq3\\a.pk3",
                      {{"maps\\q3dm1.bsp", "bsp"}, {"maps\\q3dm2.bsp", "bsp"}});
    const std::string ini = game.Program() + "fraglane.ini";
    auto refused = [&](const char* holder) {
        const Result r = Cli({"--dir", game.Native(), "scan"});
        EXPECT_EQ(r.status, 1) << holder;
        EXPECT_EQ(r.err, "another scan of this game directory is running\n") << holder;
        EXPECT_EQ(r.out, "") << holder;
        EXPECT_EQ(game.Read("fraglane.ini"), settings) << holder;
    };
    {
        const platform::FileLock held = platform::ProfileFile(ini).TryLockJob();
        ASSERT_TRUE(held.Held());
        refused("this process");
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const platform::FileLock held = platform::ProfileFile(ini).TryLockJob();
        const char state = held.Held() ? 'y' : 'n';
        if (::write(ready[1], &state, 1) == 1)
            ::pause();
        ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(state, 'y');
    refused("another process");
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    const Result r = Cli({"--dir", game.Native(), "scan"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 maps, 0 bots\n");
    EXPECT_EQ(Cli({"--dir", game.Native(), "list", "maps"}).out, "baseq3\tq3dm1\nbaseq3\tq3dm2\n");
}

// A settings file that is no regular file is refused at once, with its message, by every
// command that reads it (a named pipe would keep the open waiting for a writer for ever), and
// is left as it is.
TEST(Cli, SettingsFileThatIsNoRegularFileIsRefusedWithoutWaiting) {
    const struct {
        const char* what;
        std::function<void(const test::GameDir&)> make;
        mode_t kind;
    } files[] = {
        {"a named pipe",
         [](const test::GameDir& g) {
             ASSERT_EQ(::mkfifo(g.Path("fraglane.ini").c_str(), 0644), 0);
         },
         S_IFIFO},
        {"a folder", [](const test::GameDir& g) { g.MakeDir("fraglane.ini"); }, S_IFDIR},
        // Made here rather than linked from /dev: a broken mend must not write over a device.
        {"a socket",
         [](const test::GameDir& g) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string path = g.Path("fraglane.ini");
             ASSERT_LT(path.size(), sizeof address.sun_path);
             path.copy(address.sun_path, path.size());
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
         },
         S_IFSOCK},
    };
    for (const auto& file : files) {
        test::GameDir game;
        game.Write("baseq3/a.pk3", "");
        file.make(game);
        for (const char* command : {"compose bat", "list maps", "rescan-mods", "scan"}) {
            const auto r = test::RunCommand("timeout 10 " + test::Quote(FRAGLANE_CLI) + " --dir " +
                                            test::Quote(game.Native()) + " " + command);
            EXPECT_EQ(r.status, 1) << file.what << ", " << command;
            EXPECT_EQ(r.output,
                      "Unable to read " + game.Path("fraglane.ini") + ": not a regular file\n")
                << file.what << ", " << command;
        }
        struct stat st {};
        ASSERT_EQ(::stat(game.Path("fraglane.ini").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, file.kind) << file.what;
    }
}
#endif

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
// An error stream that interrupts the process as Ctrl-C does when a given line is written,
// and gives the scan's watcher time to see it before the scan goes on.
class InterruptOn : public std::stringbuf {
public:
    explicit InterruptOn(std::string line) : m_line(std::move(line)) {}

protected:
    int sync() override {
        if (!m_sent && str().find(m_line) != std::string::npos) {
            m_sent = true;
            ::kill(::getpid(), SIGINT);
            ::usleep(300 * 1000);
        }
        return 0;
    }

private:
    std::string m_line;
    bool m_sent = false;
};

TEST(Cli, CtrlCStopsTheScanAfterTheArchiveInProgressWithoutWritingTheCatalogue) {
    test::GameDir game;
    const std::string settings = "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=0\r\n";
    game.Write("fraglane.ini", settings);
    for (const char* name : {"baseq3\\a.pk3", "baseq3\\b.pk3"})
        test::MakeArchive(game, name, {{"maps\\x.bsp", "bsp"}});
    InterruptOn buffer("file: a.pk3\n");
    std::ostream err(&buffer);
    err << std::unitbuf;
    std::ostringstream out;
    EXPECT_EQ(RunCli({"--dir", game.Native(), "scan"}, out, err), 1);
    EXPECT_EQ(out.str(), "");
    const std::string printed = buffer.str();
    EXPECT_EQ(printed.find("file: b.pk3"), std::string::npos) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 10), "cancelled\n");
    EXPECT_EQ(game.Read("fraglane.ini"), settings);
}
#endif

TEST(Cli, Pk3ErrorsGoToStandardErrorWithExitOne) {
    test::TempDir dir;
    const Result missing = Cli({"pk3", "list", dir.Path("none.pk3")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "File \"" + dir.Path("none.pk3") + "\" not found!\n");
    dir.Write("x.pk3", "not a zip");
    EXPECT_EQ(Cli({"pk3", "list", dir.Path("x.pk3")}).out, "");
    EXPECT_EQ(Cli({"pk3", "extract", dir.Path("x.pk3"), "a", dir.Path("a")}).status, 1);
    EXPECT_EQ(Cli({"pk3", "frobnicate"}).status, 2);
}

}  // namespace
}  // namespace fraglane::cli

namespace fraglane::cli {
namespace {

// Names from a settings file that came from elsewhere, or from the command line, that would
// lead a write out of its folder or act as commands in the batch line: each is refused or
// left out with its reason, and nothing is written outside the game directory.
TEST(Cli, HostileNamesAreRefusedOrLeftOutAndNothingIsWrittenOutside) {
    struct Row {
        const char* ini;
        std::vector<std::string> args;
        int status;
        const char* out;  // "%" stands for the game directory, "\\" for the separator
        const char* err;
    };
    const Row rows[] = {
        {"[maps]\nselected=q3dm17&calc.exe&rem\n",
         {"compose", "name"},
         0,
         "runmap___ffa.bat",
         "left out map q3dm17&calc.exe&rem: \"&\" cannot stand in a command line\n"},
        {"[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[exec]\ncfgname=..\\..\\outside.cfg\n",
         {"compose", "bat"},
         0,
         "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +exec  +map  ",
         "left out cfg name ..\\..\\outside.cfg: it would lead out of the mod's folder\n"},
        {"[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[exec]\ncfgname=x.cfg & calc\n",
         {"compose", "bat"},
         0,
         "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +exec  +map  ",
         "left out cfg name x.cfg & calc: a blank would split it in the command line\n"},
        {"[maps]\nselected=../../../out/pwned\n",
         {"compose", "name"},
         0,
         "runmap___ffa.bat",
         "left out map ../../../out/pwned: \"..\" would lead out of its folder\n"},
        {"[mods]\nselected=..\\outdir\ncount=1\nmod0=..\\outdir\n",
         {"save-cfg"},
         0,
         "%\\unknown.cfg\n",
         ""},
        {"",
         {"repack", "../../x@baseq3"},
         1,
         "",
         "Nothing to repack: skipped ../../x@baseq3: not a plain name\n"},
        {"[maps]\ncount=1\nmap0name=..\\baseq3\\victim\nmap0mod=baseq3\n",
         {"repack", "..\\baseq3\\victim"},
         1,
         "",
         "Nothing to repack: skipped ..\\baseq3\\victim@baseq3: not a plain name\n"},
        {"",
         {"repack", "aggressor@temp", "x@a:b"},
         1,
         "",
         "Nothing to repack: skipped aggressor@temp: a work folder of the program, not a mod; "
         "skipped x@a:b: not a plain name\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        test::TempDir outer;
        outer.MakeDir("game");
        const std::string game = outer.Path("game/");
        const auto fill = [&](std::string text) {
            for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%'))
                text.replace(at, 1, game);
            return text;
        };
        outer.Write("game/quake3.exe", "");
        outer.Write("game/baseq3/pak0.pk3", "");
        outer.Write("game/fraglane.ini", row.ini);
        std::vector<std::string> args = {"--dir", game};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Result r = Cli(args);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, platform::DisplayPath(fill(row.out)));
        EXPECT_EQ(r.err, fill(row.err));
        for (const auto& entry : std::filesystem::directory_iterator(outer.Native()))
            EXPECT_EQ(entry.path().filename(), "game");
    }
}

// Map and mod names as the community writes them are listed, composed, saved and repacked;
// one that cannot stand in a command line is named with its reason wherever it is asked for.
TEST(Cli, CommunityNamesAreListedComposedSavedAndRepacked) {
    test::GameDir game;
    const struct {
        const char* mod;  // as the folder is spelled
        const char* map;
    } rows[] = {{"baseq3", "ztn3tourney1"},
                {"cpma", "ctf_face-v2"},
                {"q3ut4", "mymap_b1.2"},
                {"WFA", "bob's_place"},
                {"WFA", "pro-q3tourney7_(v2)"}};
    for (const auto& row : rows) {
        test::MakeArchive(game, std::string(row.mod) + "\\" + row.map + ".pk3",
                          {{std::string("maps\\") + row.map + ".bsp", "bsp"},
                           {std::string("levelshots\\") + row.map + ".jpg", "jpg"}});
    }
    test::MakeArchive(game, "WFA\\beta.pk3", {{"maps\\dm_hall+beta.bsp", "bsp"}});
    EXPECT_EQ(Cli({"--dir", game.Native(), "rescan-mods"}).out, "baseq3\ncpma\nq3ut4\nwfa\n");
    const Result scan = Cli({"--dir", game.Native(), "scan"});
    EXPECT_EQ(scan.out, "5 maps, 0 bots\n");
    EXPECT_NE(scan.err.find("skipped " +
                            platform::DisplayPath("maps\\dm_hall+beta.bsp in "
                                                  "wfa\\beta.pk3") +
                            ": \"+\" cannot stand in a command line\n"),
              std::string::npos)
        << scan.err;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.map);
        const std::string mod = text::LowerCase(row.mod);
        EXPECT_NE(Cli({"--dir", game.Native(), "list", "maps"}).out.find(mod + "\t" + row.map),
                  std::string::npos);
        {
            platform::ProfileFile settings(game.Program() + "fraglane.ini");
            settings.WriteString("maps", "selected", row.map);
            settings.WriteString("mods", "selected", mod);
        }
        const Result bat = Cli({"--dir", game.Native(), "save-bat"});
        EXPECT_EQ(bat.err, "");
        const std::string name =
            "runmap_" + (mod == "baseq3" ? "" : mod + "_") + row.map + "_ffa.bat";
        EXPECT_NE(game.Read(name).find(" +map " + std::string(row.map) + " "), std::string::npos);
        const Result repack = Cli({"--dir", game.Native(), "repack", row.map});
        EXPECT_EQ(repack.status, 0) << repack.err;
        EXPECT_TRUE(game.Exists("temp/" + std::string(row.map) + ".pk3")) << repack.out;
    }
    const Result beta = Cli({"--dir", game.Native(), "repack", "dm_hall+beta"});
    EXPECT_EQ(beta.status, 1);
    EXPECT_EQ(beta.err,
              "Map dm_hall+beta cannot be repacked: \"+\" cannot stand in a command line\n");
}

}  // namespace
}  // namespace fraglane::cli
