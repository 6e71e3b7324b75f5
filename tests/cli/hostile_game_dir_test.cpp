// A game directory as a stranger's downloads could leave it, scanned and repacked by the CLI:
// no crash or hang, nothing written or deleted outside the picture cache and the staging
// folder, the game's archives as they were, memory bounded, and no name the shell would read
// as a command in the lists, the catalogue, the batch text or the new archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/run.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

namespace fraglane {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::RunCommand;

// A name the batch file can take as it stands, and one that stays where it is put.
bool IsSafeName(const std::string& name) {
    static const std::regex unsafe(R"([\x00-\x20\x7F"%&+;<>^|:/\\]|^\.\.?$)");
    return !name.empty() && !std::regex_search(name, unsafe);
}

struct CliRun {
    int status;
    std::string output;
    long peakKiB;
};

class HostileGameDir : public ::testing::Test {
protected:
    test::TempDir root;
    std::map<std::string, std::string> before;

    void SetUp() override {
        const fs::path script =
            fs::path(__FILE__).parent_path().parent_path() / "support" / "hostile_game_dir.py";
        const auto made = RunCommand("python3 " + Quote(script.string()) + " " +
                                     Quote(root.Path("game")) + " " + Quote(root.Path("outside")));
        ASSERT_EQ(made.status, 0) << made.output;
        root.Write("game/quake3.exe", "");
        root.MakeDir("settings");
        before = test::Snapshot(root.Path(""));
    }

    // The CLI on the game directory, in a time limit, with its peak memory.
    CliRun Cli(const std::string& args) {
        const auto r =
            RunCommand("timeout 120 /usr/bin/time -f %M -o " + Quote(root.Path("peak")) + " " +
                       Quote(FRAGLANE_CLI) + " --dir " + Quote(root.Path("game")) + " --ini " +
                       Quote(root.Path("settings/fraglane.ini")) + " " + args);
        std::ifstream peak(root.Path("peak"));
        long kib = 0;
        peak >> kib;
        fs::remove(root.Path("peak"));
        std::cout << "fraglane-cli " << args << ": peak " << kib / 1024 << " MiB\n";
        return {r.status, r.output, kib};
    }
};

TEST_F(HostileGameDir, ScanAndRepackStayInsideTheirFoldersAndListNoUnsafeName) {
    // The archive bomb alone would take 256 MiB; the sanitizers add their share.
    constexpr long PeakLimitKiB = 160 * 1024;
    // Records that share one data block make no archive: it is passed by with the reason.
    const std::string shared = "skipped " + root.Path("game/baseq3/shared.pk3") +
                               ": not an archive: the data of levelshots/s000.tga and "
                               "maps/s000.bsp overlap\n";
    for (const char* step : {"rescan-mods", "scan"}) {
        const CliRun r = Cli(step);
        EXPECT_EQ(r.status, 0) << step << "\n" << r.output;
        EXPECT_LT(r.peakKiB, PeakLimitKiB) << step;
        if (step == std::string("scan"))
            EXPECT_NE(r.output.find(shared), std::string::npos) << r.output;
    }

    std::set<std::string> maps;
    for (const char* what : {"mods", "maps", "bots"}) {
        const CliRun r = Cli(std::string("list ") + what);
        ASSERT_EQ(r.status, 0) << r.output;
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
            const std::string name = line.substr(line.find('\t') + 1);
            EXPECT_TRUE(IsSafeName(name)) << what << ": " << line;
            if (what == std::string("maps"))
                maps.insert(name);
        }
    }
    EXPECT_EQ(maps,
              (std::set<std::string>{"bomb", "cut", "deep0", "deep1", "deep2", "deep3", "deep4",
                                     "deep5", "deep6", "deep7", "deep8", "evil", "huge", "ok1"}));
    EXPECT_FALSE(root.Exists("game/levelshots/huge.tga"));
    EXPECT_FALSE(root.Exists("game/levelshots/s000.tga"));

    // The catalogue the scan wrote holds only safe names.
    std::ifstream ini(root.Path("settings/fraglane.ini"));
    const std::regex row(R"(^(map|bot)\d+(name|mod)=(.*)\r?$)");
    for (std::string line; std::getline(ini, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row)) {
            EXPECT_TRUE(IsSafeName(m[3])) << line;
        }
    }

    // The batch text for a map of the hostile archive.
    std::string settings = root.Read("settings/fraglane.ini");
    settings.replace(settings.find("[maps]\r\n"), 8, "[maps]\r\nselected=ok1\r\n");
    root.Write("settings/fraglane.ini", settings);
    const CliRun bat = Cli("compose bat");
    EXPECT_EQ(bat.status, 0);
    EXPECT_NE(bat.output.find("+map ok1"), std::string::npos) << bat.output;

    std::string rows;
    for (const std::string& map : maps)
        rows += " " + map;
    const CliRun repack = Cli("repack" + rows);
    EXPECT_EQ(repack.status, 0) << repack.output;
    EXPECT_LT(repack.peakKiB, PeakLimitKiB);
    EXPECT_NE(repack.output.find("levelshots/evil.tga leads out of the picture cache"),
              std::string::npos)
        << repack.output;
    EXPECT_NE(repack.output.find(shared), std::string::npos) << repack.output;
    // A member that cannot be taken costs itself only, and is named; names reach the
    // terminal with their control bytes escaped, so no line is forged.
    // A texture name the game could never load (64 bytes or more) is not wanted at all.
    EXPECT_EQ(repack.output.find(std::string(300, 'a')), std::string::npos);
    for (const std::string& line : {std::string("\nfailed scripts/dup.shader/x.shader from "),
                                    std::string("\nscripts/dup.shader from "),
                                    std::string("\nmissing textures/ok/new\\x0Aforged\n"),
                                    std::string("\nmissing textures/ok/title\\x1B]0;x\n")}) {
        EXPECT_NE(repack.output.find(line), std::string::npos) << line << "\n" << repack.output;
    }
    EXPECT_EQ(repack.output.find("\nforged"), std::string::npos);
    EXPECT_EQ(repack.output.find('\x1b'), std::string::npos);
    const auto members =
        RunCommand(Quote(FRAGLANE_CLI) + " pk3 list " +
                   Quote(root.Path("game/temp/" + std::to_string(maps.size()) + "maps.pk3")));
    ASSERT_EQ(members.status, 0) << members.output;
    EXPECT_NE(members.output.find("textures\\ok\\wall.jpg\n"), std::string::npos);
    EXPECT_NE(members.output.find("maps\\huge.bsp\n"), std::string::npos);
    std::istringstream names(members.output);
    for (std::string name; std::getline(names, name);) {
        std::istringstream parts(name);
        for (std::string part; std::getline(parts, part, '\\');)
            EXPECT_TRUE(IsSafeName(part)) << name;
    }

    // Only the picture cache, the staging folder and the settings file changed.
    const std::set<std::string> changed = test::Changed(before, test::Snapshot(root.Path("")));
    for (const std::string& name : changed) {
        const bool allowed = name.rfind("game/levelshots/", 0) == 0 ||
                             name.rfind("game/temp/", 0) == 0 || name.rfind("settings/", 0) == 0;
        EXPECT_TRUE(allowed) << name;
    }
    EXPECT_LE(fs::file_size(root.Path("game/levelshots/bomb.tga")), 100u);
}

}  // namespace
}  // namespace fraglane
