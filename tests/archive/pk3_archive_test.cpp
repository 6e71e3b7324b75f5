#include "archive/pk3_archive.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>

#include "archive/deflate.h"
#include "archive/deflate_ahead.h"
#include "cli/cli.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::archive {
namespace {

using test::Quote;
using test::RunCommand;
using test::TempDir;

// Writes an archive with Python's zipfile: entries of (name, data, deflated).
void PythonZip(const std::string& path, const std::string& entries) {
    const std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w')\n"
        "for name,data,deflated in " +
        entries +
        ":\n"
        "    z.writestr(zipfile.ZipInfo(name), data, zipfile.ZIP_DEFLATED if deflated else "
        "zipfile.ZIP_STORED)\n"
        "z.close()\n";
    const auto r = RunCommand("python3 -c " + Quote(script) + " " + Quote(path));
    ASSERT_EQ(r.status, 0) << r.output;
}

class ArchiveTest : public ::testing::Test {
protected:
    TempDir dir;
    Pk3Archive zip;
    std::string P(const std::string& rel) const { return dir.Program() + rel; }
    void Open(const std::string& rel) {
        zip.SetFileName(P(rel));
        zip.SetActive(true);
    }
    std::string Extract(const std::string& member) {
        zip.ExtractMember(member, P("out.bin"));
        return dir.Read("out.bin");
    }
};

TEST_F(ArchiveTest, ReadsInfoZipArchivesWithAndWithoutFolderEntries) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    dir.Write("src/maps/q3dm17.bsp", std::string(5000, 'b'));
    dir.Write("src/levelshots/q3dm17.jpg", "jpeg");
    dir.Write("src/scripts/empty.shader", "");
    for (const char* flags : {"-r", "-r -D", "-r -0"}) {
        std::filesystem::remove(dir.Path("a.pk3"));
        const auto r =
            RunCommand("cd " + Quote(dir.Path("src")) + " && zip -q " + flags + " ../a.pk3 .");
        ASSERT_EQ(r.status, 0) << r.output;
        Open("a.pk3");
        ASSERT_TRUE(zip.Active()) << flags;
        EXPECT_TRUE(zip.HasMember("maps\\Q3DM17.BSP"));
        EXPECT_EQ(Extract("maps\\q3dm17.bsp"), std::string(5000, 'b'));
        EXPECT_EQ(Extract("levelshots/q3dm17.jpg"), "jpeg");
        EXPECT_EQ(Extract("scripts\\empty.shader"), "");
        const bool folders = std::string(flags).find("-D") == std::string::npos;
        EXPECT_EQ(zip.HasMember("maps\\"), folders) << flags;
    }
}

TEST_F(ArchiveTest, ListsBackslashNamesLikeSlashNames) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    PythonZip(dir.Path("b.pk3"),
              "[('maps\\\\q3dm1.bsp', b'x'*300, True), ('levelshots/q3dm1.tga', b'tga', False),"
              " ('scripts/', b'', False), ('C:/work//maps/q.bsp', b'q', False)]");
    Open("b.pk3");
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"maps\\q3dm1.bsp", "levelshots\\q3dm1.tga",
                                                         "scripts\\", "work\\maps\\q.bsp"}));
    EXPECT_TRUE(zip.HasMember("MAPS\\Q3DM1.BSP"));
    EXPECT_FALSE(zip.HasMember("maps/q3dm1.bsp"));  // the program's names use "\"
    EXPECT_EQ(Extract("maps/q3dm1.bsp"), std::string(300, 'x'));
    EXPECT_EQ(Extract("LEVELSHOTS\\Q3DM1.TGA"), "tga");
}

TEST_F(ArchiveTest, MissingFileRaisesNotFound) {
    zip.SetFileName(P("gone.pk3"));
    try {
        zip.SetActive(true);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "File \"" + dir.Path("gone.pk3") + "\" not found!");
    }
}

TEST_F(ArchiveTest, ArchiveCutShortIsRebuiltFromItsLocalHeaders) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    PythonZip(dir.Path("c.pk3"), "[('maps/a.bsp', b'a'*1000, True), ('maps/b.bsp', b'bb', False)]");
    std::string bytes = dir.Read("c.pk3");
    const size_t central = bytes.find("PK\x01\x02");
    dir.Write("cut.pk3", bytes.substr(0, central + 10));
    Open("cut.pk3");
    ASSERT_TRUE(zip.Active());
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"maps\\a.bsp", "maps\\b.bsp"}));
    EXPECT_EQ(Extract("maps\\a.bsp"), std::string(1000, 'a'));
    EXPECT_EQ(Extract("maps\\b.bsp"), "bb");
}

TEST_F(ArchiveTest, LocalHeaderWalkFollowsDataDescriptors) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    // zipfile writing to a stream that cannot seek leaves sizes to data descriptors (bit 3).
    const std::string script =
        "import zipfile,sys\n"
        "class W:\n"
        "    def __init__(s,f): s.f=f\n"
        "    def write(s,b): return s.f.write(b)\n"
        "    def flush(s): pass\n"
        "f=open(sys.argv[1],'wb')\n"
        "z=zipfile.ZipFile(W(f),'w',zipfile.ZIP_DEFLATED)\n"
        "z.writestr('maps/one.bsp', b'1'*4000)\n"
        "z.writestr('maps/two.bsp', b'two')\n"
        "z.close(); f.close()\n";
    ASSERT_EQ(RunCommand("python3 -c " + Quote(script) + " " + Quote(dir.Path("d.pk3"))).status, 0);
    const std::string bytes = dir.Read("d.pk3");
    ASSERT_NE(bytes[6] & 8, 0) << "no data descriptor was written";
    dir.Write("dcut.pk3", bytes.substr(0, bytes.find("PK\x01\x02")));
    // Whole, the descriptor between the members is no overlap.
    for (const char* archive : {"dcut.pk3", "d.pk3"}) {
        Open(archive);
        ASSERT_EQ(zip.FileNames().size(), 2u) << archive;
        EXPECT_EQ(Extract("maps\\one.bsp"), std::string(4000, '1'));
        EXPECT_EQ(Extract("maps\\two.bsp"), "two");
    }
}

TEST_F(ArchiveTest, ExtractionErrorsLeaveAnEmptyDestination) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    PythonZip(dir.Path("e.pk3"), "[('a.bin', b'x'*2000, True), ('b.bin', b'stored', False)]");
    std::string bytes = dir.Read("e.pk3");
    // Corrupt the deflate data of a.bin, and give b.bin method 12 (bzip2) in its central record.
    bytes[30 + 5 + 2] = '\xFF';
    bytes[30 + 5 + 3] = '\xFF';
    const size_t second = bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4);
    bytes[second + 10] = 12;
    dir.Write("bad.pk3", bytes);
    Open("bad.pk3");
    dir.Write("out.bin", "old content");
    try {
        Extract("a.bin");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(dir.Read("out.bin"), "");
    try {
        Extract("b.bin");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Cannot process this file: b.bin ");
    }
    EXPECT_EQ(dir.Read("out.bin"), "");
}

TEST_F(ArchiveTest, ZipBombYieldsNoMoreThanItsDirectoryPromised) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    PythonZip(dir.Path("bomb.pk3"), "[('big.bin', b'\\0'*(8*1024*1024), True)]");
    std::string bytes = dir.Read("bomb.pk3");
    const size_t central = bytes.find("PK\x01\x02");
    bytes[central + 24] = 100;  // uncompressed size: 100 bytes
    for (size_t i = 25; i < 28; ++i)
        bytes[central + i] = 0;
    dir.Write("bomb.pk3", bytes);
    Open("bomb.pk3");
    EXPECT_EQ(Extract("big.bin"), std::string(100, '\0'));
}

// An extraction writes nothing and says nothing; a new file (a picture of the cache, which
// would stand for the member for good) is not made at all, and the failure names the member.
TEST_F(ArchiveTest, MissingLocalHeaderWritesNothingWithoutErrorAndMakesNoNewFile) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    PythonZip(dir.Path("f.pk3"), "[('a.txt', b'data', False)]");
    std::string bytes = dir.Read("f.pk3");
    bytes[0] = 'X';
    dir.Write("f.pk3", bytes);
    Open("f.pk3");
    EXPECT_EQ(Extract("a.txt"), "");
    try {
        zip.ExtractNewMember("a.txt", P("new.bin"));
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "the local header of a.txt cannot be read");
    }
    EXPECT_FALSE(dir.Exists("new.bin") || dir.Exists("new.bin.part"));
}

TEST_F(ArchiveTest, ExtractionAppliesAttributesAndHonoursReadOnlyFiles) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    dir.Write("src/ro.txt", "ro");
    ::chmod(dir.Path("src/ro.txt").c_str(), 0444);
    ASSERT_EQ(RunCommand("cd " + Quote(dir.Path("src")) + " && zip -q ../g.pk3 ro.txt").status, 0);
    Open("g.pk3");
    zip.ExtractMember("ro.txt", P("copy.txt"));
    EXPECT_EQ(dir.Read("copy.txt"), "ro");
    EXPECT_NE(platform::GetFileAttributes(P("copy.txt")) & platform::AttrReadOnly, 0u);
    // Extracting over a read-only file fails, as on Windows, whoever runs the program.
    EXPECT_THROW(zip.ExtractMember("ro.txt", P("copy.txt")), Error);
    // So does extracting into a folder that does not exist.
    EXPECT_THROW(zip.ExtractMember("ro.txt", P("no\\such\\dir\\x.txt")), Error);
}

TEST_F(ArchiveTest, FolderMembersExtractAsDirectories) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    dir.MakeDir("src/textures/base");
    ASSERT_EQ(RunCommand("cd " + Quote(dir.Path("src")) + " && zip -qr ../h.pk3 textures").status,
              0);
    Open("h.pk3");
    zip.ExtractMember("textures\\base\\", P("made\\deep\\"));
    EXPECT_TRUE(platform::DirectoryExists(P("made\\deep")));
}

// A damaged copy of a two-member archive: what it opens to, or why it is no archive, what
// `fraglane-cli pk3 list` says of it, and what extracting its members says.
struct Damage {
    const char* name;
    std::function<std::string(std::string)> apply;
    size_t members;               // what opens (0: refused)
    const char* reason;           // why it was refused
    const char* extraction = "";  // the first extraction that failed, if any, says
};

class DamagedArchive : public ::testing::TestWithParam<Damage> {};

constexpr const char* NoEnd =
    "no end of central directory record, and no local file header at the start of the file";

TEST_P(DamagedArchive, OpensOrIsRefusedWithItsReasonWithoutCrashOrWildAllocation) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    const Damage& damage = GetParam();
    TempDir dir;
    PythonZip(dir.Path("good.pk3"),
              "[('maps/a.bsp', b'a'*100, True), ('maps/b.bsp', b'b', False)]");
    dir.Write("bad.pk3", damage.apply(dir.Read("good.pk3")));
    Pk3Archive zip;
    zip.SetFileName(dir.Program() + "bad.pk3");
    ASSERT_NO_THROW(zip.SetActive(true));
    EXPECT_EQ(zip.Active(), damage.members > 0);
    EXPECT_EQ(zip.FileNames().size(), damage.members);
    EXPECT_EQ(zip.RefusalReason(), damage.reason);
    std::string extraction;
    for (const std::string& name : zip.FileNames()) {
        try {
            zip.ExtractMember(name, dir.Program() + "out.bin");
        } catch (const Error& e) {
            if (extraction.empty())
                extraction = e.what();
        }
    }
    EXPECT_EQ(extraction, damage.extraction);

    std::ostringstream out, err;
    const int status = cli::RunCli({"pk3", "list", dir.Path("bad.pk3")}, out, err);
    EXPECT_EQ(status, damage.members > 0 ? 0 : 1);
    EXPECT_EQ(err.str(), damage.members > 0
                             ? std::string()
                             : dir.Path("bad.pk3") + ": not an archive: " + damage.reason + "\n");
}

size_t EndAt(const std::string& s) {
    return s.rfind("PK\x05\x06");
}
size_t SecondRecordAt(const std::string& s) {
    return s.find("PK\x01\x02", s.find("PK\x01\x02") + 4);
}
void Set16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void Set32(std::string& s, size_t at, uint32_t v) {
    Set16(s, at, static_cast<uint16_t>(v));
    Set16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

INSTANTIATE_TEST_SUITE_P(
    Pk3Archive, DamagedArchive,
    ::testing::Values(
        Damage{"Whole", [](std::string s) { return s; }, 2, ""},
        Damage{"ShorterThanAnEndRecord", [](std::string s) { return s.substr(0, 21); }, 0, NoEnd},
        Damage{"Empty", [](std::string) { return std::string(); }, 0, "the file is empty"},
        Damage{"RandomBytes",
               [](std::string) {
                   std::mt19937 random(7);
                   std::string noise(4096, '\0');
                   for (char& c : noise)
                       c = static_cast<char>(random());
                   return noise;
               },
               0, NoEnd},
        Damage{"CutOffEndRecord", [](std::string s) { return s.substr(0, s.size() - 5); }, 2,
               ""},  // found from its local headers
        Damage{"CountLargerThanTheDirectory",
               [](std::string s) {
                   Set16(s, EndAt(s) + 8, 0xFFFF);
                   Set16(s, EndAt(s) + 10, 0xFFFF);
                   return s;
               },
               0,
               "65535 entries cannot fit between the central directory offset 87 and the end of "
               "the file (221 bytes)"},
        Damage{"DirectoryOffsetPastTheEnd",
               [](std::string s) {
                   Set32(s, EndAt(s) + 16, 0xFFFFFF00);
                   return s;
               },
               0,
               "the central directory offset 4294967040 lies past the end of the file (221 "
               "bytes)"},
        Damage{"DirectoryOffsetOnAMember",
               [](std::string s) {
                   Set32(s, EndAt(s) + 16, 0);
                   return s;
               },
               0, "central directory record 1 of 2 at offset 0 has no record signature"},
        Damage{"MemberOffsetsPastTheEnd",
               [](std::string s) {
                   for (size_t at = s.find("PK\x01\x02"); at != std::string::npos;
                        at = s.find("PK\x01\x02", at + 4)) {
                       Set32(s, at + 42, 0x7FFFFFFF);
                       Set32(s, at + 20, 0xFFFFFFFF);
                       Set32(s, at + 24, 0xFFFFFFFF);
                   }
                   return s;
               },
               2, ""},
        Damage{"NameLengthPastTheEnd",
               [](std::string s) {
                   Set16(s, s.find("PK\x01\x02") + 28, 0xFFFF);
                   return s;
               },
               0,
               "central directory record 1 of 2 at offset 87 has a name, extra field or comment "
               "that runs past the end of the file"},
        Damage{"CommentLengthPastTheEnd",
               [](std::string s) {
                   Set16(s, EndAt(s) + 20, 0xFFFF);
                   return s;
               },
               2, ""},  // no record fits: found from its local headers
        Damage{"EndRecordInsideAComment",
               [](std::string s) {
                   std::string fake = "PK\x05\x06" + std::string(18, '\0');
                   Set16(fake, 8, 0x7777);
                   Set16(s, EndAt(s) + 20, static_cast<uint16_t>(fake.size()));
                   return s + fake;
               },
               2, ""},
        // Members sharing bytes (maps/a.bsp: header at 0, data 40 to 46; maps/b.bsp, stored:
        // header at 46, data 86 to 87; the central directory at 87).
        Damage{"MembersShareALocalHeader",
               [](std::string s) {
                   Set32(s, SecondRecordAt(s) + 42, 0);
                   return s;
               },
               0, "the data of maps/a.bsp and maps/b.bsp overlap"},
        Damage{"LocalHeaderInsideTheDataOfAnother",
               [](std::string s) {
                   Set32(s, SecondRecordAt(s) + 42, 42);
                   return s;
               },
               0, "the data of maps/a.bsp and maps/b.bsp overlap"},
        Damage{"StoredDataRunningIntoTheCentralDirectory",
               [](std::string s) {
                   Set32(s, SecondRecordAt(s) + 20, 2);
                   Set32(s, SecondRecordAt(s) + 24, 2);
                   return s;
               },
               0, "the data of maps/b.bsp runs into the central directory"},
        Damage{"LocalHeaderInsideTheCentralDirectory",
               [](std::string s) {
                   Set32(s, SecondRecordAt(s) + 42, 87 + 4);
                   return s;
               },
               0, "the local header of maps/b.bsp lies inside the central directory"},
        Damage{"LocalExtraFieldMovingTheDataIntoTheNextMember",
               [](std::string s) {
                   Set16(s, 28, 3);
                   return s;
               },
               2, "", "the data of maps/a.bsp and maps/b.bsp overlap"},
        Damage{"RandomBytesAfterASignature",
               [](std::string s) {
                   std::mt19937 random(3);
                   for (size_t i = 30; i < s.size(); i += 7)
                       s[i] = static_cast<char>(random());
                   return s;
               },
               2, "", "error"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ArchiveTest, WrittenArchivePassesUnzipAndReadsBackWithZipfile) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    dir.Write("stage/maps/a.bsp", std::string(20000, 'a') + "tail");
    dir.Write("stage/textures/base/wall.jpg", "jpegdata");
    dir.Write("stage/levelshots/empty.tga", "");
    dir.Write("stage/readme", "no dot in this name");
    Pk3Archive::CreateEmpty(P("stage\\out.pk3"));
    Open("stage\\out.pk3");
    EXPECT_TRUE(zip.FileNames().empty());
    zip.AddTree(P("stage\\"), P("stage\\"), "*.*", true);
    zip.RemoveMember("out.pk3");
    zip.SetActive(false);

    const auto test = RunCommand("unzip -t " + Quote(dir.Path("stage/out.pk3")));
    EXPECT_EQ(test.status, 0) << test.output;
    const std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "import os\n"
        "for i in z.infolist():\n"
        "    data = z.read(i)\n"
        "    same = i.is_dir() or open(os.path.join(sys.argv[2], i.filename), 'rb').read() == "
        "data\n"
        "    print(i.filename, i.compress_type, i.external_attr, len(data), 'same' if same else "
        "'DIFFERENT')\n";
    const auto listing =
        RunCommand("python3 -c " + Quote(script) + " " + Quote(dir.Path("stage/out.pk3")) + " " +
                   Quote(dir.Path("stage")));
    EXPECT_EQ(listing.output,
              "levelshots/ 0 16 0 same\n"
              "levelshots/empty.tga 0 32 0 same\n"
              "maps/ 0 16 0 same\n"
              "maps/a.bsp 8 32 20004 same\n"
              "readme 8 32 19 same\n"  // "*.*" takes a name without a dot, as on Windows
              "textures/ 0 16 0 same\n"
              "textures/base/ 0 16 0 same\n"
              "textures/base/wall.jpg 8 32 8 same\n")
        << listing.output;
    const auto bytes = RunCommand("unzip -p " + Quote(dir.Path("stage/out.pk3")) + " maps/a.bsp");
    EXPECT_EQ(bytes.output, std::string(20000, 'a') + "tail");
}

// At each packing, a tree gives the same bytes deflated on one thread or on four, and the
// same as writing the directory after each member; the workers keep the files' order whatever
// their sizes. A file past what is deflated whole streams; the smallest packing is smaller;
// unzip and Python's zipfile (which checks each CRC) read back every file.
TEST_F(ArchiveTest, TreeIsTheSameOnOneThreadOnFourAndMemberByMemberAtEachPacking) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    std::mt19937 random(7);
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        const size_t size = i == 5 ? WholeLimit + 1 : (i % 7 == 0 ? 0 : (i * 7919) % 300000);
        std::string data(size, '\0');
        for (size_t k = 0; k < data.size(); ++k)  // noise in some, words in others
            data[k] = i % 2 ? static_cast<char>(random()) : " rail rocket plasma "[random() % 20];
        const std::string name = "f" + std::to_string(i) + ".bin";
        dir.Write("t/" + name, data);
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return text::CompareIgnoreCase(a, b) < 0; });
    std::vector<size_t> sizes;
    for (const Packing packing : {Packing::Default, Packing::Smallest}) {
        std::vector<std::string> written;
        for (const unsigned threads : {1u, 4u}) {
            Pk3Archive::CreateEmpty(P("tree.pk3"));
            Open("tree.pk3");
            zip.SetPacking(packing);
            zip.SetDeflateThreads(threads);
            zip.AddTree(P("t\\"), P("t\\"), "*.*", true);
            zip.SetActive(false);
            written.push_back(dir.Read("tree.pk3"));
        }
        Pk3Archive::CreateEmpty(P("single.pk3"));
        Open("single.pk3");
        zip.SetPacking(packing);
        for (const std::string& name : names)
            zip.AddFile(name, P("t\\" + name));
        zip.SetActive(false);
        EXPECT_EQ(written[0], written[1]);
        EXPECT_EQ(written[0], dir.Read("single.pk3"));
        sizes.push_back(written[0].size());
        const auto test = RunCommand("unzip -tqq " + Quote(dir.Path("single.pk3")));
        EXPECT_EQ(test.status, 0) << test.output;
        const auto read = RunCommand(
            "python3 -c 'import sys,zipfile\n"
            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
            "    assert zipfile.ZipFile(sys.argv[1]).read(i) == open(sys.argv[2] + i.filename, "
            "\"rb\").read()' " +
            Quote(dir.Path("single.pk3")) + " " + Quote(dir.Path("t/")));
        EXPECT_EQ(read.status, 0) << read.output;
        Open("single.pk3");
        EXPECT_EQ(Extract("f5.bin"), dir.Read("t/f5.bin"));  // streamed both ways
        EXPECT_EQ(Extract("f4.bin"), dir.Read("t/f4.bin"));  // whole both ways
    }
    EXPECT_LT(sizes[1], sizes[0]);
}

// A member's deflated bytes depend on its bytes and the packing alone, not on the pieces they
// come in, on either side of what is deflated whole; each inflates back to the text.
TEST(MemberDeflater, GivesTheSameBytesHoweverTheTextIsCut) {
    for (const size_t size : {size_t{1}, size_t{70000}, WholeLimit, WholeLimit + 1}) {
        std::string text(size, '\0');
        for (size_t k = 0; k < size; ++k)
            text[k] = static_cast<char>("quake arena "[k % 12] + (k / 4099) % 3);
        std::vector<std::string> outputs;
        MemberDeflater deflater(Packing::Default);
        for (const size_t cut : {size, size_t{1}, size / 2 + 1}) {
            std::string out;
            const WriteOutput write = [&](const uint8_t* data, size_t n) {
                out.append(reinterpret_cast<const char*>(data), n);
                return true;
            };
            deflater.Begin();
            deflater.Feed(std::string_view(text).substr(0, cut), write);
            deflater.Feed(std::string_view(text).substr(cut), write);
            deflater.Finish(write);
            outputs.push_back(out);
        }
        EXPECT_EQ(outputs[0], outputs[1]) << size;
        EXPECT_EQ(outputs[0], outputs[2]) << size;
        std::string back;
        size_t at = 0;
        EXPECT_TRUE(InflateExactly(
            [&](uint8_t* buffer, size_t n) {
                n = std::min(n, outputs[0].size() - at);
                std::copy_n(outputs[0].data() + at, n, buffer);
                at += n;
                return n;
            },
            size,
            [&](const uint8_t* data, size_t n) {
                back.append(reinterpret_cast<const char*>(data), n);
                return true;
            }));
        EXPECT_TRUE(back == text) << size;
    }
}

// Files deflated ahead: each ready with its size and CRC; one whose deflated data passes the
// cap, that cannot be read, or that is no longer the file the walk found, is left to the
// writer; files taken out of turn are no trouble.
TEST_F(ArchiveTest, DeflatingAheadLeavesTooLargeUnreadableAndReplacedFilesToTheWriter) {
    std::string noise(5000, '\0');
    std::mt19937 random(3);
    for (char& c : noise)
        c = static_cast<char>(random());
    dir.Write("small.txt", std::string(5000, 's'));
    dir.Write("noise.bin", noise);
    dir.Write("empty", "");
    dir.MakeDir("folder");
    dir.Write("replaced", "first");
    const platform::EntryInfo found = platform::InspectEntry(P("replaced"));
    dir.Write("other", "second");
    std::filesystem::rename(dir.Path("other"), dir.Path("replaced"));  // another file there now
    const auto file = [&](const char* rel) { return TreeFile{P(rel)}; };
    DeflateAhead ahead({file("small.txt"),
                        file("noise.bin"),
                        file("missing"),
                        file("folder"),
                        {P("replaced"), found.device, found.inode},
                        file("empty"),
                        file("small.txt")},
                       3, Packing::Default, 1000);
    const DeflatedFile small = ahead.Take(0);
    EXPECT_TRUE(small.ready);
    EXPECT_EQ(small.size, 5000u);
    EXPECT_EQ(small.crc, Crc32(std::string(5000, 's')));
    EXPECT_LT(small.packed.size(), 100u);
    for (const size_t i : {1u, 2u, 3u, 4u})
        EXPECT_FALSE(ahead.Take(i).ready) << i;
    const DeflatedFile empty = ahead.Take(5);
    EXPECT_TRUE(empty.ready && empty.size == 0 && empty.packed.empty());
    EXPECT_EQ(ahead.Take(6).packed, small.packed);
    DeflateAhead skipping({file("small.txt"), file("noise.bin"), file("small.txt")}, 1,
                          Packing::Default, 1000);
    EXPECT_TRUE(skipping.Take(2).ready);
    // The writer's own read refuses the replaced file as well.
    EXPECT_THROW(ReadTreeFile({P("replaced"), found.device, found.inode}, [](auto) {}), Error);
}

TEST_F(ArchiveTest, TreeWithTheArchiveInsideHoldsExactlyTheFolderAndTheMap) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    dir.Write("t/maps/a.bsp", "bsp");
    Pk3Archive::CreateEmpty(P("t\\x.pk3"));
    Open("t\\x.pk3");
    zip.AddTree(P("t\\"), P("t\\"), "*.*", true);
    EXPECT_FALSE(zip.HasMember("x.pk3"));  // the archive never reads itself in
    zip.RemoveMember("x.pk3");
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"maps\\", "maps\\a.bsp"}));
    zip.SetActive(false);
    Open("t\\x.pk3");
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"maps\\", "maps\\a.bsp"}));
    EXPECT_EQ(Extract("maps\\a.bsp"), "bsp");
    EXPECT_EQ(RunCommand("unzip -t " + Quote(dir.Path("t/x.pk3"))).status, 0);
}

// A member that deflates a thousand to one comes out whole: zlib takes in all of its data at
// once and still owes most of the output (found by the writer's fuzzer).
TEST_F(ArchiveTest, MemberDeflatedAThousandToOneExtractsWhole) {
    std::string bytes;
    for (int i = 0; i < 28'160; ++i)
        bytes += std::string("\x02\x06sn/\0\t", 7);
    dir.Write("big.bin", bytes);
    Pk3Archive::CreateEmpty(P("d.pk3"));
    Open("d.pk3");
    zip.AddFile("big.bin", P("big.bin"));
    EXPECT_LT(dir.Read("d.pk3").size(), bytes.size() / 400);
    EXPECT_EQ(Extract("big.bin"), bytes);
}

TEST_F(ArchiveTest, AddingParentsFirstAndReplacingAMemberOfTheSameName) {
    dir.Write("w.txt", "one");
    Pk3Archive::CreateEmpty(P("r.pk3"));
    Open("r.pk3");
    zip.AddFile("textures\\base\\wall.jpg", P("w.txt"));
    dir.Write("w.txt", "two!");
    zip.AddFile("textures/base/WALL.jpg", P("w.txt"));
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"textures\\", "textures\\base\\",
                                                         "textures\\base\\WALL.jpg"}));
    EXPECT_EQ(Extract("textures\\base\\wall.jpg"), "two!");
    zip.RemoveMember("textures\\");
    zip.RemoveMember("not there");
    EXPECT_EQ(Extract("textures\\base\\wall.jpg"), "two!");
    zip.RemoveMember("textures\\base\\");
    zip.RemoveMember("textures\\base\\wall.jpg");
    EXPECT_TRUE(zip.FileNames().empty());
    EXPECT_EQ(dir.Read("r.pk3"), "PK\x05\x06" + std::string(18, '\0'));
}

TEST_F(ArchiveTest, EmptyArchiveHasNoMembers) {
    Pk3Archive::CreateEmpty(P("e.pk3"));
    EXPECT_EQ(dir.Read("e.pk3").size(), 22u);
    Open("e.pk3");
    EXPECT_TRUE(zip.Active());
    EXPECT_TRUE(zip.FileNames().empty());
}

TEST_F(ArchiveTest, ReadOnlyArchiveOpensForReadingAndRefusesWrites) {
    Pk3Archive::CreateEmpty(P("ro.pk3"));
    ::chmod(dir.Path("ro.pk3").c_str(), 0444);
    dir.Write("f.txt", "f");
    Open("ro.pk3");
    EXPECT_TRUE(zip.Active());
    EXPECT_THROW(zip.AddFile("f.txt", P("f.txt")), Error);
    EXPECT_EQ(dir.Read("ro.pk3").size(), 22u);
}

TEST(MatchesMask, MatchesWholeTextsWithStarsAndQuestionMarks) {
    EXPECT_TRUE(MatchesMask("a.bsp", "*.*"));
    EXPECT_TRUE(MatchesMask("readme", "*.*"));
    EXPECT_TRUE(MatchesMask("readme", "read*.*"));
    EXPECT_FALSE(MatchesMask("readme", "*.bsp"));
    EXPECT_TRUE(MatchesMask("Q3DM1.BSP", "q3dm?.bsp"));
    EXPECT_FALSE(MatchesMask("q3dm10.bsp", "q3dm?.bsp"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_TRUE(MatchesMask("abcbcd", "*bcd"));
}

// Every member of the real OpenArena archives extracts to the bytes its CRC-32 promises,
// and a sample to exactly what unzip gives.
TEST(OpenArenaArchives, EveryMemberExtractsToItsStoredCrc) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    const std::string base = "/usr/share/games/openarena/baseoa/";
    if (!std::filesystem::is_directory(base))
        GTEST_SKIP() << "openarena-088-data is not installed";
    TempDir dir;
    size_t checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(base)) {
        if (entry.path().extension() != ".pk3")
            continue;
        Pk3Archive zip;
        zip.SetFileName(platform::FromNative(entry.path().string()));
        zip.SetActive(true);
        ASSERT_TRUE(zip.Active()) << entry.path();
        const auto& names = zip.FileNames();
        ASSERT_EQ(names.size(), zip.Members().size());
        for (size_t i = 0; i < names.size(); ++i) {
            const Member& m = zip.Members()[i];
            const std::string out = dir.Program() + "m.bin";
            zip.ExtractMember(names[i], out);
            if (m.folder)
                continue;
            const std::string data = dir.Read("m.bin");
            ASSERT_EQ(data.size(), m.record.uncompressedSize) << names[i];
            ASSERT_EQ(Crc32(data), m.record.crc32) << entry.path() << " " << names[i];
            if (i % 97 == 0) {
                const auto r = RunCommand("unzip -p " + Quote(entry.path().string()) + " " +
                                          Quote(m.record.name));
                ASSERT_EQ(r.output, data) << names[i];
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 4000u);
}

}  // namespace
}  // namespace fraglane::archive

namespace fraglane::archive {
namespace {

TEST(Pk3ArchiveLookup, LargeArchivesAnswerLikeTheLinearSearch) {
    FRAGLANE_NEEDS_LINUX_TOOLS();
    test::TempDir dir;
    std::string entries = "[";
    for (int i = 0; i < 40; ++i)
        entries += "('maps/m" + std::to_string(i) + ".bsp', b'" + std::to_string(i) + "', False),";
    entries += "('MAPS/DUP.BSP', b'first', False), ('maps/dup.bsp', b'second', False)]";
    PythonZip(dir.Path("big.pk3"), entries);
    Pk3Archive zip;
    zip.SetFileName(dir.Program() + "big.pk3");
    zip.SetActive(true);
    for (const std::string& name : zip.FileNames()) {
        const bool linear = std::any_of(zip.FileNames().begin(), zip.FileNames().end(),
                                        [&](const std::string& n) { return n == name; });
        EXPECT_EQ(zip.HasMember(name), linear);
    }
    EXPECT_TRUE(zip.HasMember("maps\\M39.bsp"));
    EXPECT_FALSE(zip.HasMember("maps\\m40.bsp"));
    zip.ExtractMember("maps\\dup.bsp", dir.Program() + "dup");
    EXPECT_EQ(dir.Read("dup"), "first");  // the first match in directory order
}

}  // namespace
}  // namespace fraglane::archive
