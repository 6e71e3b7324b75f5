#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "app/fake_desktop.h"
#include "app/qt_convert.h"
#include "app/window_controls.h"
#include "launch/game_directory.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/engine.h"
#include "server/server_run.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "support/served_game.h"
#endif

namespace fraglane::app {
namespace {

class FilesWindowTest : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    test::FakeDesktop desktop;
    std::unique_ptr<T_Main> window;

    void Open(std::string_view settings =
                  "[mods]\nselected=baseq3\ncount=2\nmod0=baseq3\nmod1=defrag\n") {
        game.MakeDir("baseq3");
        game.MakeDir("defrag");
        game.Write("fraglane.ini", settings);
        window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    }
    int Index(QWidget* page) const { return window->PageConfig->indexOf(page); }
    QStringList PopupCaptions() const {
        QStringList out;
        for (QAction* a : window->PopupDir->actions())
            out << a->text();
        return out;
    }
};

TEST_F(FilesWindowTest, ConfigPopupOffersModConfigsAndPicksTheListedName) {
    Open();
    for (const char* name : {"baseq3/server.cfg", "baseq3/Q3Config.cfg", "baseq3/readme.txt",
                             "baseq3/run.bat", "baseq3/R&D.CFG"}) {
        game.Write(name, "seta x 1\r\n");
    }
    window->cCfgNameButtonClick();
    window->PopupDir->hide();
    EXPECT_EQ(PopupCaptions(), (QStringList{"r&&d.cfg", "server.cfg"}));
    window->PopupDir->actions().at(0)->trigger();
    EXPECT_EQ(window->cCfgName->text(), "r&d.cfg");
    EXPECT_TRUE(window->PageConfig->isTabVisible(Index(window->TabSheetCfg)));
    EXPECT_EQ(window->PageConfig->tabText(Index(window->TabSheetCfg)), "baseq3\\r&d.cfg");
    EXPECT_TRUE(window->cBat->toPlainText().contains("+exec r&d.cfg +map"));
}

TEST_F(FilesWindowTest, BatchPopupOffersGameDirectoryBatchFiles) {
    Open();
    game.Write("Start.BAT", "x");
    game.Write("other.bat", "y");
    game.Write("notes.txt", "");
    window->cBatNameButtonClick();
    window->PopupDir->hide();
    EXPECT_EQ(PopupCaptions(), (QStringList{"other.bat", "start.bat"}));
    window->PopupDir->actions().at(1)->trigger();
    EXPECT_EQ(window->cBatName->text(), "start.bat");
    EXPECT_EQ(window->cLoadedBat->toPlainText(), "x");
    // The next composition puts the automatic name back.
    window->cTimelimit->setValue(3);
    EXPECT_EQ(window->cBatName->text(), "runmap__ffa.bat");
}

TEST_F(FilesWindowTest, TypingANameLoadsTheFileAsSoonAsItNamesOne) {
    Open();
    game.Write("baseq3/duel.cfg", "seta g_gametype 1\r\nseta fraglimit 10\r\n");
    window->cCfgName->clear();
    QTest::keyClicks(window->cCfgName, "duel.cf");
    EXPECT_FALSE(window->PageConfig->isTabVisible(Index(window->TabSheetCfg)));
    EXPECT_TRUE(window->cBat->toPlainText().contains("+exec duel.cf +map"));
    QTest::keyClicks(window->cCfgName, "g");
    EXPECT_TRUE(window->PageConfig->isTabVisible(Index(window->TabSheetCfg)));
    EXPECT_EQ(window->cLoadedCfg->toPlainText(), "seta g_gametype 1\nseta fraglimit 10");
    // The page stays visible, showing the last file found.
    QTest::keyClicks(window->cCfgName, "x");
    EXPECT_TRUE(window->PageConfig->isTabVisible(Index(window->TabSheetCfg)));
    EXPECT_EQ(window->PageConfig->currentIndex(), Index(window->ready));
}

TEST_F(FilesWindowTest, SavedFilesEqualTheMemos) {
    Open();
    window->cCfgName->setText("server.cfg");
    window->btnSaveCfgClick();
    window->btnSaveBatClick();
    const std::string cfg = game.Read("baseq3/server.cfg");
    EXPECT_EQ(cfg, ToStd(window->cCfg->toPlainText().replace("\n", "\r\n") + "\r\n"));
    EXPECT_EQ(game.Read("runmap__ffa.bat"), ToStd(window->cBat->toPlainText()));
    EXPECT_TRUE(window->PageConfig->isTabVisible(Index(window->TabSheetBat)));
    EXPECT_EQ(window->PageConfig->tabText(Index(window->TabSheetBat)), "runmap__ffa.bat");
}

// The red line beside the cfg name says when the file that the batch line execs is not the
// composed config: judged after each composition and again when the window is activated (the
// file may be changed by another program); whatever lies under the name, it only reads a few
// bytes more than the config. Showing it or hiding it moves nothing.
TEST_F(FilesWindowTest, CfgWarningSaysWhenTheSavedFileIsNotTheComposedConfig) {
    Open();
    window->show();
    // The page areas and what the lower page holds (the tab bars change as pages show).
    const auto geometries = [this] {
        std::vector<QRect> all = {window->PageControl->geometry(), window->PageConfig->geometry()};
        for (const QWidget* w : window->ready->findChildren<QWidget*>()) {
            if (w != window->cCfgWarning)
                all.push_back(w->geometry());
        }
        return all;
    };
    const auto before = geometries();
    const std::string path = game.Path("baseq3/unknown.cfg");
    const QString differs = "the server reads the saved baseq3\\unknown.cfg, not what is shown";
    const struct {
        const char* what;
        std::function<void()> act;
        QString warning;  // empty: hidden
    } steps[] = {
        {"first start", [] {}, "the server reads no baseq3\\unknown.cfg: save cfg first"},
        {"save cfg", [&] { window->btnSaveCfg->click(); }, ""},
        {"a byte changed by another program",
         [&] {
             std::string text = game.Read("baseq3/unknown.cfg");
             text[5] = 'X';
             game.Write("baseq3/unknown.cfg", text);
         },
         differs},
        {"save cfg", [&] { window->btnSaveCfg->click(); }, ""},
        {"an option changed", [&] { window->cTimelimit->setValue(7); }, differs},
        {"save cfg", [&] { window->btnSaveCfg->click(); }, ""},
        {"a huge file that starts with the config",
         [&] { std::filesystem::resize_file(path, 64 << 20); }, differs},
        {"removed", [&] { std::filesystem::remove(path); },
         "the server reads no baseq3\\unknown.cfg: save cfg first"},
        {"a folder under the name", [&] { game.MakeDir("baseq3/unknown.cfg"); }, differs},
        {"the folder gone, another mod",
         [&] {
             std::filesystem::remove(path);
             window->cMod->setCurrentText("defrag");
         },
         "the server reads no defrag\\unknown.cfg: save cfg first"},
        {"no cfg name", [&] { window->cCfgName->clear(); },
         "the server reads no cfg file: the cfg name is empty"},
        {"a name of markup", [&] { window->cCfgName->setText("<b>x.cfg"); },
         "the server reads no defrag\\<b>x.cfg: save cfg first"},
#ifndef _WIN32  // "<" and ">" cannot stand in a Windows file name
        {"save cfg", [&] { window->btnSaveCfg->click(); }, ""},
#endif
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(window.get(), &activate);
        EXPECT_EQ(window->cCfgWarning->isHidden(), step.warning.isEmpty());
        if (!step.warning.isEmpty()) {
            EXPECT_EQ(window->cCfgWarning->text(), step.warning);
        }
        EXPECT_EQ(geometries(), before);
    }
    EXPECT_TRUE(desktop.errors.isEmpty());
    EXPECT_EQ(window->cCfgWarning->textFormat(), Qt::PlainText);
}

TEST_F(FilesWindowTest, NoModSelectedSavesIntoTheGameDirectory) {
    Open("[mods]\nselected=none\n");
    window->cCfgName->setText("plain.cfg");
    window->btnSaveCfgClick();
    EXPECT_TRUE(game.Exists("plain.cfg"));
    EXPECT_EQ(window->PageConfig->tabText(Index(window->TabSheetCfg)), "\\plain.cfg");
}

TEST_F(FilesWindowTest, FailedSaveShowsTheErrorAndDoesNothingElse) {
    Open();
    game.MakeDir("runmap__ffa.bat");  // a directory where the batch file should go
    QTest::mouseClick(window->btnStart, Qt::LeftButton);
    ASSERT_EQ(desktop.errors.size(), 1);
    EXPECT_EQ(desktop.errors[0], ToQt("Cannot create file " + game.Native() + "runmap__ffa.bat"));
    EXPECT_TRUE(desktop.opened.isEmpty());
    EXPECT_FALSE(window->PageConfig->isTabVisible(Index(window->TabSheetBat)));

    // A typed batch name is held to the cfg name's rule: it may not leave the game directory,
    // not even to come back into it.
    std::string self = game.Program();
    self.pop_back();
    self = self.substr(self.rfind('\\') + 1);
    window->cBatName->setText(ToQt("..\\" + self + "\\typed.bat"));
    QTest::mouseClick(window->btnSaveBat, Qt::LeftButton);
    ASSERT_EQ(desktop.errors.size(), 2);
    EXPECT_EQ(desktop.errors[1],
              ToQt("Cannot create file " +
                   platform::DisplayPath(game.Program() + "..\\" + self + "\\typed.bat")));
    EXPECT_FALSE(game.Exists("typed.bat"));
}

TEST_F(FilesWindowTest, StartMinimisesSavesThenOpensTheBareNameInTheGameDirectory) {
    if (platform::StartsEngineItself())
        GTEST_SKIP() << "start runs the engine here";
    Open("[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[advanced]\nminonstart=1\n");
    window->show();
    std::string onDisk;
    bool minimised = false;
    desktop.onOpen = [&] {
        onDisk = game.Read("runmap__ffa.bat");
        minimised = window->isMinimized() || (window->windowState() & Qt::WindowMinimized);
    };
    QTest::mouseClick(window->btnStart, Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened[0].first, "runmap__ffa.bat");
    EXPECT_EQ(desktop.opened[0].second, ToQt(game.Native()));
    EXPECT_EQ(onDisk, ToStd(window->cBat->toPlainText()));
    EXPECT_TRUE(minimised);
}

#ifdef _WIN32
// "start" followed to the game: the shell opens the saved batch file in the game directory,
// which runs quake3.exe (here a stand-in that records how it was run) with exactly the words
// of the batch line, a quoted host name as one word, in a game directory named beyond ASCII.
TEST_F(FilesWindowTest, StartRunsTheBatchLineThroughTheShellInTheGameDirectory) {
    const std::string folder = "jeu \xc3\xa9 \xc3\xbc";
    const std::string exeDir = game.Program() + folder + "\\";
    game.MakeDir(folder + "/baseq3");
    std::filesystem::copy_file(
        std::filesystem::path(platform::ToNative(
            platform::ExtractFilePath(platform::ProgramFile()) + "fraglane_record_start.exe")),
        std::filesystem::path(std::u8string(
            reinterpret_cast<const char8_t*>(game.Path(folder + "/quake3.exe").c_str()))));
    game.Write(
        folder + "/fraglane.ini",
        "[mods]\nselected=baseq3\ncount=1\nmod0=baseq3\n[maps]\nselected=q3dm17\n"
        "[bots]\nselectedcount=1\nselected0=addbot sarge 4 blue\n"
        "[advanced]\npre_cmd=+set sv_hostname \"Frag Lane\" +set g_motd \"a \\\"b\\\" c\"\n");
    window = std::make_unique<T_Main>(exeDir, exeDir + "fraglane.ini", desktop);
    desktop.realShell = true;
    QTest::mouseClick(window->btnStart, Qt::LeftButton);
    const std::string recorded = folder + "/started.txt";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!game.Exists(recorded) && std::chrono::steady_clock::now() < until)
        QTest::qWait(100);
    ASSERT_TRUE(game.Exists(recorded)) << "quake3.exe did not run; opened " << desktop.opened.size()
                                       << ", errors " << desktop.errors.join("; ").toStdString();
    std::vector<std::string> lines;
    std::istringstream in(game.Read(recorded));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<std::string> words = launch::SplitCommandWords(ToStd(window->cBat->toPlainText()));
    words.front() = game.Path(folder);  // the first line: the working directory
    EXPECT_EQ(lines, words);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Frag Lane"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "a \"b\" c"), lines.end());
}
#endif

#ifndef _WIN32  // the real dedicated server, on the loopback
// "start" on the real engine: a missing engine and one that ends at once are said; the page
// follows the log and shows the map and the bot from the server's own answer; "start" while it
// runs asks first; a new window finds it; "stop" ends it and the page says so.
TEST_F(FilesWindowTest, StartRunsTheEngineWhichThePageFollowsUntilStopEndsIt) {
    if (!platform::StartsEngineItself() || !fraglane::test::EngineInstalled())
        GTEST_SKIP() << "no engine that start runs here";
    fraglane::test::ServeOpenArena(game);
    window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    const QString engine = window->cEngine->text();
    const auto serve = [](const std::function<bool()>& done, int seconds) {
        return fraglane::test::WaitFor(done, std::chrono::seconds(seconds), [] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        });
    };
    window->cEngine->setText("/nowhere/ioq3ded");
    QTest::mouseClick(window->btnStart, Qt::LeftButton);
    EXPECT_EQ(desktop.errors,
              QStringList{"engine is not a program this user may run: /nowhere/ioq3ded"});
    EXPECT_TRUE(game.Exists("runmap_baseoa_oa_dm1_ffa.bat"));  // saved, as start always does

    window->cEngine->setText("/bin/false");  // an engine that ends at once
    QTest::mouseClick(window->btnStart, Qt::LeftButton);
    EXPECT_TRUE(serve([&] { return desktop.errors.size() == 2; }, 5));
    EXPECT_TRUE(desktop.errors.value(1).startsWith("The server ended "))
        << ToStd(desktop.errors.value(1));
    EXPECT_FALSE(game.Exists(server::PidFileName));

    window->show();  // the page takes log lines only while it is shown
    window->cEngine->setText(engine);
    window->cRconPassword->setText("fraglane-test-pw");
    QTest::mouseClick(window->btnSaveCfg, Qt::LeftButton);  // the server reads it from there
    const auto startAndWait = [&] {
        QTest::mouseClick(window->btnStart, Qt::LeftButton);
        EXPECT_EQ(window->PageConfig->currentWidget(), window->TabServer);
        EXPECT_TRUE(serve(
            [&] {
                return window->cServerLog->toPlainText().contains("Server: oa_dm1") &&
                       window->cServerStatus->text().endsWith(", map oa_dm1, 1 player");
            },
            30))
            << ToStd(window->cServerStatus->text()) << game.Read("fraglane-server.log");
    };
    startAndWait();
    const int tab = window->PageConfig->indexOf(window->TabServer);
    EXPECT_EQ(window->PageConfig->tabText(tab), "server: running");
    // The console: rcon with the stored password, the answer in the page.
    window->cConsole->setText("status");
    QTest::keyClick(window->cConsole, Qt::Key_Return);
    EXPECT_TRUE(serve([&] { return window->cServerLog->toPlainText().contains("map: oa_dm1"); }, 5))
        << ToStd(window->cServerLog->toPlainText());
    EXPECT_FALSE(window->cServerLog->toPlainText().contains("fraglane-test-pw"));
    const auto running = server::RunningServer(game.Program());
    ASSERT_TRUE(running);
    const QString pid = QString::number(running->enginePid);

    QTest::mouseClick(window->btnStart, Qt::LeftButton);  // answered "No"
    EXPECT_EQ(desktop.questions, QStringList{"A server is running (process " + pid +
                                             "). Stop it and start the new one?"});
    EXPECT_EQ(server::RunningServer(game.Program()), running);

    window.reset();
    window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    window->show();
    EXPECT_TRUE(window->cServerStatus->text().startsWith("running, process " + pid + ", up "))
        << ToStd(window->cServerStatus->text());
    QTest::mouseClick(window->btnStopServer, Qt::LeftButton);
    EXPECT_TRUE(serve([&] { return window->cServerStatus->text() == "stopped"; }, 12));
    EXPECT_FALSE(platform::IsAlive(running->watcher));
    EXPECT_FALSE(game.Exists(server::PidFileName));
    EXPECT_EQ(window->PageConfig->tabText(tab), "server");

    // A crash is no stop: the page and the tab say so.
    startAndWait();
    ::kill(static_cast<pid_t>(server::RunningServer(game.Program())->enginePid), SIGSEGV);
    EXPECT_TRUE(serve(
        [&] { return window->cServerStatus->text().startsWith("crashed (signal 11) at "); }, 10))
        << ToStd(window->cServerStatus->text());
    EXPECT_EQ(window->PageConfig->tabText(tab), "server: crashed");
    EXPECT_EQ(desktop.errors.size(), 2);
}
#endif

}  // namespace
}  // namespace fraglane::app
