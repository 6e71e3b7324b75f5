#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/fake_desktop.h"
#include "app/qt_convert.h"
#include "app/window_controls.h"
#include "cli/cli.h"
#include "support/temp_dir.h"

namespace fraglane::app {
namespace {

constexpr const char* Catalogue =
    "[mods]\r\nselected=defrag\r\ncount=3\r\nmod0=baseq3\r\nmod1=defrag\r\nmod2=cpma\r\n"
    "[maps]\r\nselected=q3dm17\r\ncount=6\r\n"
    "map0name=q3dm17\r\nmap0mod=baseq3\r\nmap1name=st1\r\nmap1mod=defrag\r\n"
    "map2name=q3tourney6_ctf\r\nmap2mod=baseq3\r\nmap3name=cpm1\r\nmap3mod=cpma\r\n"
    "map4name=st2\r\nmap4mod=Defrag\r\nmap5name=q3dm17\r\nmap5mod=cpma\r\n"
    "[bots]\r\ncount=3\r\nbot0name=sarge\r\nbot0mod=baseq3\r\nbot1name=dfbot\r\nbot1mod=defrag\r\n"
    "bot2name=anarki\r\nbot2mod=baseq3\r\nselectedcount=0\r\nskill=4\r\nteam=red\r\n";

class CatalogueWindow : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    test::FakeDesktop desktop;
    std::unique_ptr<T_Main> window;

    void Open(std::string_view settings = Catalogue) {
        game.Write("fraglane.ini", settings);
        window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
        window->ThreadReadCatalogue.WaitFor();  // the lists fill beside the window
    }
    QStringList Rows(ListGrid* grid) const {
        QStringList rows;
        for (int i = 0; i < grid->RowCount(); ++i) {
            rows << grid->Text(i, 1) + "\t" + grid->Text(i, 0);
        }
        return rows;
    }
    int MapRow(const QString& mod, const QString& name) const {
        for (int i = 0; i < window->cMap->RowCount(); ++i) {
            if (window->cMap->Text(i, 0) == name && window->cMap->Text(i, 1) == mod)
                return i;
        }
        return -1;
    }
    std::string Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--dir", game.Native()});
        std::ostringstream out, err;
        EXPECT_EQ(cli::RunCli(args, out, err), 0) << err.str();
        return out.str();
    }
    bool Warning() const { return !window->cErrorLoadMapInfo->isHidden(); }
};

TEST_F(CatalogueWindow, ListsFillSortedAndTheCliShowsTheSame) {
    Open();
    const QStringList maps = {"baseq3\tq3dm17", "baseq3\tq3tourney6_ctf",
                              "cpma\tcpm1",     "cpma\tq3dm17",
                              "Defrag\tst2",    "defrag\tst1"};
    EXPECT_EQ(Rows(window->cMap), maps);
    EXPECT_EQ(Rows(window->cBot),
              (QStringList{"baseq3\tanarki", "baseq3\tsarge", "defrag\tdfbot"}));
    EXPECT_EQ(ToQt(Cli({"list", "maps"})), maps.join("\n") + "\n");
    EXPECT_EQ(Cli({"list", "bots"}), "baseq3\tanarki\nbaseq3\tsarge\ndefrag\tdfbot\n");
    EXPECT_EQ(Cli({"list", "mods"}), "baseq3\ncpma\ndefrag\n");
    EXPECT_EQ(Cli({"list", "maps", "--mod", "defrag"}), "defrag\tst1\n");
    // The sort order comes back after the operator sorted by a header.
    window->cMap->SetSortKeys({T_Main::cMapMap});
    EXPECT_EQ(window->cMap->Text(0, 0), "cpm1");
    window->SortLists();
    EXPECT_EQ(Rows(window->cMap), maps);
}

TEST_F(CatalogueWindow, StoredMapIsFocusedAndSelectedInEveryRowThatNamesIt) {
    Open();
    EXPECT_EQ(window->cSelectedMap->text(), "q3dm17");
    EXPECT_EQ(window->cMap->SelectedRows().size(), 2);
    EXPECT_EQ(window->cMap->Text(window->cMap->CurrentRow(), 1), "cpma");  // the last matching row
    EXPECT_EQ(window->btnRepackMaps->text(), "repack 2 maps");
}

// The start-up read fills the lists beside the window; a list asked for meanwhile is the one
// shown, and the stored selection comes with the read rows.
TEST_F(CatalogueWindow, ListsAskedForWhileTheStartUpReadRunsAreTheOnesShown) {
    game.Write("fraglane.ini", Catalogue);
    window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    EXPECT_EQ(window->cMap->RowCount(), 0);
    EXPECT_EQ(window->btnRepackMaps->text(), "repack maps");
    window->btnShowModMapsClick();
    QTest::qWait(50);
    EXPECT_EQ(Rows(window->cMap), QStringList{"defrag\tst1"});

    window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    QTRY_COMPARE(window->cMap->RowCount(), 6);
    EXPECT_EQ(window->cMap->SelectedRows().size(), 2);
    EXPECT_EQ(window->btnRepackMaps->text(), "repack 2 maps");
}

TEST_F(CatalogueWindow, AWiderWindowWidensTheMapColumn) {
    Open();
    window->show();
    window->PageControl->setCurrentWidget(window->TabMap);
    QApplication::processEvents();
    // 112 as at the first size, and what the mod column's 127 leaves where the style's frames
    // leave the list wider (Windows: 116).
    EXPECT_EQ(window->cMap->columnWidth(T_Main::cMapMap),
              std::max(112, window->cMap->viewport()->width() - 127));
#ifndef _WIN32
    EXPECT_EQ(window->cMap->columnWidth(T_Main::cMapMap), 112);
#endif
    std::vector<std::string> cells;
    for (int i = 0; i < 100; ++i)
        cells.insert(cells.end(), {"map" + std::to_string(i), "baseq3"});
    window->cMap->AddRows(cells);  // a scroll bar takes its width from the mod column
    QTRY_VERIFY(window->cMap->verticalScrollBar()->isVisible());
    EXPECT_EQ(window->cMap->columnWidth(T_Main::cMapMap), 112);
    EXPECT_EQ(window->cMap->columnWidth(T_Main::cMapMod) + 112, window->cMap->viewport()->width());
    window->resize(window->width() + 200, window->height());
    QApplication::processEvents();
    EXPECT_GT(window->cMap->columnWidth(T_Main::cMapMap), 112 + 100);
    EXPECT_EQ(window->cMap->columnWidth(T_Main::cMapMod), 127);
}

TEST_F(CatalogueWindow, ModFilterIsExactWhileTheWarningIgnoresCase) {
    Open();
    window->btnShowModMapsClick();
    EXPECT_EQ(Rows(window->cMap), QStringList{"defrag\tst1"});  // not Defrag's st2
    EXPECT_EQ(window->cBot->RowCount(), 3);                     // bots are never filtered
    window->btnShowAllMapsClick();
    EXPECT_EQ(window->cMap->RowCount(), 6);

    window->cMap->SetCurrentRow(MapRow("Defrag", "st2"));
    EXPECT_EQ(window->cSelectedMap->text(), "st2");
    EXPECT_FALSE(Warning());  // DEFRAG and defrag name the same mod
    window->cMap->SetCurrentRow(MapRow("cpma", "cpm1"));
    EXPECT_TRUE(Warning());
    EXPECT_TRUE(
        window->cBat->toPlainText().contains("+set fs_game defrag +exec unknown.cfg +map cpm1 "));
    window->cMap->SetCurrentRow(MapRow("baseq3", "q3tourney6_ctf"));
    EXPECT_FALSE(Warning());  // baseq3 maps load in every mod
    window->cMod->setCurrentIndex(window->cMod->findText("cpma"));
    EXPECT_FALSE(Warning());
    window->cMap->SetCurrentRow(MapRow("cpma", "q3dm17"));
    EXPECT_FALSE(Warning());
    // A typed name is judged by the focused row, and moves nothing.
    window->cMod->setCurrentIndex(window->cMod->findText("defrag"));
    EXPECT_TRUE(Warning());
    window->cSelectedMap->setText("typed");
    EXPECT_EQ(window->cMap->Text(window->cMap->CurrentRow(), 0), "q3dm17");
    EXPECT_TRUE(window->cBat->toPlainText().contains("+map typed "));
}

TEST_F(CatalogueWindow, ShowModMapsWithNoModChosenListsEveryMap) {
    Open("[maps]\r\ncount=2\r\nmap0name=a\r\nmap0mod=x\r\nmap1name=b\r\nmap1mod=y\r\n");
    EXPECT_EQ(window->cMod->currentText(), "");
    window->btnShowModMapsClick();
    EXPECT_EQ(window->cMap->RowCount(), 2);
}

TEST_F(CatalogueWindow, RepackCaptionFollowsTheSelection) {
    Open();
    window->cMap->clearSelection();
    window->UpdateRepackButton();
    EXPECT_EQ(window->btnRepackMaps->text(), "select maps");
    EXPECT_FALSE(window->btnRepackMaps->isEnabled());
    window->cMap->SetRowSelected(MapRow("baseq3", "q3tourney6_ctf"), true);
    EXPECT_EQ(window->btnRepackMaps->text(), "repack q3tourne");
    EXPECT_TRUE(window->btnRepackMaps->isEnabled());
    window->cMap->SetRowSelected(MapRow("cpma", "cpm1"), true);
    window->cMap->SetRowSelected(MapRow("defrag", "st1"), true);
    EXPECT_EQ(window->btnRepackMaps->text(), "repack 3 maps");
}

TEST_F(CatalogueWindow, StartWithoutAMatchingRowKeepsTheDesignedCaption) {
    Open("[maps]\r\nselected=nowhere\r\n");
    EXPECT_EQ(window->btnRepackMaps->text(), "repack maps");
    EXPECT_TRUE(window->btnRepackMaps->isEnabled());
    EXPECT_FALSE(Warning());  // no map of that name: nothing to warn about
    QTest::keyClick(window->cMap, Qt::Key_Down);
    EXPECT_EQ(window->btnRepackMaps->text(), "select maps");
}

TEST_F(CatalogueWindow, ArrowKeysCarryTheFocusedMapIntoTheCommandLine) {
    Open();
    window->cMap->setFocus();
    window->cMap->SetCurrentRow(0);
    EXPECT_EQ(window->cSelectedMap->text(), "q3dm17");
    QTest::keyClick(window->cMap, Qt::Key_Down);
    EXPECT_EQ(window->cSelectedMap->text(), "q3tourney6_ctf");
    QTest::keyClick(window->cMap, Qt::Key_Down);
    EXPECT_EQ(window->cSelectedMap->text(), "cpm1");
    EXPECT_TRUE(window->cBat->toPlainText().contains("+map cpm1 "));
}

TEST_F(CatalogueWindow, RescanModsFindsTheModsStoresThemAndKeepsTheChoice) {
    Open();
    game.Write("baseq3/pak0.pk3", "");
    game.Write("DeFrag/df.PK3", "");
    game.Write("notamod/sub/x.pk3", "");
    window->show();
    window->btnRescanModesClick();
    QStringList items;
    for (int i = 0; i < window->cMod->count(); ++i)
        items << window->cMod->itemText(i);
    EXPECT_EQ(items, (QStringList{"baseq3", "defrag"}));
    EXPECT_EQ(window->cMod->currentText(), "defrag");
    EXPECT_TRUE(window->cMod->view()->isVisible());
    window->cMod->hidePopup();
    const std::string ini = game.Read("fraglane.ini");
    EXPECT_NE(ini.find("count=2\r\nmod0=baseq3\r\nmod1=defrag\r\nmod2=cpma\r\n"), std::string::npos)
        << ini;
    EXPECT_EQ(Cli({"list", "mods"}), "baseq3\ndefrag\n");
}

TEST_F(CatalogueWindow, RosterAddsOneLinePerSelectedBotAndRemovesTheSelectedLines) {
    Open();
    window->cSkill->setText("9");
    window->cTeam->setCurrentText("blue");
    for (int i = 0; i < window->cBot->RowCount(); ++i)
        window->cBot->SetRowSelected(i, true);
    window->btnAddBotClick();
    EXPECT_EQ(window->cSelectedBots->count(), 3);
    EXPECT_EQ(window->cSelectedBots->item(0)->text(), "addbot anarki 9 blue");
    EXPECT_EQ(window->cSelectedBots->item(2)->text(), "addbot dfbot 9 blue");
    window->cBot->clearSelection();
    window->cBot->SetRowSelected(1, true);
    window->cSkill->setText("x");
    window->cTeam->setCurrentText("");
    window->btnAddBot->setFocus();
    QTest::keyClick(window->btnAddBot, Qt::Key_Return);  // Enter presses the focused button
    QTRY_COMPARE(window->cSelectedBots->count(), 4);
    EXPECT_EQ(window->cSelectedBots->item(3)->text(), "addbot sarge 0 ");
    EXPECT_TRUE(window->cBat->toPlainText().endsWith(
        " +addbot anarki 9 blue +addbot sarge 9 blue +addbot dfbot 9 blue +addbot sarge 0 "));
    // Remove the first and third of the four lines.
    window->cSelectedBots->item(0)->setSelected(true);
    window->cSelectedBots->item(2)->setSelected(true);
    window->btnDelBotsClick();
    ASSERT_EQ(window->cSelectedBots->count(), 2);
    EXPECT_EQ(window->cSelectedBots->item(0)->text(), "addbot sarge 9 blue");
    EXPECT_EQ(window->cSelectedBots->item(1)->text(), "addbot sarge 0 ");
    EXPECT_TRUE(window->cBat->toPlainText().endsWith(" +addbot sarge 9 blue +addbot sarge 0 "));
}

TEST_F(CatalogueWindow, AddingTheSameBotTwiceGivesTwoLinesAndSkillAloneChangesNothing) {
    Open();
    window->cBot->SetRowSelected(0, true);
    window->btnAddBotClick();
    window->btnAddBotClick();
    EXPECT_EQ(window->cSelectedBots->count(), 2);
    const QString bat = window->cBat->toPlainText();
    EXPECT_TRUE(bat.endsWith("+addbot anarki 4 red +addbot anarki 4 red"));
    window->cSkill->setValue(1);
    window->cTeam->setCurrentText("blue");
    EXPECT_EQ(window->cBat->toPlainText(), bat);
    EXPECT_EQ(window->cSelectedBots->item(0)->text(), "addbot anarki 4 red");
}

}  // namespace
}  // namespace fraglane::app

namespace fraglane::app {
namespace {

TEST_F(CatalogueWindow, RotationPageAddsMovesRemovesAndKeepsItsMapsAcrossARestart) {
    Open();
    auto rotation = [&] {
        QStringList names;
        for (int i = 0; i < window->cRotationMaps->count(); ++i)
            names << window->cRotationMaps->item(i)->text();
        return names;
    };
    ASSERT_FALSE(window->cRotate->isChecked());
    const QString plain = window->cBat->toPlainText();
    window->cMap->SetRowSelected(MapRow("baseq3", "q3dm17"), true);
    window->cMap->SetRowSelected(MapRow("cpma", "cpm1"), true);
    QTest::mouseClick(window->btnAddRotation, Qt::LeftButton);
    window->cMap->SetRowSelected(MapRow("defrag", "st1"), true);
    QTest::mouseClick(window->btnAddRotation, Qt::LeftButton);  // listed names are skipped
    EXPECT_EQ(rotation(), (QStringList{"q3dm17", "cpm1", "st1"}));
    EXPECT_EQ(window->cBat->toPlainText(), plain);  // off: nothing changes
    window->cRotate->setChecked(true);
    EXPECT_TRUE(window->cBat->toPlainText().contains("+vstr rotation"));
    EXPECT_TRUE(window->cCfg->toPlainText().contains(
        "set rotation2 \"map st1; set nextmap vstr rotation0\""));

    window->cRotationMaps->setCurrentRow(2);
    QTest::mouseClick(window->btnRotationUp, Qt::LeftButton);
    EXPECT_EQ(rotation(), (QStringList{"q3dm17", "st1", "cpm1"}));
    EXPECT_TRUE(window->cRotationWarning->isHidden());  // st1 of defrag, the chosen mod
    window->cRotationMaps->setCurrentRow(2);  // cpm1 of cpma while defrag runs: the warning
    EXPECT_FALSE(window->cRotationWarning->isHidden());
    window->cRotationMaps->setCurrentRow(0);
    QTest::mouseClick(window->btnRotationDown, Qt::LeftButton);
    EXPECT_EQ(rotation(), (QStringList{"st1", "q3dm17", "cpm1"}));
    window->cRotationMaps->clearSelection();
    window->cRotationMaps->item(2)->setSelected(true);
    QTest::mouseClick(window->btnDelRotation, Qt::LeftButton);
    EXPECT_EQ(rotation(), (QStringList{"st1", "q3dm17"}));

    window.reset();  // the settings are saved
    EXPECT_EQ(Cli({"list", "rotation"}), "st1\nq3dm17\n");
    window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    window->ThreadReadCatalogue.WaitFor();  // the lists fill beside the window
    EXPECT_TRUE(window->cRotate->isChecked());
    EXPECT_EQ(rotation(), (QStringList{"st1", "q3dm17"}));
}

// A settings file as the community writes it: what cannot go into the batch line is left out
// of the texts and named on the left-out page, one click on the status bar away; names made
// on Windows read in its code page; a close writes every value back as it was.
TEST_F(CatalogueWindow, ValuesThatCannotBeUsedAreNamedAndWrittenBackUnchanged) {
    const std::string bots =
        "selectedcount=3\r\nselected0=addbot sarge 4.5 red 500 ^1Sarge\r\n"
        "selected1=addbot sarge 5 \"\" 0 \"Big Sarge\"\r\nselected2=addbot a&calc 5 red\r\n";
    Open(
        "[mods]\r\nselected=r&d\r\ncount=2\r\nmod0=baseq3\r\nmod1=r&d\r\n"
        "[maps]\r\nselected=dm_hall+beta\r\ncount=4\r\nmap0name=r&d\r\nmap0mod=baseq3\r\n"
        "map1name=ra3 maps\r\nmap1mod=baseq3\r\nmap2name=map\xE9\r\nmap2mod=baseq3\r\n"
        "map3name=ztn3tourney1\r\nmap3mod=baseq3\r\n[bots]\r\n" +
        bots + "[exec]\r\ncfgname=My Server.cfg\r\n");
    const QString line = window->cBat->toPlainText();
    EXPECT_TRUE(
        line.endsWith(" +exec  +map   +addbot sarge 4.5 red 500 ^1Sarge +addbot sarge 5 "
                      "\"\" 0 \"Big Sarge\""))
        << line.toStdString();
    EXPECT_EQ(Rows(window->cMap), (QStringList{"baseq3\tmap\u00e9", "baseq3\tztn3tourney1"}));
    EXPECT_EQ(window->StatusText(0).toStdString(),
              "3 names left out; left out map dm_hall+beta: \"+\" cannot stand in a command line");
    const int page = window->PageConfig->indexOf(window->TabSheetLeftOut);
    ASSERT_TRUE(window->PageConfig->isTabVisible(page));
    QTest::mouseClick(window->StatusPanels[0], Qt::LeftButton);
    EXPECT_EQ(window->PageConfig->currentIndex(), page);
    EXPECT_EQ(window->cLeftOut->toPlainText().toStdString(),
              "left out map dm_hall+beta: \"+\" cannot stand in a command line\n"
              "left out bot line addbot a&calc 5 red: \"&\" cannot stand in a command line "
              "outside quotes\n"
              "left out cfg name My Server.cfg: a blank would split it in the command line\n"
              "left out catalogue mod r&d: \"&\" cannot stand in a command line\n"
              "left out catalogue map r&d (baseq3): \"&\" cannot stand in a command line\n"
              "left out catalogue map ra3 maps (baseq3): a blank would split it in the command "
              "line");
    window->cMap->SetCurrentRow(MapRow("baseq3", QString::fromUtf16(u"map\u00e9")));
    EXPECT_TRUE(window->cBat->toPlainText().contains(QString::fromUtf16(u"+map map\u00e9 ")));
    EXPECT_EQ(ToStd(window->cSelectedMap->text()), "map\xE9");  // the catalogued bytes
    window.reset();
    // The map was chosen anew, and keeps its bytes; every other value is as the file held it.
    const std::string saved = game.Read("fraglane.ini");
    for (const std::string& kept :
         {std::string("selected=r&d\r\n"), bots, std::string("cfgname=My Server.cfg\r\n"),
          std::string("map1name=ra3 maps\r\n")})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n" << saved;
    EXPECT_NE(saved.find("[maps]\r\nselected=map\xE9\r\n"), std::string::npos) << saved;
}

// What is saved is the composed bytes, not a memo's reading of them (which turns U+2028 into a
// line break); a stored value is checked while it reads as stored, whatever bytes read alike.
TEST_F(CatalogueWindow, SavedBatchIsTheComposedBytesAndLookAlikeValuesStayChecked) {
    Open(
        "[mods]\r\nselected=baseq3\r\ncount=1\r\nmod0=baseq3\r\n"
        "[maps]\r\nselected=\xC3\xA9&calc\r\nrotationcount=1\r\nrotation0=\xE9&calc\r\n"
        "[bots]\r\nselectedcount=1\r\nselected0=addbot sarge 1 red 0 a\xE2\x80\xA8"
        "b\r\n");
    EXPECT_FALSE(window->cBat->toPlainText().contains(QStringLiteral("&calc")));
    EXPECT_TRUE(window->cLeftOut->toPlainText().startsWith(
        QString::fromUtf16(u"left out map \u00e9&calc: the byte \\xC3 reads in cmd")));
    QTest::mouseClick(window->btnSaveBat, Qt::LeftButton);
    EXPECT_EQ(game.Read("runmap__ffa.bat"),
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +exec "
              "unknown.cfg +map   +addbot sarge 1 red 0 a\xE2\x80\xA8"
              "b");
    window.reset();
    EXPECT_NE(game.Read("fraglane.ini").find("selected=\xC3\xA9&calc\r\n"), std::string::npos);
}

}  // namespace
}  // namespace fraglane::app
