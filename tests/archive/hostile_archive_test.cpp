// The archive writer and reader against what a stranger's files can hold: links, pipes and
// devices in the folder packed, names that would climb out, writes that fail part-way, and
// archives whose members would inflate to far more than the file holds.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_work.h"
#include "archive/pk3_archive.h"
#include "platform/error.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::archive {
namespace {

using test::Quote;
using test::RunCommand;
using test::TempDir;

void Link(const std::string& target, const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

TEST(HostileFolder, PackTakesOnlyRegularFilesInsideAndNoNameThatClimbsOut) {
    TempDir dir;
    dir.Write("outside/secret.txt", "secret");
    dir.Write("stage/maps/a.bsp", "bsp");
    dir.Write("stage/README", "no dot");
    dir.Write("stage/..\\outside\\secret.txt", "a backslash in a Linux name");
    dir.Write("stage/c:x", "a drive-like name");
    dir.MakeDir("stage/inner");
    Link("../maps/a.bsp", dir.Path("stage/inner/to_map"));  // inside: packed
    Link("..", dir.Path("stage/up"));                       // loops: not followed
    Link(".", dir.Path("stage/self"));
    Link("../outside/secret.txt", dir.Path("stage/relative_out"));  // outside: left out
    Link(dir.Path("outside/secret.txt"), dir.Path("stage/absolute_out"));
    Link("/dev/zero", dir.Path("stage/zero"));                     // no regular file
    ASSERT_EQ(::mkfifo(dir.Path("stage/pipe").c_str(), 0644), 0);  // would block a reader

    Pk3Archive zip;
    PackFolder(zip, dir.Program() + "stage", dir.Program() + "stage\\out.pk3");
    zip.SetFileName(dir.Program() + "stage\\out.pk3");
    zip.SetActive(true);
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"inner\\", "inner\\to_map", "maps\\",
                                                         "maps\\a.bsp", "README"}));
    zip.ExtractMember("inner\\to_map", dir.Program() + "to_map");
    EXPECT_EQ(dir.Read("to_map"), "bsp");
    EXPECT_EQ(RunCommand("unzip -t " + Quote(dir.Path("stage/out.pk3"))).status, 0);
}

TEST(HostileFolder, MembersWithClimbingPartsAreRefused) {
    TempDir dir;
    dir.Write("f.txt", "f");
    Pk3Archive::CreateEmpty(dir.Program() + "a.pk3");
    Pk3Archive zip;
    zip.SetFileName(dir.Program() + "a.pk3");
    zip.SetActive(true);
    for (const char* name : {"..\\x.txt", "a\\..\\..\\x.txt", "\\x.txt", "a\\.\\x.txt"}) {
        EXPECT_THROW(zip.AddFile(name, dir.Program() + "f.txt"), Error) << name;
    }
    EXPECT_TRUE(zip.FileNames().empty());
}

// Past the file-size limit the write fails with its message (the process is not killed), and
// no archive that looks finished stays behind.
TEST(HostileFolder, PackFailingPartWayLeavesNoArchive) {
    TempDir dir;
    std::string noise(256 * 1024, '\0');
    uint32_t x = 1;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    dir.Write("stage/a.bin", noise);
    dir.Write("stage/b.bin", noise);
    const auto r = RunCommand("ulimit -f 128; exec " + Quote(FRAGLANE_CLI) + " pk3 pack " +
                              Quote(dir.Path("stage")) + " " + Quote(dir.Path("out.pk3")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output, "Unable to write to " + dir.Path("out.pk3.part") + "\n");
    EXPECT_FALSE(dir.Exists("out.pk3"));
    EXPECT_FALSE(dir.Exists("out.pk3.part"));
}

// A ".part" left by an earlier pack, even a link planted under that name, is replaced: the
// link's target stays as it was, and the archive lands under its own name.
TEST(HostileFolder, PackReplacesALeftoverPartialArchiveWithoutWritingThroughIt) {
    TempDir dir;
    dir.Write("src/a.txt", "a");
    dir.Write("victim.txt", "victim");
    dir.MakeDir("out");
    Link(dir.Path("victim.txt"), dir.Path("out/b.pk3.part"));
    Pk3Archive zip;
    PackFolder(zip, dir.Program() + "src", dir.Program() + "out\\b.pk3");
    EXPECT_EQ(dir.Read("victim.txt"), "victim");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.Path("out/b.pk3")));
    EXPECT_FALSE(dir.Exists("out/b.pk3.part"));
    zip.SetFileName(dir.Program() + "out\\b.pk3");
    zip.SetActive(true);
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"a.txt"}));
}

void Put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
std::string LocalHeader(const std::string& name, uint16_t method) {
    std::string h;
    Put32(h, Pk3Archive::LocalSignature);
    Put16(h, 20);
    Put16(h, 8);  // sizes follow the data
    Put16(h, method);
    Put32(h, 0);  // time, date
    Put32(h, 0);  // crc
    Put32(h, 0);  // compressed size
    Put32(h, 0);  // uncompressed size
    Put16(h, static_cast<uint16_t>(name.size()));
    Put16(h, 0);
    return h + name;
}

// Without an end record, members whose sizes follow their data are found by their
// descriptors: data that would inflate to gigabytes (here: no deflate data at all) costs
// nothing but a read of the file.
TEST(HostileArchive, WalkWithoutEndRecordFindsDescriptorsWithoutInflating) {
    std::string bytes = LocalHeader("big.bin", 8) + std::string(100, '\x5A');
    Put32(bytes, 0x08074b50);
    Put32(bytes, 0x12345678);
    Put32(bytes, 100);
    Put32(bytes, 0xFFFFFFF0u);  // what it claims to inflate to
    bytes += LocalHeader("stored.txt", 0) + "stored data";
    Put32(bytes, 0x9ABCDEF0);  // a descriptor without its signature
    Put32(bytes, 11);
    Put32(bytes, 11);
    bytes += LocalHeader("last.txt", 0) + "x";
    Put32(bytes, 0x08074b50);
    Put32(bytes, 0);
    Put32(bytes, 1);
    Put32(bytes, 1);
    TempDir dir;
    dir.Write("walk.pk3", bytes);
    Pk3Archive zip;
    zip.SetFileName(dir.Program() + "walk.pk3");
    zip.SetActive(true);
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"big.bin", "stored.txt", "last.txt"}));
    zip.ExtractMember("stored.txt", dir.Program() + "stored.txt");
    EXPECT_EQ(dir.Read("stored.txt"), "stored data");
}

// Deflate data that zlib refuses and libdeflate takes (a literal/length code of 286, which the
// format does not define, here standing for 258 more bytes of "a"): with a CRC-32 that the
// bytes fail, the extraction fails as zlib always had it; only bytes that the member's CRC-32
// promises are taken.
TEST(HostileArchive, DataOnlyLibdeflateTakesNeedsItsCrcToBeExtracted) {
    TempDir dir;
    for (const uint32_t crc : {0u, 0x34c2fa56u}) {
        std::string bytes = LocalHeader("a.txt", 8) + std::string("\x4b\x1c\x03\x00", 4);
        Put32(bytes, 0x08074b50);
        Put32(bytes, crc);
        Put32(bytes, 4);
        Put32(bytes, 259);
        dir.Write("lax.pk3", bytes);
        Pk3Archive zip;
        zip.SetFileName(dir.Program() + "lax.pk3");
        zip.SetActive(true);
        ASSERT_EQ(zip.FileNames(), std::vector<std::string>{"a.txt"});
        if (crc == 0) {
            EXPECT_THROW(zip.ExtractMember("a.txt", dir.Program() + "a.txt"), Error);
            EXPECT_EQ(dir.Read("a.txt"), "");
        } else {
            zip.ExtractMember("a.txt", dir.Program() + "a.txt");
            EXPECT_EQ(dir.Read("a.txt"), std::string(259, 'a'));
        }
    }
}

}  // namespace
}  // namespace fraglane::archive
