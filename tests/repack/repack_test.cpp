#include "repack/repack_job.h"

#ifdef _WIN32
#include "platform/windows_api.h"
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "repack/bsp_textures.h"
#include "repack/repack_run.h"
#include "repack/shader_script.h"
#include "repack/staging.h"
#include "support/archives.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::repack {
namespace {

using Names = std::vector<std::string>;

class RunTest : public ::testing::Test {
protected:
    test::TempDir dir;
    RepackRun run;
    RunTest() { run.tempDir = dir.Program() + "temp\\"; }
};

TEST_F(RunTest, MapFileScanFindsLowerCaseTextureNamesOnly) {
    using namespace std::string_literals;
    ScanBspBytes(run,
                 "xxtextures/base/Wall\0"s       // found, case kept until added
                 "Textures/caps/x\0"s            // a capital T starts nothing
                 "ttextures/skipped\0"s          // the first t takes the next 8 bytes
                 "tEXTURES/upper\0"s             // the 8 bytes compare folded
                 "textures/../../etc/passwd\0"s  // would leave the staging folder
                 "textures/base/wall\0"s         // again: listed once
                 "textures/cut/at/the/end"s);    // no zero byte: not a name
    EXPECT_EQ(run.TextureList.Items(), (Names{"textures\\base\\wall", "textures\\upper"}));
    EXPECT_TRUE(dir.Exists("temp/textures/base"));  // the folder made from the lower-cased name
}

TEST_F(RunTest, ShaderScriptKeepsWantedShadersAndTheImagesTheyUse) {
    run.AddTexture("textures\\base\\wanted");
    run.AddTexture("textures\\sky\\mars");
    dir.Write("temp/scripts/a.shader",
              "// textures/old/commented.tga\n"
              "textures/base/wanted // the name alone on its line\n"
              "{\n"
              "  {\n"
              "    MAP TEXTURES/Base/X.TGA\n"
              "  }\n"
              "  animmap 8 textures/sfx/fire1.tga textures/sfx/fire2.tga // textures/no/x.tga\n"
              "  map $lightmap\n"
              "}\n"
              "textures/sfx/fire1\n"  // added above: wanted from here on
              "{\n"
              "  map textures/sfx/fire1glow.tga\n"
              "}\n"
              "textures/sky/mars {\n"  // the brace on the name line: not recognised
              "  skyparms env/nope 512 -\n"
              "}\n");
    dir.Write("temp/scripts/b.shader", "textures/sky/mars\n{\n skyparms env/mars 512 -\n}\n");
    dir.Write("temp/scripts/c.shader", "textures/other/x\n{\n map textures/other/x.tga\n}\n");
    EXPECT_TRUE(ParseShaderFile(run, dir.Program() + "temp\\scripts\\a.shader"));
    EXPECT_TRUE(ParseShaderFile(run, dir.Program() + "temp\\scripts\\b.shader"));
    EXPECT_FALSE(ParseShaderFile(run, dir.Program() + "temp\\scripts\\c.shader"));
    EXPECT_FALSE(dir.Exists("temp/scripts/c.shader"));
    EXPECT_TRUE(dir.Exists("temp/scripts/a.shader"));
    EXPECT_EQ(run.TextureList.Items(),
              (Names{"textures\\base\\wanted", "textures\\sky\\mars", "textures\\base\\x",
                     "textures\\sfx\\fire1", "textures\\sfx\\fire2", "textures\\sfx\\fire1glow",
                     "env\\mars_bk", "env\\mars_dn", "env\\mars_ft", "env\\mars_lf", "env\\mars_rt",
                     "env\\mars_up"}));
}

TEST_F(RunTest, ListsFoldCaseAndUniqueNamesCount) {
    run.AddMod("Defrag");
    run.AddMod("defrag");
    run.AddMod("baseq3");
    EXPECT_EQ(run.ModList.Items(), (Names{"Defrag", "baseq3"}));
    for (const char* bad : {"..\\x", "a\\..\\..\\x", "\\abs", "/abs", "c:x", ""})
        run.AddTexture(bad);
    EXPECT_EQ(run.TextureList.Size(), 0u);
    dir.Write("s/common.shader", "");
    dir.Write("s/common1.shader", "");
    EXPECT_EQ(UniqueFileName(dir.Program() + "s\\common.shader"),
              dir.Program() + "s\\common2.shader");
    EXPECT_EQ(UniqueFileName(dir.Program() + "s\\new.shader"), dir.Program() + "s\\new.shader");
}

// A link to a folder, made as the system makes one; false where links cannot be made.
bool LinkFolder(const std::string& target, const std::string& link) {
#ifdef _WIN32
    return ::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
#else
    return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// On Windows too: a link there is a reparse point, which the C++ library does not tell.
TEST_F(RunTest, ClearingTheStagingFolderRemovesLinksWithoutEnteringThem) {
    dir.Write("outside/keep.txt", "outside");
    dir.Write("temp/maps/old.bsp", "old");
    dir.Write("temp/.hidden/kept", "kept");
    dir.Write("temp/readonly.txt", "ro");
    std::filesystem::permissions(dir.Path("temp/readonly.txt"), std::filesystem::perms::owner_read);
    if (!LinkFolder(dir.Path("outside"), dir.Path("temp/link")))
        GTEST_SKIP() << "no links here";
    ClearStaging(run.tempDir);
    EXPECT_EQ(dir.Listing(), "outside\noutside/keep.txt\ntemp\ntemp/.hidden\ntemp/.hidden/kept\n");
}

// A game directory with a stock archive, a mod archive with shaders and images, and names
// that would climb out of the staging folder.
class RepackTest : public ::testing::Test {
protected:
    test::GameDir game;
    archive::Pk3Archive zip;
    launch::TDirContent lister;

    void SetUp() override {
        FRAGLANE_NEEDS_LINUX_TOOLS();
        lister.SetActive(true);
        const std::string bsp = std::string("head textures/base/floor\0", 25) +
                                std::string("textures/sky/space\0", 19) +
                                std::string("textures/../../../escape\0", 25);
        test::MakeArchive(game, "baseq3\\pak0.pk3",
                          {{"maps\\q3dm17.bsp", bsp},
                           {"maps\\q3dm17.aas", "aas"},
                           {"textures\\base\\floor.jpg", "stock floor: never taken"}});
        // Written by Python: the program's own writer refuses names that climb out.
        const std::string script =
            "import zipfile,sys\n"
            "z=zipfile.ZipFile(sys.argv[1],'w')\n"
            "z.writestr('scripts/sky.shader','textures/sky/space\\n{\\n skyparms env/space 512 "
            "-\\n}\\n')\n"
            "z.writestr('scripts/../../evil.shader','textures/sky/space\\n{\\n}\\n')\n"
            "z.writestr('textures/base/floor.tga','floor tga')\n"
            "z.writestr('textures/base/floor.jpg','floor jpg')\n"
            "z.writestr('env/space_bk.tga','bk')\n"
            "z.writestr('../../outside.jpg','climbing')\n";
        const auto made = test::RunCommand("python3 -c " + test::Quote(script) + " " +
                                           test::Quote(game.Path("baseq3/zz.pk3")));
        EXPECT_EQ(made.status, 0) << made.output;
        game.Write("levelshots/q3dm17.jpg", "shot");
    }
    RepackResult Repack(std::vector<RepackRow> rows, std::stop_token stop = {}) {
        RepackSink sink;
        sink.status = [](int, const std::string&) {};
        return RepackMaps({game.Program(), game.Program() + "levelshots\\",
                           game.Program() + "temp\\", std::move(rows)},
                          zip, lister, stop, sink);
    }
};

TEST_F(RepackTest, OneMapWithItsFilesShadersAndImagesButNothingOfTheStockArchives) {
    const RepackResult r = Repack({{"q3dm17", "baseq3"}});
    EXPECT_EQ(r.archivePath, game.Program() + "temp\\q3dm17.pk3");
    const auto listing = test::RunCommand("unzip -Z1 " + test::Quote(game.Path("temp/q3dm17.pk3")));
    EXPECT_EQ(listing.output,
              "env/\nenv/space_bk.tga\nlevelshots/\nlevelshots/q3dm17.jpg\nmaps/\n"
              "maps/q3dm17.aas\nmaps/q3dm17.bsp\nscripts/\nscripts/sky.shader\ntextures/\n"
              "textures/base/\ntextures/base/floor.jpg\ntextures/sky/\n");
    EXPECT_EQ(test::RunCommand("unzip -p " + test::Quote(game.Path("temp/q3dm17.pk3")) +
                               " textures/base/floor.jpg")
                  .output,
              "floor jpg");  // from zz.pk3, ".jpg" before ".tga"
    EXPECT_EQ(test::RunCommand("unzip -tq " + test::Quote(game.Path("temp/q3dm17.pk3"))).status, 0);
    EXPECT_FALSE(game.Exists("evil.shader"));
    EXPECT_FALSE(game.Exists("outside.jpg"));
    EXPECT_FALSE(game.Exists("escape"));
    EXPECT_NE(std::find(r.report.begin(), r.report.end(), "missing env\\space_dn"), r.report.end());
}

TEST_F(RepackTest, SeveralMapsNameTheArchiveByTheirCountAndAStopWritesNone) {
    EXPECT_EQ(OutputName({{"a", "m"}, {"b", "m"}, {"c", "m"}}), "3maps.pk3");
    Repack({{"q3dm17", "baseq3"}});
    ASSERT_TRUE(game.Exists("temp/q3dm17.pk3"));
    std::stop_source stop;
    stop.request_stop();
    const RepackResult r = Repack({{"q3dm17", "baseq3"}, {"q3dm17", "baseq3"}}, stop.get_token());
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.archivePath.empty());
    EXPECT_FALSE(game.Exists("temp/q3dm17.pk3"));  // the next run cleared the last one
    EXPECT_FALSE(game.Exists("temp/2maps.pk3"));
}

}  // namespace
}  // namespace fraglane::repack
