#include "preview/jpeg.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "archive/pk3_archive.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "preview/picture_loader.h"
#include "preview/targa.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::preview {
namespace {

using test::Quote;
using test::RunCommand;

TEST(Jpeg, DecodesColourAndGreyAndReportsDamage) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    test::TempDir dir;
    ASSERT_EQ(RunCommand("convert -size 40x30 xc:'#ff0000' " + Quote(dir.Path("red.jpg"))).status,
              0);
    ASSERT_EQ(
        RunCommand("convert -size 8x8 xc:gray50 -colorspace Gray " + Quote(dir.Path("grey.jpg")))
            .status,
        0);
    Bitmap b;
    std::string why;
    ASSERT_TRUE(DecodeJpeg(dir.Program() + "red.jpg", b, &why)) << why;
    EXPECT_EQ(b.Width(), 40);
    EXPECT_EQ(b.Height(), 30);
    EXPECT_LT(b.ScanLine(15)[0], 16);   // blue
    EXPECT_GT(b.ScanLine(15)[2], 240);  // red
    ASSERT_TRUE(DecodeJpeg(dir.Program() + "grey.jpg", b, &why)) << why;
    EXPECT_NEAR(b.ScanLine(0)[0], 128, 3);
    EXPECT_EQ(b.ScanLine(0)[0], b.ScanLine(0)[2]);

    // A file cut short fails with libjpeg's message and leaves the bitmap as it was.
    const std::string whole = dir.Read("red.jpg");
    dir.Write("cut.jpg", whole.substr(0, whole.size() / 3));
    dir.Write("junk.jpg", "not a jpeg at all");
    for (const char* name : {"cut.jpg", "junk.jpg"}) {
        why.clear();
        EXPECT_FALSE(DecodeJpeg(dir.Program() + name, b, &why)) << name;
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(b.Width(), 8);
    }
}

TEST(PictureLoader, ChoosesTheDecoderByExtensionWhileItIsRegistered) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    test::TempDir dir;
    ASSERT_EQ(RunCommand("convert -size 4x4 xc:blue " + Quote(dir.Path("a.JPG"))).status, 0);
    Bitmap b;
    EXPECT_THROW(LoadPicture(dir.Program() + "a.JPG", b), Error);
    {
        const JpegRegistration jpeg;
        std::map<std::string, std::string> formats;
        for (const PictureFormat& f : PictureFormats())
            formats[f.extension] = f.description;
        EXPECT_EQ(formats, (std::map<std::string, std::string>{{"jpeg", "JPEG Image File"},
                                                               {"jpg", "JPEG Image File"}}));
        LoadPicture(dir.Program() + "a.JPG", b);
        EXPECT_EQ(b.Width(), 4);
        EXPECT_THROW(LoadPicture(dir.Program() + "a.png", b), Error);
    }
    EXPECT_TRUE(PictureFormats().empty());
}

// The level shots and icons the game ships decode to the sizes ImageMagick reads.
TEST(RealPictures, OpenArenaLevelShotsDecodeToTheirStatedSizes) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    test::GameDir game;
    ASSERT_TRUE(game.LinkOpenArena()) << "openarena-088-data is not installed";
    game.MakeDir("shots");
    int taken = 0;
    for (const char* pak : {"pak0.pk3", "pak1-maps.pk3"}) {
        archive::Pk3Archive zip;
        zip.SetFileName(game.Program() + "baseq3\\" + pak);
        zip.SetActive(true);
        for (const std::string& name : zip.FileNames()) {
            if (!text::StartsWithIgnoreCase(name, "levelshots\\") || name.back() == '\\')
                continue;
            zip.ExtractMember(name, game.Program() + "shots\\" + platform::ExtractFileName(name));
            ++taken;
        }
    }
    ASSERT_GT(taken, 20);
    const auto sizes =
        RunCommand("identify -format '%f %w %h\\n' " + Quote(game.Path("shots")) + "/*");
    ASSERT_EQ(sizes.status, 0) << sizes.output;
    std::istringstream lines(sizes.output);
    std::string file;
    int width = 0, height = 0, tga = 0, jpg = 0;
    const JpegRegistration jpeg;
    while (lines >> file >> width >> height) {
        Bitmap b;
        const std::string path = game.Program() + "shots\\" + file;
        if (text::EqualsIgnoreCase(text::ExtractFileExt(file), ".tga")) {
            LoadTGABitmap(path, b);
            ++tga;
        } else {
            LoadPicture(path, b);
            ++jpg;
        }
        EXPECT_EQ(b.Width(), width) << file;
        EXPECT_EQ(b.Height(), height) << file;
    }
    EXPECT_GT(tga, 0);
    EXPECT_GT(jpg, 0);
}

}  // namespace
}  // namespace fraglane::preview
