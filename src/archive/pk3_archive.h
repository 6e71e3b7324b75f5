#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/deflate.h"
#include "platform/file.h"

namespace fraglane::archive {

class WindowReader;
struct DeflatedFile;

// A central-directory file header (APPNOTE 4.3.12), all fields kept so that the directory can
// be written back as it was.
struct CentralRecord {
    uint16_t versionMadeBy = 20;
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t diskNumberStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    std::string name;  // stored form, "/" separated
    std::string extra;
    std::string comment;
};

struct Member {
    CentralRecord record;
    bool encrypted = false;  // general-purpose bit 0
    bool folder = false;     // DOS directory bit of the external attributes
    // Where the member's data must end: the next member's local header in the file, or the
    // central directory. Set at open and by writing; extraction reads nothing past it.
    uint64_t limit = UINT64_MAX;
};

// The end-of-central-directory record (APPNOTE 4.3.16) of the open archive.
struct EndRecord {
    uint64_t position = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t entries = 0;
    uint32_t directorySize = 0;
    uint32_t directoryOffset = 0;
    std::string comment;
};

// The program's ZIP archive object. Reading never trusts the file: counts, sizes and offsets
// are checked against the file's length before anything is read or allocated; extraction
// streams through a bounded buffer and yields at most the size the directory declares.
// Writing adds and removes members in place (the central directory rewritten after the data).
class Pk3Archive {
public:
    static constexpr uint32_t LocalSignature = 0x04034b50;
    static constexpr uint32_t CentralSignature = 0x02014b50;
    static constexpr uint32_t EndSignature = 0x06054b50;

    void SetFileName(std::string path) { m_fileName = std::move(path); }
    const std::string& FileName() const { return m_fileName; }

    // true opens FileName (closing what is open); false closes. Nothing while FileName is
    // empty. A file that holds no archive ends closed, without an error; RefusalReason then
    // says why it is none.
    void SetActive(bool active);
    bool Active() const { return m_active; }
    // Why the last open found no archive in the file ("the central directory offset ... lies
    // past the end of the file"); empty after an open that found one.
    const std::string& RefusalReason() const { return m_refusal; }

    // Member names as the program sees them: "\" separated, drive prefix dropped, folders
    // with a trailing "\"; central-directory order.
    const std::vector<std::string>& FileNames();
    // Whether some entry of FileNames equals name, ASCII letters folded.
    bool HasMember(std::string_view name);
    // The uncompressed size the directory declares for a member (at most what extracting it
    // writes); 0 when there is no such member.
    uint64_t DeclaredSize(std::string_view name);
    // The member of that name (as HasMember finds it), or nullptr: its directory record tells
    // its size and CRC-32 without reading its data.
    const Member* FindRecord(std::string_view name);
    void ExtractMember(std::string_view name, std::string_view destination);
    // The same, for a destination that the caller knows to be new in every case of its name
    // (the picture cache's index says so): no folder read to look for another case of it.
    // The file is written under destination + ".part" and takes its name only whole and
    // only where nothing has it yet ("Cannot create file %s" otherwise).
    void ExtractNewMember(std::string_view name, std::string_view destination);

    // onlyNew: the file is made only where nothing has its name, a link there refusing too.
    static void CreateEmpty(std::string_view path, bool onlyNew = false);
    // Adds every file under folder whose name matches the wildcard (as Windows matches it:
    // "*.*" takes every name), with member names relative to rootFolder; folders become
    // members of their own before their contents. Only regular files are read, and the archive
    // itself is left out. A link is followed only to a regular file inside rootFolder; links
    // to folders are never followed, so no loop and nothing outside can be packed. A name that
    // cannot stand as a member without changing its meaning (one holding "\" or ":") is
    // skipped. A folder that cannot be read throws. The central directory is written once,
    // after the last member.
    void AddTree(std::string_view folder, std::string_view rootFolder, std::string_view wildcard,
                 bool withSubfolders);
    // A file that AddTree leaves out besides the archive itself: the one a pack is to replace,
    // which may lie in the tree under any spelling of its path. Told by the file, not by its
    // name. Nothing is left out when path names no regular file.
    void LeaveOutOfTree(std::string_view path);
    // Adds one file under a member name (parents first, a member of that name replaced).
    void AddFile(std::string_view memberName, std::string_view path);
    // How many threads deflate the files of a tree (AddTree): 0, the default, one a core.
    // The archive written is the same byte for byte whatever the number.
    void SetDeflateThreads(unsigned threads) { m_deflateThreads = threads; }
    // How hard the members written from now on are deflated (Default unless told).
    void SetPacking(Packing packing) { m_packing = packing; }
    void RemoveMember(std::string_view name);

    const std::vector<Member>& Members() const { return m_members; }

    // The stored form of a member name, used to find members: "\" becomes "/", drive and
    // network prefixes are removed.
    static std::string StoredForm(std::string_view name);
    // The name as FileNames lists it.
    static std::string ListedName(const Member& member);

private:
    void Open();
    void Close();
    void Extract(std::string_view name, std::string_view destination, bool isNew);
    // A member's data into out (destination names it in a failure). Without a local header
    // there is nothing to write: an error when mustHaveData, else nothing is written.
    void WriteMemberData(const Member& m, platform::File& out, std::string_view destination,
                         bool mustHaveData);
    // A deflated member of packedSize bytes inflated whole in memory and handed to write
    // (whose failure is its own to tell); false when it is too large for that, libdeflate
    // refuses it or its bytes fail the CRC-32, nothing written then: the streaming inflation
    // decides.
    bool InflateWhole(const CentralRecord& r, uint64_t packedSize, const ReadInput& read,
                      const WriteOutput& write);
    // The DOS attributes an extracted member gets: archive, and its own hidden, system and
    // read-only bits.
    static uint32_t MemberAttributes(const CentralRecord& r);
    bool ReadCentralDirectory(WindowReader& reader, uint64_t endPosition, uint64_t fileSize);
    bool RebuildFromLocalHeaders(uint64_t fileSize);
    // Keeps the first reason of an open's refusals (the likeliest end record's); false.
    bool Refuse(std::string reason);
    int FindMember(std::string_view name);
    void Invalidate();
    // One step of adding a tree, in the order of the walk: a folder member or a file.
    struct TreeItem {
        bool folder = false;
        std::string name;  // folder: the stored form; file: the member name
        std::string path;
        uint32_t attributes = 0;
        uint32_t dosTime = 0;
        uint64_t device = 0;  // a file's, as the walk found it (0 and 0: not known)
        uint64_t inode = 0;
    };
    void CollectTree(std::string_view folder, std::string_view rootFolder,
                     std::string_view wildcard, bool withSubfolders, const std::string& realRoot,
                     std::vector<TreeItem>& items);
    void AddFileWith(const TreeItem& file, const DeflatedFile* ready);
    void AddFolderMember(const std::string& storedName, uint32_t attributes, uint32_t dosTime);
    // Hands the member's data to its sink in pieces, in order.
    using PieceSink = std::function<void(std::string_view)>;
    using PieceSource = std::function<void(const PieceSink&)>;
    // ready, when given, holds the data already read and deflated (source is not called).
    void AddData(const std::string& storedName, const PieceSource& source, uint32_t attributes,
                 uint32_t dosTime, const DeflatedFile* ready = nullptr);
    // Deflates what the source gives through put, counting its size and CRC.
    void DeflatePieces(const PieceSource& source,
                       const std::function<bool(const uint8_t*, size_t)>& put, uint64_t& size,
                       uint32_t& crc);
    // Takes a member written up to its limit into the directory.
    void Appended(Member m);
    void WriteDirectory(uint64_t at);
    void RemoveAt(size_t index);
    void RequireWritable();

    std::string m_fileName;
    bool m_active = false;
    std::string m_refusal;
    platform::File m_file;
    std::vector<uint8_t> m_window;               // the reading window, kept across archives
    std::unique_ptr<MemberDeflater> m_deflater;  // made at the first member written
    Packing m_packing = Packing::Default;
    std::unique_ptr<WholeInflater> m_inflater;  // made at the first member inflated whole
    std::vector<Member> m_members;
    EndRecord m_end;
    bool m_namesBuilt = false;
    bool m_deferDirectory = false;  // while a tree is added: the directory is written at its end
    unsigned m_deflateThreads = 0;
    uint64_t m_leftOutDevice = 0;  // LeaveOutOfTree's file; inode 0: none
    uint64_t m_leftOutInode = 0;
    std::vector<std::string> m_fileNames;
    std::unordered_set<std::string> m_foldedNames;          // for HasMember
    std::unordered_map<std::string, size_t> m_storedIndex;  // folded stored form -> first index
};

// A wildcard match of a whole name, "*" and "?" as in file masks, ASCII letters folded; as on
// Windows, a mask ending in ".*" also takes names without an extension ("*.*" takes all).
bool MatchesMask(std::string_view text, std::string_view mask);

}  // namespace fraglane::archive
