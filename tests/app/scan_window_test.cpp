#include <QDir>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <any>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "app/fake_desktop.h"
#include "app/qt_convert.h"
#include "app/window_controls.h"
#include "catalogue/scan.h"
#include "cli/cli.h"
#include "platform/file_lock.h"
#include "platform/profile_file.h"
#include "support/archives.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::app {
namespace {

namespace fs = std::filesystem;

class ScanWindow : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    test::FakeDesktop desktop;
    std::unique_ptr<T_Main> window;

    void Open() {
        window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
        window->ThreadReadCatalogue.WaitFor();  // the lists fill beside the window
    }
    QStringList Rows(ListGrid* grid) const {
        QStringList rows;
        for (int i = 0; i < grid->RowCount(); ++i)
            rows << grid->Text(i, 1) + "\t" + grid->Text(i, 0);
        return rows;
    }
    std::string Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--dir", game.Native()});
        std::ostringstream out, err;
        EXPECT_EQ(cli::RunCli(args, out, err), 0) << err.str();
        return out.str();
    }
    // Names and modification times of the picture cache.
    std::string CacheState() const {
        std::string state;
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(game.Path("levelshots")))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            state += f.filename().string() + " " +
                     std::to_string(fs::last_write_time(f).time_since_epoch().count()) + "\n";
        }
        return state;
    }
};

#ifndef _WIN32
// The counts a reader of the archives gets by other means: Python's zipfile over the same
// files, by the rules the scan documents.
std::string ExpectedCounts(const std::string& mod) {
    const std::string script = R"(
import os, sys, zipfile
maps = bots = 0; names = set(); pictures = set(); icons = {}
for f in sorted(os.listdir(sys.argv[1])):
    if not f.lower().endswith('.pk3'): continue
    members = [m.replace('/', '\\') for m in zipfile.ZipFile(os.path.join(sys.argv[1], f)).namelist()]
    lower = {m.lower() for m in members}
    for m in members:
        l = m.lower()
        if l.startswith('maps\\') and l.endswith('.bsp'):
            maps += 1
            n = l.rsplit('\\', 1)[1].rsplit('.', 1)[0]
            for ext in ('.tga', '.jpg'):
                if 'levelshots\\' + n + ext in lower and not any(p.startswith(n + '.') for p in pictures):
                    pictures.add(n + ext); break
        if '_c.c' in l:
            b = m.rsplit('\\', 1)[-1][:-4]
            names.add(b.lower())
            for ext in ('.tga', '.jpg'):
                if ('models\\players\\' + b + '\\icon_default' + ext).lower() in lower:
                    pictures.add(('bot_' + b + ext).lower())
        parts = l.split('\\')
        if len(parts) == 4 and parts[:2] == ['models', 'players'] and parts[3] in ('icon_default.tga', 'icon_default.jpg'):
            icons.setdefault(parts[2], (f, []))
            if icons[parts[2]][0] == f: icons[parts[2]][1].append(parts[3][-4:])
for b in names:
    if b in icons and not any(p.startswith('bot_' + b + '.') for p in pictures):
        pictures.update('bot_' + b + ext for ext in icons[b][1])
print(maps, len(names), len(pictures))
)";
    return fraglane::test::RunCommand("python3 -c " + fraglane::test::Quote(script) + " " +
                                      fraglane::test::Quote(mod))
        .output;
}
#endif

TEST_F(ScanWindow, RescanOfTheOpenArenaArchivesFillsListsPicturesAndCatalogue) {
    ASSERT_TRUE(game.LinkOpenArena()) << "openarena-088-data is not installed";
    Cli({"rescan-mods"});
    Open();
    QTest::mouseClick(window->btnRescanMaps, Qt::LeftButton);
    EXPECT_FALSE(window->PageControl->isEnabled());
    EXPECT_FALSE(window->close());  // refused while the scan runs
    window->ThreadScanMaps.WaitFor();
    EXPECT_TRUE(window->PageControl->isEnabled() && window->PageConfig->isEnabled());
    EXPECT_EQ(window->StatusText(0), QStringLiteral("done: %1 maps, %2 bots")
                                         .arg(window->cMap->RowCount())
                                         .arg(window->cBot->RowCount()));
    // The progress went through every archive and is hidden again.
    EXPECT_TRUE(window->JobProgress->isHidden());
    const auto archives =
        std::distance(fs::directory_iterator(game.Path("baseq3")), fs::directory_iterator());
    EXPECT_EQ(window->JobProgress->maximum(), archives);
    EXPECT_EQ(window->JobProgress->value(), archives);

#ifdef _WIN32
    // No python under Wine: the Linux run checks the counts against zipfile's; here the window
    // is held to the catalogue the CLI lists below.
    const auto lines = [&](const char* what) {
        const std::string list = Cli({"list", what});
        return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
    };
    const int maps = lines("maps"), bots = lines("bots"), pictures = -1;
#else
    std::istringstream expected(ExpectedCounts(game.Path("baseq3")));
    int maps = 0, bots = 0, pictures = 0;
    expected >> maps >> bots >> pictures;
#endif
    ASSERT_GT(maps, 50);
    EXPECT_EQ(window->cMap->RowCount(), maps);
    EXPECT_EQ(window->cBot->RowCount(), bots);
    if (pictures >= 0) {
        EXPECT_EQ(static_cast<int>(std::distance(fs::directory_iterator(game.Path("levelshots")),
                                                 fs::directory_iterator())),
                  pictures);
    }
    // The lists show what the catalogue now holds, in the lists' order.
    EXPECT_EQ(Rows(window->cMap).join("\n") + "\n", ToQt(Cli({"list", "maps"})));
    EXPECT_EQ(Rows(window->cBot).join("\n") + "\n", ToQt(Cli({"list", "bots"})));

    // The rescan button of the bot page runs the same scan, which now extracts nothing.
    const std::string cache = CacheState();
    QTest::mouseClick(window->btnRescanBotes, Qt::LeftButton);
    window->ThreadScanMaps.WaitFor();
    EXPECT_EQ(window->cMap->RowCount(), maps);
    EXPECT_EQ(CacheState(), cache);
}

TEST_F(ScanWindow, EscStopsTheScanWhichKeepsItsRowsSortedAndTheOldCatalogue) {
    game.Write("fraglane.ini", "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=0\r\n");
    for (int i = 0; i < 1500; ++i) {
        fraglane::test::MakeArchive(game, "baseq3\\m" + std::to_string(10000 + i) + ".pk3",
                                    {{"maps\\z" + std::to_string(20000 - i) + ".bsp", "bsp"}});
    }
    Open();
    QTest::mouseClick(window->btnRescanMaps, Qt::LeftButton);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    window->ThreadScanMaps.WaitFor();
    EXPECT_EQ(window->StatusText(0), "done");
    EXPECT_TRUE(window->PageControl->isEnabled());
    EXPECT_LT(window->cMap->RowCount(), 1500);
    QStringList rows = Rows(window->cMap);
    QStringList sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(rows, sorted);
    EXPECT_EQ(game.Read("fraglane.ini"),
              "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=0\r\n");
    EXPECT_TRUE(window->close());
}

// Names that would act as commands, and a level shot whose name a folder takes, are counted
// in the final status; the map of that level shot keeps its row.
TEST_F(ScanWindow, SkippedNamesAndPicturesNotWrittenAreCountedInTheFinalStatus) {
    game.Write("fraglane.ini", "[mods]\r\ncount=1\r\nmod0=baseq3\r\n");
    fraglane::test::MakeArchive(game, "baseq3\\a.pk3",
                                {{"maps\\good.bsp", "bsp"},
                                 {"levelshots\\good.jpg", "jpg"},
                                 {"maps\\a;quit.bsp", "bsp"},
                                 {"maps\\x%path%.bsp", "bsp"},
                                 {"botfiles\\bots\\b|x_c.c", "bot"},
                                 {"levelshots\\a;quit.tga", "tga"}});
    Open();
    game.MakeDir("levelshots/good.jpg");
    QTest::mouseClick(window->btnRescanMaps, Qt::LeftButton);
    window->ThreadScanMaps.WaitFor();
    EXPECT_EQ(Rows(window->cMap), QStringList{"baseq3\tgood"});
    EXPECT_EQ(window->cBot->RowCount(), 0);
    EXPECT_EQ(window->StatusText(0),
              "done: 1 maps, 0 bots, 3 names skipped, 1 picture not written");
    EXPECT_FALSE(game.Exists("levelshots/a;quit.tga"));
    EXPECT_TRUE(desktop.errors.isEmpty());
}

// A scan that cannot write its pictures, or that another scan of the game directory keeps
// from running, ends with the message; the lists show the stored catalogue again, and the
// status does not say done.
TEST_F(ScanWindow, FailedScanShowsItsMessageAndTheStoredCatalogueAgain) {
    const std::string settings =
        "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=1\r\n"
        "map0name=old\r\nmap0mod=baseq3\r\n";
    fraglane::test::MakeArchive(game, "baseq3\\a.pk3", {{"maps\\new.bsp", "bsp"}});
    const struct {
        const char* what;
        std::function<std::any()> fault;  // what it returns lives through the scan
        std::string message;
    } faults[] = {
        {"a file where the picture cache belongs",
         [&] {
             fs::remove(game.Path("levelshots"));
             game.Write("levelshots", "a file where the picture cache belongs");
             return std::any();
         },
         "Unable to write to " + game.Path("levelshots/")},
        {"another scan running",
         [&] {
             platform::ProfileFile other(game.Program() + "fraglane.ini");
             return std::any(std::make_shared<platform::FileLock>(other.TryLockJob()));
         },
         catalogue::ScanRunningText},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        fs::remove_all(game.Path("levelshots"));
        game.Write("fraglane.ini", settings);
        desktop.errors.clear();
        Open();
        const std::any held = f.fault();
        QTest::mouseClick(window->btnRescanMaps, Qt::LeftButton);
        window->ThreadScanMaps.WaitFor();
        EXPECT_EQ(desktop.errors, QStringList{ToQt(f.message)});
        EXPECT_EQ(Rows(window->cMap), QStringList{"baseq3\told"});
        EXPECT_EQ(window->StatusText(0), "");
        EXPECT_TRUE(window->PageControl->isEnabled());
        EXPECT_EQ(game.Read("fraglane.ini"), settings);
        window.reset();
    }
}

}  // namespace
}  // namespace fraglane::app

namespace fraglane::app {
namespace {

TEST_F(ScanWindow, RepackOfTheSelectedMapsWritesTheArchiveAndShowsItsPath) {
    game.Write("fraglane.ini",
               "[mods]\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\ncount=2\r\n"
               "map0name=a1\r\nmap0mod=baseq3\r\nmap1name=b2\r\nmap1mod=baseq3\r\n");
    std::string words;
    for (uint32_t k = 1; words.size() < 60000; k = k * 1103515245 + 12345)
        words += std::string(" rail rocket plasma gauntlet shotgun ").substr(k >> 27, 5);
    fraglane::test::MakeArchive(game, "baseq3\\maps.pk3",
                                {{"maps\\a1.bsp", words}, {"maps\\b2.bsp", "b"}});
    Open();
    window->PageControl->setCurrentWidget(window->TabMap);
    window->cMap->SetRowSelected(0, true);
    window->cMap->SetRowSelected(1, true);
    ASSERT_TRUE(window->btnRepackMaps->isEnabled());
    QTest::mouseClick(window->btnRepackMaps, Qt::LeftButton);
    EXPECT_FALSE(window->PageControl->isEnabled());
    window->ThreadRepackMaps.WaitFor();
    EXPECT_EQ(window->StatusText(0), "repack done");
    EXPECT_EQ(window->StatusText(2), ToQt(game.Program() + "temp\\2maps.pk3"));
    EXPECT_TRUE(game.Exists("temp/2maps.pk3"));
    EXPECT_NE(std::find(window->RepackReport.begin(), window->RepackReport.end(),
                        "maps\\a1.bsp from " + game.Program() + "baseq3\\maps.pk3"),
              window->RepackReport.end());
    EXPECT_TRUE(
        window->PageConfig->isTabVisible(window->PageConfig->indexOf(window->TabSheetReport)));
    // The report page shows the member names in the system's own separators.
    EXPECT_TRUE(window->cRepackReport->toPlainText().contains(
        QDir::toNativeSeparators("missing maps/a1.aas in baseq3")));

    // "smallest" packs the same members smaller.
    const std::string first = game.Read("temp/2maps.pk3");
    EXPECT_FALSE(window->cRepackSmallest->isChecked());
    QTest::mouseClick(window->cRepackSmallest, Qt::LeftButton);
    QTest::mouseClick(window->btnRepackMaps, Qt::LeftButton);
    window->ThreadRepackMaps.WaitFor();
    EXPECT_EQ(window->StatusText(0), "repack done");
    EXPECT_LT(game.Read("temp/2maps.pk3").size(), first.size());
}

}  // namespace
}  // namespace fraglane::app
