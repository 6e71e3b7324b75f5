#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include "app/fake_desktop.h"
#include "app/qt_convert.h"
#include "app/window_controls.h"
#include "support/jpeg_file.h"
#include "support/temp_dir.h"

namespace fraglane::app {
namespace {

// A one-colour TGA (24 bits, uncompressed) of w x h pixels.
std::string Tga(int w, int h, QColor c) {
    std::string file(18, '\0');
    file[2] = 2;
    file[12] = static_cast<char>(w);
    file[14] = static_cast<char>(h);
    file[16] = 24;
    for (int i = 0; i < w * h; ++i) {
        file.push_back(static_cast<char>(c.blue()));
        file.push_back(static_cast<char>(c.green()));
        file.push_back(static_cast<char>(c.red()));
    }
    return file;
}

class PreviewWindow : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    test::FakeDesktop desktop;
    std::unique_ptr<T_Main> window;

    PreviewWindow() {
        game.Write("fraglane.ini",
                   "[bots]\r\ncount=2\r\nbot0name=sarge\r\nbot0mod=baseq3\r\n"
                   "bot1name=grunt\r\nbot1mod=baseq3\r\n");
        game.Write("levelshots/both.tga", Tga(2, 2, Qt::red));
        Jpeg("levelshots/both.jpg", Qt::blue);
        Jpeg("levelshots/onlyjpg.jpg", Qt::green);
        game.Write("levelshots/damaged.jpg", "this is no jpeg");
        game.Write("levelshots/odd.tga", std::string(18, '\0'));  // type 0: not decoded
        Jpeg("levelshots/bot_sarge.jpg", Qt::yellow);
        window = std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
        window->ThreadReadCatalogue.WaitFor();  // the lists fill beside the window
    }
    void Jpeg(const std::string& rel, QColor c, QSize size = QSize(8, 8)) const {
        game.Write(rel, fraglane::test::SolidJpeg(size.width(), size.height(),
                                                  static_cast<std::uint8_t>(c.red()),
                                                  static_cast<std::uint8_t>(c.green()),
                                                  static_cast<std::uint8_t>(c.blue())));
    }
    // The colour in the middle of what a picture control shows; invalid when it shows none.
    static QColor Shown(QLabel* label) {
        const QPixmap p = label->pixmap();
        return p.isNull() ? QColor() : p.toImage().pixelColor(p.width() / 2, p.height() / 2);
    }
    // Waits up to two seconds for the label to show a picture whose middle is like c.
    bool WaitFor(QLabel* label, const std::function<bool(QColor)>& like) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (like(Shown(label)))
                return true;
        }
        return false;
    }
    static bool Near(QColor a, QColor b) {
        return a.isValid() && std::abs(a.red() - b.red()) < 40 &&
               std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
    }
    bool ShowsPlaceholder(QLabel* label) {
        const QImage placeholder =
            (label == window->BotImage ? window->BotIconNone : window->ImageNone->pixmap())
                .toImage();
        return WaitFor(label, [&](QColor) { return label->pixmap().toImage() == placeholder; });
    }
    void SelectMap(const char* name) { window->cSelectedMap->setText(QString::fromLatin1(name)); }
};

TEST_F(PreviewWindow, SelectedMapShowsItsLevelShotTgaFirst) {
    window->PageControl->setCurrentWidget(window->TabMap);
    SelectMap("both");
    EXPECT_TRUE(WaitFor(window->MapImage, [](QColor c) { return Near(c, Qt::red); }));
    EXPECT_EQ(window->MapImage->size(), QSize(306, 221));
    SelectMap("onlyjpg");
    EXPECT_TRUE(WaitFor(window->MapImage, [](QColor c) { return Near(c, Qt::green); }));
    SelectMap("missing");
    EXPECT_TRUE(ShowsPlaceholder(window->MapImage));
    SelectMap("damaged");  // a JPEG that fails to decode: the placeholder too
    EXPECT_TRUE(ShowsPlaceholder(window->MapImage));
    SelectMap("odd");  // a TGA the reader rejects: an empty picture
    EXPECT_TRUE(WaitFor(window->MapImage, [](QColor c) { return !c.isValid(); }));
}

// A picture larger than its control arrives already scaled to it: decoding and scaling are the
// picture job's work, not the window's.
TEST_F(PreviewWindow, LargePictureArrivesScaledToItsControl) {
    Jpeg("levelshots/big.jpg", Qt::cyan, QSize(1200, 900));
    window->PageControl->setCurrentWidget(window->TabMap);
    SelectMap("big");
    ASSERT_TRUE(WaitFor(window->MapImage, [](QColor c) { return Near(c, Qt::cyan); }));
    EXPECT_EQ(window->MapImage->pixmap().size(), QSize(306, 221));
}

TEST_F(PreviewWindow, NothingLoadsOnOtherPagesAndComingBackDoesNotReload) {
    SelectMap("both");  // on the first page: nothing is loaded
    QTest::qWait(300);
    EXPECT_FALSE(Shown(window->MapImage).isValid());
    window->PageControl->setCurrentWidget(window->TabMap);
    ASSERT_TRUE(WaitFor(window->MapImage, [](QColor c) { return Near(c, Qt::red); }));
    window->PageControl->setCurrentWidget(window->TabGameOptions);
    game.Write("levelshots/both.tga", Tga(2, 2, Qt::cyan));
    window->PageControl->setCurrentWidget(window->TabMap);
    QTest::qWait(300);
    EXPECT_TRUE(Near(Shown(window->MapImage), Qt::red));  // the same name is not loaded again
}

TEST_F(PreviewWindow, FocusedBotShowsItsIconOnTheBotPage) {
    window->PageControl->setCurrentWidget(window->TabBots);
    window->cBot->SetCurrentRow(1);  // sorted: grunt, sarge
    ASSERT_EQ(window->cBot->Text(window->cBot->CurrentRow(), 0), "sarge");
    EXPECT_TRUE(WaitFor(window->BotImage, [](QColor c) { return Near(c, Qt::yellow); }));
    EXPECT_EQ(window->BotImage->size(), QSize(89, 93));
    window->cBot->SetCurrentRow(0);
    EXPECT_TRUE(ShowsPlaceholder(window->BotImage));
}

TEST_F(PreviewWindow, ClosingWhileAPictureLoadsEndsCleanly) {
    Jpeg("levelshots/big.jpg", Qt::gray, QSize(3000, 3000));
    window->PageControl->setCurrentWidget(window->TabMap);
    SelectMap("big");
    QTest::qWait(120);  // the job is likely decoding now
    window.reset();     // stops and waits for the job: no deadlock, no crash
    EXPECT_TRUE(game.Exists("fraglane.ini"));
}

}  // namespace
}  // namespace fraglane::app
