#include "repack/repack_job.h"

#ifdef _WIN32
#include "platform/windows_api.h"
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "repack/bsp_textures.h"
#include "repack/name_list.h"
#include "repack/shader_script.h"
#include "repack/staging.h"
#include "support/archives.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::repack {
namespace {

using Names = std::vector<std::string>;

// A repack of rows in a game directory, with an archive object and a lister of its own.
RepackResult RepackIn(const test::TempDir& game, std::vector<RepackRow> rows) {
    archive::Pk3Archive zip;
    platform::TDirContent lister;
    lister.SetActive(true);
    RepackSink sink;
    sink.status = [](int, const std::string&) {};
    return RepackMaps({game.Program(), game.Program() + "levelshots\\", game.Program() + "temp\\",
                       std::move(rows)},
                      zip, lister, {}, sink);
}

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

// A map file is read in pieces of 64 KiB: names whose "t", "extures/" or zero byte falls on
// either side of a piece's end are found as in one piece.
TEST_F(RunTest, MapFileScanFindsNamesAcrossTheEndsOfThePiecesItReads) {
    std::string bytes;
    Names expected;
    for (int i = 0; i < 24; ++i) {
        const std::string name = "textures/d" + std::to_string(i) + "/n";
        bytes.resize(size_t{65536} * static_cast<size_t>(i + 1) - 20 + static_cast<size_t>(i), 'p');
        bytes += "x" + name + std::string(1, '\0');
        expected.push_back("textures\\d" + std::to_string(i) + "\\n");
    }
    dir.Write("temp/maps/m.bsp", bytes);
    ScanBspTextures(run, "maps\\m.bsp");
    EXPECT_EQ(run.TextureList.Items(), expected);
    RepackRun inMemory;
    inMemory.tempDir = run.tempDir;
    ScanBspBytes(inMemory, bytes);
    EXPECT_EQ(inMemory.TextureList.Items(), expected);
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

// The staging folder's scripts are numbered from memory: each claim must be the name that
// UniqueFileName finds on disk at that moment, also after a script is removed again.
TEST_F(RunTest, UniqueNamesClaimWhatUniqueFileNameWouldFind) {
    dir.Write("s/common.shader", "");
    dir.Write("s/Common1.shader", "");
    const std::string folder = dir.Program() + "s\\";
    UniqueNames names(folder);
    const struct {
        const char* name;
        bool kept;
        const char* claimed;
    } rows[] = {
        {"common.shader", true, "common2.shader"},  // letters folded, as the file system finds
        {"COMMON.shader", false, "COMMON3.shader"},
        {"common.shader", true, "common3.shader"},  // the name given back is taken again
        {"new.shader", true, "new.shader"},
        {"new.shader", true, "new1.shader"},
        {"common.shader", true, "common4.shader"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = folder + row.name;
        const std::string claimed = names.Claim(path);
        EXPECT_EQ(claimed, folder + row.claimed);
        EXPECT_EQ(claimed, UniqueFileName(path));
        if (row.kept)
            platform::WriteFileBytes(claimed, "");
        else
            names.Release(claimed);
    }
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
    platform::TDirContent lister;

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

// The first copy of a map file is packed; when the archive of its mod that the game reads
// last holds different bytes under that name, the report says which copy the game loads.
TEST_F(RepackTest, TheReportNamesADifferentCopyThatTheGameLoads) {
    test::MakeArchive(
        game, "baseq3\\m1.pk3",
        {{"maps\\same.bsp", "bsp"}, {"maps\\new.bsp", "2006"}, {"maps\\new.aas", "aas"}});
    test::MakeArchive(game, "baseq3\\m2.pk3",
                      {{"maps\\same.bsp", "bsp"}, {"maps\\NEW.BSP", "2012"}});
    // The engine orders names with letters in upper case: "m_" comes after "ma".
    test::MakeArchive(game, "baseq3\\ma.pk3", {{"maps\\new.aas", "aas"}});
    test::MakeArchive(game, "baseq3\\m_.pk3", {{"maps\\new.aas", "later aas"}});
    const RepackResult r = Repack({{"same", "baseq3"}, {"new", "baseq3"}});
    std::vector<std::string> copies;
    std::copy_if(
        r.report.begin(), r.report.end(), std::back_inserter(copies),
        [](const std::string& line) { return line.find("a different copy") != std::string::npos; });
    EXPECT_EQ(copies, (std::vector<std::string>{
                          "maps\\new.aas: a different copy in m_.pk3 is the one the game loads",
                          "maps\\new.bsp: a different copy in m2.pk3 is the one the game loads"}));
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

// OpenArena's aggressor as the game directory holds it: two of its shaders have no image of
// their own name and are defined by scripts that go into the archive, so they are not missing;
// its sky is defined only in the stock pak0.pk3, which is never searched, and is.
TEST(RepackOpenArena, TheReportNamesAsMissingOnlyWhatNoFileOrKeptScriptProvides) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    test::GameDir game;
    if (!game.LinkOpenArena())
        GTEST_SKIP() << "openarena-088-data is not installed";
    const RepackResult r = RepackIn(game, {{"aggressor", "baseq3"}});
    ASSERT_EQ(r.archivePath, game.Program() + "temp\\aggressor.pk3");
    Names missing;
    std::copy_if(r.report.begin(), r.report.end(), std::back_inserter(missing),
                 [](const std::string& line) { return line.rfind("missing ", 0) == 0; });
    EXPECT_EQ(missing, (Names{"missing textures\\skies\\hellsky"}));
    const std::string scripts =
        test::RunCommand("unzip -p " + test::Quote(game.Path("temp/aggressor.pk3")) + " " +
                         test::Quote("scripts/*"))
            .output;
    // A shader's name stands alone on its line.
    const auto defines = [&scripts](const std::string& shader) {
        return scripts.find("\n" + shader + "\r") != std::string::npos ||
               scripts.find("\n" + shader + "\n") != std::string::npos;
    };
    EXPECT_TRUE(defines("textures/evil8_lights/evil8_rlight"));
    EXPECT_TRUE(defines("textures/liquids/tele"));
    EXPECT_FALSE(defines("textures/skies/hellsky"));
}

}  // namespace
}  // namespace fraglane::repack

namespace fraglane::repack {
namespace {

// Writes an archive with Python, members in order; a declared size other than the data's is
// patched into the member's headers (data cut short), and names are kept as they stand.
void WriteHostileArchive(const std::string& path, const std::string& members) {
    const std::string script =
        "import zipfile,struct,sys\n"
        "members=" +
        members +
        "\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "for n,d,s in members:\n"
        "  i=zipfile.ZipInfo('x'); i.filename=n; i.compress_type=zipfile.ZIP_DEFLATED\n"
        "  z.writestr(i,d)\n"
        "z.close()\n"
        "b=bytearray(open(sys.argv[1],'rb').read())\n"
        "for n,d,s in members:\n"
        "  if s is None: continue\n"
        "  for sig,at,h in ((b'PK\\x03\\x04',22,30),(b'PK\\x01\\x02',24,46)):\n"
        "    p=b.find(sig)\n"
        "    while p>=0:\n"
        "      l=struct.unpack_from('<H',b,p+at+4)[0]\n"
        "      if bytes(b[p+h:p+h+l])==n.encode(): struct.pack_into('<I',b,p+at,s)\n"
        "      p=b.find(sig,p+4)\n"
        "open(sys.argv[1],'wb').write(b)\n";
    const auto made = test::RunCommand("python3 -c " + test::Quote(script) + " " +
                                       test::Quote(platform::DisplayPath(path)));
    ASSERT_EQ(made.status, 0) << made.output;
}

// One member that cannot be taken (a name the file system refuses, data shorter than its
// declared size, a script where another needs a folder) costs itself only: the rest of its
// archive is still searched, nothing half written is packed, and the report names it with
// its reason.
TEST(RepackHostileMembers, AFailedMemberCostsItselfOnlyAndIsReportedWithItsReason) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    const std::string longName = "textures/long/" + std::string(300, 'a');
    std::string longReported = longName;
    std::replace(longReported.begin(), longReported.end(), '/', '\\');
    struct Row {
        const char* what;
        std::vector<std::string> textures;  // named by the map file
        std::string archive;                // the hostile archive in baseq3
        std::string members;                // Python: (name, data, declared size or None)
        std::vector<std::string> reported;  // report lines by their start; "%" the archive
        std::vector<std::string> packed;    // members of the new archive
        std::vector<std::string> absent;    // nor these
    };
    const Row rows[] = {
        {"a texture name the game cannot load (64 bytes or more) is not wanted",
         {"textures/ok/good", longName},
         "zz.pk3",
         "[('textures/ok/good.jpg',b'good',None),('" + longName + ".jpg',b'long',None)]",
         {"textures\\ok\\good.jpg from %"},
         {"textures/ok/good.jpg"},
         {"missing textures\\ok\\good", longReported}},
        {"texture data shorter than declared",
         {"textures/ok/good", "textures/ok/cut"},
         "zz.pk3",
         "[('textures/ok/good.jpg',b'good',None),('textures/ok/cut.jpg',b'cut',100000),"
         "('textures/ok/cut.tga',b'whole',None)]",
         {"failed textures\\ok\\cut.jpg from %: error", "textures\\ok\\cut.tga from %",
          "textures\\ok\\good.jpg from %"},
         {"textures/ok/cut.tga", "textures/ok/good.jpg"},
         {"textures/ok/cut.jpg", "missing textures\\ok\\good"}},
        {"a script where the one before it needs a folder",
         {"textures/sky/space"},
         "zz.pk3",
         "[('scripts/a.shader',b'textures/sky/space\\n{\\n map textures/ok/one.tga\\n}\\n',None),"
         "('scripts/a.shader/b.shader',b'textures/sky/space\\n{\\n}\\n',None),"
         "('scripts/c.shader',b'textures/sky/space\\n{\\n map textures/ok/two.tga\\n}\\n',None),"
         "('textures/ok/one.tga',b'1',None),('textures/ok/two.tga',b'2',None)]",
         {"scripts\\a.shader from %", "failed scripts\\a.shader\\b.shader from %: Cannot create",
          "scripts\\c.shader from %"},
         {"scripts/a.shader", "scripts/c.shader", "textures/ok/one.tga", "textures/ok/two.tga"},
         {"scripts/a.shader/"}},
        {"a map file cut short before a whole one",
         {"textures/ok/good"},
         "a.pk3",
         "[('maps/m.bsp',b'cut',100000),('textures/ok/good.jpg',b'good',None)]",
         {"failed maps\\m.bsp from %: error", "maps\\m.bsp from "},
         {"maps/m.bsp", "textures/ok/good.jpg"},
         {"missing maps\\m.bsp in baseq3"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::GameDir game;
        std::string bsp = "IBSP";
        for (const std::string& t : row.textures)
            bsp += t + std::string(1, '\0');
        test::MakeArchive(game, "baseq3\\map.pk3", {{"maps\\m.bsp", bsp}});
        WriteHostileArchive(game.Program() + "baseq3\\" + row.archive, row.members);
        const RepackResult r = RepackIn(game, {{"m", "baseq3"}});
        ASSERT_EQ(r.archivePath, game.Program() + "temp\\m.pk3");
        std::string report;
        for (const std::string& line : r.report)
            report += line + "\n";
        const std::string from = game.Program() + "baseq3\\" + row.archive;
        for (std::string line : row.reported) {
            if (const size_t at = line.find('%'); at != std::string::npos)
                line.replace(at, 1, from);
            EXPECT_NE(("\n" + report).find("\n" + line), std::string::npos) << line << "\n"
                                                                            << report;
        }
        const std::string listing =
            test::RunCommand("unzip -Z1 " + test::Quote(game.Path("temp/m.pk3"))).output;
        for (const std::string& member : row.packed)
            EXPECT_NE(listing.find(member + "\n"), std::string::npos) << member << "\n" << listing;
        for (const std::string& absent : row.absent) {
            EXPECT_EQ(("\n" + listing).find("\n" + absent + "\n"), std::string::npos) << absent;
            EXPECT_EQ(report.find(absent + "\n"), std::string::npos) << absent;
        }
    }
}

}  // namespace
}  // namespace fraglane::repack
