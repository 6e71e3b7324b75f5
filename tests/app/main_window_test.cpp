#include "app/window_controls.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

#include "app/app_main.h"
#include "app/fake_desktop.h"
#include "app/qt_convert.h"
#include "support/temp_dir.h"

namespace fraglane::app {
namespace {

using test::FakeDesktop;

class WindowTest : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    FakeDesktop desktop;
    std::unique_ptr<T_Main> window;

    std::string Ini() const { return game.Program() + "fraglane.ini"; }
    void Open(std::string_view settings = {}) {
        if (!settings.empty())
            game.Write("fraglane.ini", settings);
        window = std::make_unique<T_Main>(game.Program(), Ini(), desktop);
    }
    void Close() { window.reset(); }
    QString Bat() const { return window->cBat->toPlainText(); }
};

TEST(Startup, RefusalWithoutQuake3CreatesNothing) {
    fraglane::test::TempDir dir;
    FakeDesktop desktop;
    EXPECT_EQ(RunFraglane(dir.Program() + "fraglane", desktop), 0);
    ASSERT_EQ(desktop.startupErrors.size(), 1);
    EXPECT_TRUE(desktop.startupErrors[0].startsWith("Run in quake III directory!"));
    EXPECT_EQ(dir.Listing(), "");
}

// Texts of the core are bytes: UTF-8 reads as the letters it writes, a name that is not
// UTF-8 (from an archive made on Windows in its code page) as Windows-1252, and every byte
// comes back; a name typed as such a name reads takes its bytes.
TEST(TextBytes, Utf8ShowsAsItsLettersOtherBytesAsWindows1252AndEveryByteComesBack) {
    const struct {
        std::string bytes;
        std::u16string shown;
    } table[] = {
        {"q3dm17", u"q3dm17"},
        {"jeu \xc3\xa9 \xc3\xbc", u"jeu \u00e9 \u00fc"},
        {"\xf0\x9f\x8e\xae", u"\U0001F3AE"},
        {"map\xe9", u"map\u00e9"},                            // a lone Windows-1252 letter
        {"\x80\x8a\x9f\x81", u"\u20ac\u0160\u0178\u0081"},  // the 0x80 row, one undefined
        {"\xc0\xaf\xed\xa0\x80", u"\u00c0\u00af\u00ed\u00a0\u20ac"},  // overlong, surrogate
        {"\xe2\x82", u"\u00e2\u201a"},                            // cut short
        {"\xc3\xa9t\xe9", u"\u00e9t\u00e9"},  // UTF-8 and Windows-1252 in one text
        {"\xef\xbb\xbfq3", u"\xfeffq3"},  // no byte-order mark: a letter like any other
        {"\xef\xbf\xbeq3", u"\xfffeq3"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ToQt(row.bytes).toStdU16String(), row.shown) << row.bytes;
        EXPECT_EQ(ToStd(ToQt(row.bytes)), row.bytes);
    }
    EXPECT_EQ(ToStd(QString::fromUtf16(u"\u00e9")), "\xc3\xa9");  // typed in an edit
    EXPECT_EQ(ToStd(QString::fromUtf16(u"map\u00e9")), "map\xe9");  // reads as a shown name
}

TEST(Startup, SettingsFileIsNamedAfterTheProgramFile) {
    EXPECT_EQ(SettingsFileOf("\\g\\fraglane"), "\\g\\fraglane.ini");
    EXPECT_EQ(SettingsFileOf("\\g\\Fraglane.exe"), "\\g\\Fraglane.ini");
}

#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
// A settings file that is a named pipe: the window does not wait for a writer; it shows the
// message at the start and where it would save at the end, and leaves the pipe as it is.
TEST_F(WindowTest, SettingsFileThatIsANamedPipeShowsItsMessageInsteadOfWaiting) {
    ASSERT_EQ(::mkfifo(game.Path("fraglane.ini").c_str(), 0644), 0);
    // Should the window wait on the pipe after all, this opens the pipe's other end now and
    // then: the test then fails instead of hanging.
    const std::jthread unblock([pipe = game.Path("fraglane.ini")](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    Open();
    const QString message =
        ToQt("Unable to read " + game.Path("fraglane.ini") + ": not a regular file");
    EXPECT_EQ(desktop.errors, QStringList{message});
    Close();
    EXPECT_EQ(desktop.errors, (QStringList{message, message}));
    struct stat st {};
    ASSERT_EQ(::lstat(game.Path("fraglane.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
#endif

TEST_F(WindowTest, FirstStartShowsTheDefaultsAndComposes) {
    Open();
    EXPECT_EQ(window->windowTitle(), "Fraglane");
    EXPECT_EQ(window->minimumSize(), QSize(674, 575));
    EXPECT_EQ(window->pos(), QPoint(327, 173));
    EXPECT_EQ(window->cGametype->itemIndex(), 0);
    EXPECT_EQ(window->cTimelimit->value(), 15);
    EXPECT_EQ(window->cFraglimit->value(), 999);
    EXPECT_TRUE(window->cDedicated->isChecked());
    EXPECT_EQ(window->cDisplayMode->itemIndex(), 4);
    EXPECT_EQ(window->cDisplayMode->itemText(11), "856 x 480 ");
    EXPECT_EQ(window->cSkill->value(), 5);
    EXPECT_EQ(window->cTeam->currentText(), "blue");
    EXPECT_EQ(window->cCfgName->text(), "unknown.cfg");
    EXPECT_EQ(window->cMod->count(), 0);
    EXPECT_FALSE(
        window->PageControl->isTabVisible(window->PageControl->indexOf(window->TabDisplay)));
    EXPECT_FALSE(
        window->PageConfig->isTabVisible(window->PageConfig->indexOf(window->TabSheetCfg)));
    EXPECT_FALSE(
        window->PageConfig->isTabVisible(window->PageConfig->indexOf(window->TabSheetBat)));
    EXPECT_EQ(Bat(),
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +set fs_game "
              " +exec unknown.cfg +map  ");
    EXPECT_EQ(window->cCfg->document()->blockCount(), 15);
    EXPECT_TRUE(game.Exists("levelshots"));
    EXPECT_TRUE(game.Exists("temp"));
    EXPECT_FALSE(game.Exists("fraglane.ini"));
}

// What a first run meets: the default password is warned about while the server is
// dedicated, and every upper tab names its page in full in its tooltip.
TEST_F(WindowTest, AGuessablePasswordIsWarnedAboutAndTabsCarryTheirCaptions) {
    Open();
    EXPECT_FALSE(window->cRconWarning->isHidden());  // dedicated, the one-character default
    window->cRconPassword->setText("1234567");
    EXPECT_FALSE(window->cRconWarning->isHidden());
    window->cRconPassword->setText("12345678");
    EXPECT_TRUE(window->cRconWarning->isHidden());
    window->cRconPassword->setText("*");
    window->cDedicated->click();
    EXPECT_TRUE(window->cRconWarning->isHidden());
    for (int i = 0; i < window->PageControl->count(); ++i)
        EXPECT_EQ(window->PageControl->tabToolTip(i), window->PageControl->tabText(i));
    // A status text that does not fit its panel is whole in the panel's tooltip.
    window->show();
    const QString longText = "scaning maps and bots... press <esc> to cancel, and then some";
    window->SetStatusText(0, longText);
    EXPECT_EQ(window->StatusText(0), longText);
    EXPECT_EQ(window->StatusPanels[0]->toolTip(), longText);
    window->SetStatusText(0, "done");
    EXPECT_EQ(window->StatusPanels[0]->toolTip(), "");
}

TEST_F(WindowTest, CtrlTabGoesThroughTheVisiblePagesFromAnyFocus) {
    Open();
    window->show();
    window->PageControl->setCurrentWidget(window->TabBots);
    QTest::keyClick(window->cBot, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window->PageControl->currentWidget(), window->TabAdvanced);  // "display" is hidden
    window->PageControl->setCurrentWidget(window->TabMap);
    QTest::keyClick(window->cMod, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window->PageControl->currentWidget(), window->TabBots);
    QTest::keyClick(window->cBat, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->PageControl->currentWidget(), window->TabMap);
    // Tab reads down each column, then the next one.
    window->PageControl->setCurrentWidget(window->TabGameOptions);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const struct {
        QWidget* from;
        QWidget* to;
    } steps[] = {{window->cDedicated, window->cPure},
                 {window->cFriendlyFire, window->cTimelimit},
                 {window->cCom_HunkMegs, window->cWeaponRespawn},
                 {window->cRconPassword, window->cAllowDownload}};
    for (const auto& step : steps) {
        step.from->setFocus();
        QTest::keyClick(step.from, Qt::Key_Tab);
        EXPECT_TRUE(step.to->hasFocus()) << ToStd(step.from->objectName());
    }
}

TEST_F(WindowTest, ControlsCarryTheirCaptionsAndHints) {
    Open();
    EXPECT_EQ(window->PageControl->tabText(0), "game options");
    EXPECT_EQ(window->PageControl->tabText(4), "advanced");
    EXPECT_EQ(window->PageControl->iconSize(), QSize(64, 64));
    EXPECT_EQ(window->PageConfig->tabText(0), "ready");
    EXPECT_EQ(window->cGametype->title(), "  gametype  ");
    EXPECT_EQ(window->cGametype->itemText(7), "harvester");
    EXPECT_EQ(window->cMaxGameClients->toolTip(), "g_maxGameClients & sv_maxclients");
    EXPECT_EQ(window->cPure->toolTip(), "sv_pure (if 1 maps used only in pk3 files)");
    EXPECT_EQ(window->btnRepackMaps->text(), "repack maps");
    EXPECT_TRUE(window->btnRepackMaps->isEnabled());
    EXPECT_TRUE(window->cErrorLoadMapInfo->isHidden());  // judged on the stored map: none
    EXPECT_EQ(window->RxLabel1->text(), "Fraglane 1.7");
    EXPECT_EQ(window->cMovement->itemText(2),
              "sync (sv_maxfps 125, g_synchronousClients 1, pmove_fixed 1, pmove_msec 4) mountain");
    EXPECT_EQ(window->StatusPanels[0]->width(), 250);
    EXPECT_EQ(window->StatusPanels[1]->width(), 100);
    EXPECT_EQ(window->StatusPanels[2]->width(), 50);
    EXPECT_EQ(window->PageControl->height(), 301);
}

TEST_F(WindowTest, EveryOptionChangeRecomposes) {
    Open();
    QTest::keyClicks(window->cTimelimit->findChild<QLineEdit*>(), "0");
    EXPECT_EQ(window->cCfg->document()->findBlockByNumber(1).text(), "seta timelimit 150");
    window->cTimelimit->setText("x");
    EXPECT_EQ(window->cCfg->document()->findBlockByNumber(1).text(), "seta timelimit 0");
    window->cGametype->setItemIndex(4);
    EXPECT_EQ(window->cBatName->text(), "runmap___ctf.bat");
    window->cPure->setChecked(false);
    EXPECT_TRUE(Bat().contains("+set sv_pure 0"));
    window->cPost->setText("+set x 1");
    EXPECT_TRUE(Bat().endsWith(" +set x 1"));
    window->cSelectedMap->setText("q3dm17");
    EXPECT_TRUE(Bat().contains("+map q3dm17 "));
    window->cMovement->setItemIndex(1);
    EXPECT_EQ(window->cCfg->document()->blockCount(), 18);
    window->cUseQ3sdc->setChecked(true);
    EXPECT_TRUE(Bat().startsWith("q3sdc.exe"));
}

TEST_F(WindowTest, DedicatedHidesTheDisplayPage) {
    Open();
    const int display = window->PageControl->indexOf(window->TabDisplay);
    window->cDedicated->setChecked(false);
    EXPECT_TRUE(window->PageControl->isTabVisible(display));
    EXPECT_TRUE(Bat().contains("+set r_mode 4 +set r_fullscreen 1"));
    window->cDedicated->setChecked(true);
    EXPECT_FALSE(window->PageControl->isTabVisible(display));
    EXPECT_FALSE(Bat().contains("r_mode"));
}

TEST_F(WindowTest, ConfigMemoKeepsItsFirstVisibleLine) {
    Open();
    window->show();
    window->cMovement->setItemIndex(2);
    QScrollBar* bar = window->cCfg->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 3);
    bar->setValue(3);
    window->cTimelimit->setValue(20);
    EXPECT_EQ(bar->value(), 3);
}

TEST_F(WindowTest, NoCompositionWhileComposeReadyIsFalse) {
    Open();
    window->ComposeReady = false;
    const QString before = Bat();
    window->cTimelimit->setValue(1);
    window->cDedicated->setChecked(false);
    EXPECT_EQ(Bat(), before);
    EXPECT_TRUE(
        window->PageControl->isTabVisible(window->PageControl->indexOf(window->TabDisplay)));
}

TEST_F(WindowTest, HandEditedSettingsFileRestoresTheWindow) {
    Open(
        "[formplacement]\nleft=-3000\ntop=20\nwidth=100\nHeight=900\n"
        "[mods]\nselected=defrag\ncount=2\nmod0=defrag\nmod1=BaseQ3\n"
        "[maps]\nselected=st1\n[game_options]\ndedicated=0\ng_gametype=12\ntimelimit=0x1E\n"
        "[bots]\nskill=9\nteam=red\nselectedcount=1\nselected0=addbot sarge 4 blue\n"
        "[advanced]\nminonstart=1\n");
    EXPECT_EQ(window->pos(), QPoint(-3000, 20));
    EXPECT_EQ(window->size(), QSize(674, 900));
    EXPECT_EQ(window->cMod->currentText(), "defrag");
    EXPECT_EQ(window->cMod->itemText(0), "BaseQ3");
    EXPECT_EQ(window->cGametype->itemIndex(), 7);
    EXPECT_EQ(window->cTimelimit->value(), 30);
    EXPECT_TRUE(
        window->PageControl->isTabVisible(window->PageControl->indexOf(window->TabDisplay)));
    EXPECT_EQ(window->cSkill->value(), 9);
    EXPECT_EQ(window->cTeam->currentText(), "red");
    EXPECT_TRUE(window->cMinOnRun->isChecked());
    EXPECT_EQ(window->cBatName->text(), "runmap_defrag_st1_.bat");
    EXPECT_TRUE(Bat().endsWith("+map st1  +addbot sarge 4 blue"));
}

TEST_F(WindowTest, SelectedModDifferingInCaseChoosesNothing) {
    Open("[mods]\nselected=DEFRAG\ncount=1\nmod0=defrag\n");
    EXPECT_EQ(window->cMod->currentIndex(), -1);
    EXPECT_TRUE(Bat().contains("+set fs_game  +exec"));
}

TEST_F(WindowTest, CloseWritesEveryKeyButTheCatalogue) {
    Open();
    window->cTimelimit->setText("abc");
    Close();
    const std::string ini = game.Read("fraglane.ini");
    EXPECT_NE(ini.find("[formplacement]\r\nleft=327\r\ntop=173\r\nwidth=674\r\nHeight=575\r\n"),
              std::string::npos);
    EXPECT_NE(ini.find("timelimit=0\r\n"), std::string::npos);
    EXPECT_NE(ini.find("minonstart=0\r\n"), std::string::npos);
    EXPECT_EQ(ini.find("\ncount="), std::string::npos);
    EXPECT_TRUE(desktop.errors.isEmpty());
}

TEST_F(WindowTest, FailedSaveIsShownInTheErrorBox) {
    game.Write("blocked", "");
    window = std::make_unique<T_Main>(game.Program(), game.Program() + "blocked\\f.ini", desktop);
    Close();
    ASSERT_EQ(desktop.errors.size(), 1);
    EXPECT_EQ(desktop.errors[0], ToQt("Unable to write to " + game.Path("blocked/f.ini")));
}

TEST_F(WindowTest, WebSiteLabelOpensTheProjectPage) {
    Open();
    window->show();
    window->PageControl->setCurrentWidget(window->TabAdvanced);
    QTest::mouseClick(window->Label30, Qt::LeftButton);
    EXPECT_EQ(desktop.urls, QStringList{WebSiteAddress});
}

}  // namespace
}  // namespace fraglane::app
