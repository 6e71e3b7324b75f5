#include "catalogue/mods.h"

#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace fraglane::catalogue {
namespace {

TEST(Mods, DirectSubDirectoriesWithAnArchiveNameAreMods) {
    test::GameDir game;
    game.Write("baseq3/pak0.pk3", "");
    game.Write("DeFrag/zz.PK3", "");         // capitals: listed lower-cased
    game.Write("backup/maps.pk3.bak", "");   // the name merely contains ".pk3"
    game.Write("deeper/sub/inner.pk3", "");  // only deeper down: no mod
    game.Write("docs/readme.txt", "");
    game.MakeDir("empty");
    game.Write("loose.pk3", "");     // a file, not a directory
    game.Write("x&calc/a.pk3", "");  // would run "calc" from the batch line: skipped
    game.Write("two words/a.pk3", "");
    game.Write("a..b/a.pk3", "");        // never a path: skipped
    game.Write("Temp/2maps.pk3", "");    // the program's own work folders: never mods,
    game.Write("levelshots/x.pk3", "");  // and not counted as skipped names
    platform::TDirContent lister;
    lister.SetActive(true);
    const ModDiscovery found = DiscoverMods(lister, game.Program());
    EXPECT_EQ(found.mods, (std::vector<std::string>{"backup", "baseq3", "defrag"}));
    EXPECT_EQ(found.skipped, (std::vector<std::string>{
                                 "skipped mod folder a..b: \"..\" would lead out of its folder",
                                 "skipped mod folder two words: a blank would split it in the "
                                 "command line",
                                 "skipped mod folder x&calc: \"&\" cannot stand in a command "
                                 "line"}));
}

TEST(Mods, CatalogueKeysOfALongerListStayBeyondTheNewCount) {
    test::TempDir dir;
    dir.Write("f.ini", "[mods]\r\nselected=baseq3\r\ncount=3\r\nmod0=a\r\nmod1=b\r\nmod2=c\r\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    WriteModCatalogue(f, {"baseq3"});
    EXPECT_EQ(dir.Read("f.ini"),
              "[mods]\r\nselected=baseq3\r\ncount=1\r\nmod0=baseq3\r\nmod1=b\r\nmod2=c\r\n");
    EXPECT_EQ(ReadModList(f), (std::vector<std::string>{"baseq3"}));
    WriteModCatalogue(f, {});
    EXPECT_TRUE(ReadModList(f).empty());
    dir.Write("f.ini",
              "[mods]\r\ncount=6\r\nmod0=x&calc\r\nmod1=baseq3\r\nmod2=..\\outdir\r\n"
              "mod3=TEMP\r\nmod4=c:\r\nmod5=a/b\r\n");
    std::vector<std::string> skipped;
    EXPECT_EQ(ReadModList(f, &skipped), (std::vector<std::string>{"baseq3"}));
    EXPECT_EQ(skipped.size(), 5u);
    EXPECT_EQ(skipped[2], "left out catalogue mod TEMP: it is one of the program's own folders");
}

}  // namespace
}  // namespace fraglane::catalogue
