#include "archive/pk3_archive.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "archive/pk3_format.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

// Opening and reading an archive; writing is in pk3_archive_write.cpp.
namespace fraglane::archive {

using namespace format;

// Reads through one cached window, so that walking a directory costs a read per 64 KiB.
// Every read is checked against the file's length first. The window's memory belongs to the
// archive object and is kept from one archive to the next: a scan of thousands of small
// archives allocates (and clears) it once.
class WindowReader {
public:
    WindowReader(const platform::File& file, uint64_t size, std::vector<uint8_t>& buffer)
        : m_file(file), m_size(size), m_buffer(buffer) {}

    // Reads length bytes at base into the window; false when the read fails.
    bool Fill(uint64_t base, size_t length) {
        if (m_buffer.size() < length)
            m_buffer.resize(length);
        m_base = base;
        m_length = 0;
        if (!m_file.ReadAt(base, m_buffer.data(), length))
            return false;
        m_length = length;
        return true;
    }
    const uint8_t* Window() const { return m_buffer.data(); }

    bool Read(uint64_t offset, size_t n, uint8_t* out) {
        if (offset > m_size || n > m_size - offset)
            return false;
        if (offset < m_base || offset + n > m_base + m_length) {
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(std::max(n, Chunk), m_size - offset));
            if (!Fill(offset, want))
                return false;
        }
        std::memcpy(out, m_buffer.data() + (offset - m_base), n);
        return true;
    }

    bool ReadText(uint64_t offset, size_t n, std::string& out) {
        out.resize(n);
        return n == 0 || Read(offset, n, reinterpret_cast<uint8_t*>(out.data()));
    }

private:
    const platform::File& m_file;
    uint64_t m_size;
    std::vector<uint8_t>& m_buffer;
    uint64_t m_base = 0;
    size_t m_length = 0;
};

std::string Pk3Archive::StoredForm(std::string_view name) {
    std::string s(name);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (const size_t drive = s.find(":/"); drive != std::string::npos)
        s.erase(0, drive + 2);
    if (const size_t unc = s.find("//"); unc != std::string::npos) {
        // A network path: the server and share parts go too.
        s.erase(0, unc + 2);
        for (int part = 0; part < 2; ++part) {
            const size_t slash = s.find('/');
            if (slash == std::string::npos)
                break;
            s.erase(0, slash + 1);
        }
    }
    return s;
}

std::string Pk3Archive::ListedName(const Member& member) {
    std::string s;
    const std::string& stored = member.record.name;
    s.reserve(stored.size() + 1);
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '/') {
            s.push_back('\\');
            if (i + 1 < stored.size() && stored[i + 1] == '/')
                ++i;  // "//" counts as one
        } else {
            s.push_back(stored[i]);
        }
    }
    if (const size_t drive = s.find(":\\"); drive != std::string::npos)
        s.erase(0, drive + 2);
    if (member.folder && (s.empty() || s.back() != '\\'))
        s.push_back('\\');
    return s;
}

void Pk3Archive::SetActive(bool active) {
    if (m_fileName.empty())
        return;
    if (active)
        Open();
    else
        Close();
}

void Pk3Archive::Close() {
    m_file.Close();
    m_members.clear();
    m_end = EndRecord{};
    m_active = false;
    Invalidate();
}

void Pk3Archive::Invalidate() {
    m_namesBuilt = false;
    m_fileNames.clear();
    m_foldedNames.clear();
    m_storedIndex.clear();
}

bool Pk3Archive::Refuse(std::string reason) {
    if (m_refusal.empty())
        m_refusal = std::move(reason);
    return false;
}

void Pk3Archive::Open() {
    Close();
    m_refusal.clear();
    // Opened for reading; the first write reopens it for writing, which a file with the
    // read-only attribute refuses. So the scan never holds a game archive open for writing.
    m_file = platform::File::OpenExisting(m_fileName, false);
    const uint64_t size = m_file.Size();

    bool opened = false;
    bool endFound = false;
    if (size >= EndSize) {
        // The end record lies within the last 22 + 65,535 bytes: a record followed by a comment
        // of any size the format allows is found.
        const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size, EndSize + MaxComment));
        const uint64_t tailBase = size - tailSize;
        WindowReader reader(m_file, size, m_window);
        if (!reader.Fill(tailBase, tailSize)) {
            Refuse("the end of the file cannot be read");
        } else {
            const ByteReader tail(reader.Window(), tailSize);
            // Records whose comment ends the file come first; then any whose comment fits, for
            // archives with bytes appended. A signature inside a comment is tried only after.
            std::vector<size_t> exact, loose;
            for (size_t i = tailSize - EndSize + 1; i-- > 0;) {
                if (reader.Window()[i] != 0x50 || reader.Window()[i + 1] != 0x4B)
                    continue;  // not "PK": no signature starts here
                ByteReader record = tail.Sub(i, EndSize);
                if (record.U32() != EndSignature)
                    continue;
                record.Seek(20);
                const uint64_t end = tailBase + i + EndSize + record.U16();
                if (end == size)
                    exact.push_back(i);
                else if (end < size)
                    loose.push_back(i);
            }
            exact.insert(exact.end(), loose.begin(), loose.end());
            endFound = !exact.empty();
            for (size_t i : exact) {
                if (ReadCentralDirectory(reader, tailBase + i, size)) {
                    opened = true;
                    break;
                }
            }
        }
    }
    if (!endFound)
        opened = RebuildFromLocalHeaders(size);
    if (!opened) {
        Close();  // no archive: closed, no members, no error
        return;
    }
    m_refusal.clear();
    m_active = true;
}

namespace {

std::string At(uint64_t offset) {
    return " at offset " + std::to_string(offset);
}

// The central-directory record at pos into m, pos moved past it; what is wrong with it when
// it cannot be read, or nullptr.
const char* ReadCentralRecord(WindowReader& reader, uint64_t& pos, Member& m) {
    uint8_t h[CentralSize];
    if (!reader.Read(pos, CentralSize, h))
        return "runs past the end of the file";
    ByteReader header(h, CentralSize);
    if (header.U32() != Pk3Archive::CentralSignature)
        return "has no record signature";
    CentralRecord& r = m.record;
    r.versionMadeBy = header.U16();
    GetSharedFields(header, r);
    const uint16_t nameLength = header.U16();
    const uint16_t extraLength = header.U16();
    const uint16_t commentLength = header.U16();
    r.diskNumberStart = header.U16();
    r.internalAttributes = header.U16();
    r.externalAttributes = header.U32();
    r.localHeaderOffset = header.U32();
    pos += CentralSize;
    if (!reader.ReadText(pos, nameLength, r.name) ||
        !reader.ReadText(pos + nameLength, extraLength, r.extra) ||
        !reader.ReadText(pos + nameLength + extraLength, commentLength, r.comment)) {
        return "has a name, extra field or comment that runs past the end of the file";
    }
    pos += uint64_t{nameLength} + extraLength + commentLength;
    m.encrypted = (r.flags & 1) != 0;
    m.folder = (r.externalAttributes & platform::AttrDirectory) != 0;
    return nullptr;
}

// What extracting a member reads of its data: a stored member is copied for its uncompressed
// size, a deflated one inflated from at most its compressed size.
uint64_t DataLength(const CentralRecord& r) {
    return r.method == 0 ? r.uncompressedSize : r.compressedSize;
}

// A member's name as a reason shows it: control bytes as \xNN.
std::string Printed(const Member& m) {
    return text::PrintableName(m.record.name);
}

std::string OverlapText(const Member& m, const Member* next, std::string_view end) {
    if (next == nullptr)
        return "the data of " + Printed(m) + " runs into " + std::string(end);
    return "the data of " + Printed(m) + " and " + Printed(*next) + " overlap";
}

// Members whose bytes overlap make an archive no archive, as Info-ZIP's unzip has held since
// 6.0: no writer shares data between members, and records that do let a small file extract to
// many times its size (a hundred records over one deflated block). In the order of their local
// headers, each member's header (its fixed part and name; the local extra field is known only
// at extraction) and data must end by the next member's header and by end, where the central
// directory begins. A data descriptor (bit 3) is not counted: only the central record's sizes
// are read. A header past the end of the file is left alone, as nothing can be read there.
// Sets each member's limit; what is wrong, or empty.
std::string RefuseOverlaps(std::vector<Member>& members, uint64_t end, std::string_view endName,
                           uint64_t fileSize) {
    std::vector<uint32_t> order(members.size());
    std::iota(order.begin(), order.end(), 0);
    const auto offset = [&members](uint32_t i) { return members[i].record.localHeaderOffset; };
    std::sort(order.begin(), order.end(), [&offset](uint32_t a, uint32_t b) {
        return offset(a) != offset(b) ? offset(a) < offset(b) : a < b;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        Member& m = members[order[k]];
        const uint64_t at = m.record.localHeaderOffset;
        if (at >= fileSize)
            break;
        if (at >= end)
            return "the local header of " + Printed(m) + " lies inside " + std::string(endName);
        const Member* next =
            k + 1 < order.size() && offset(order[k + 1]) < end ? &members[order[k + 1]] : nullptr;
        m.limit = next != nullptr ? next->record.localHeaderOffset : end;
        if (at + LocalSize + m.record.name.size() + DataLength(m.record) > m.limit)
            return OverlapText(m, next, endName);
    }
    return {};
}

}  // namespace

bool Pk3Archive::ReadCentralDirectory(WindowReader& reader, uint64_t endPosition,
                                      uint64_t fileSize) {
    m_members.clear();
    uint8_t end[EndSize];
    if (!reader.Read(endPosition, EndSize, end))
        return Refuse("the end of central directory record" + At(endPosition) + " is cut short");
    ByteReader in(end, EndSize);
    in.Seek(8);  // signature, disk numbers
    EndRecord e;
    e.position = endPosition;
    e.entriesOnDisk = in.U16();
    e.entries = in.U16();
    e.directorySize = in.U32();
    e.directoryOffset = in.U32();
    if (!reader.ReadText(endPosition + EndSize, in.U16(), e.comment))
        return Refuse("the archive comment runs past the end of the file");

    const uint64_t count = e.entriesOnDisk;
    const auto fileBytes = [fileSize] { return " (" + std::to_string(fileSize) + " bytes)"; };
    if (e.directoryOffset > fileSize) {
        return Refuse("the central directory offset " + std::to_string(e.directoryOffset) +
                      " lies past the end of the file" + fileBytes());
    }
    // Each record takes at least 46 bytes: a count the file cannot hold is refused before
    // anything is allocated for it.
    if (count * CentralSize > fileSize - e.directoryOffset) {
        return Refuse(std::to_string(count) + " entries cannot fit between the central " +
                      "directory offset " + std::to_string(e.directoryOffset) +
                      " and the end of the file" + fileBytes());
    }
    std::vector<Member> members;
    members.reserve(static_cast<size_t>(count));
    uint64_t pos = e.directoryOffset;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = pos;
        Member m;
        if (const char* damage = ReadCentralRecord(reader, pos, m)) {
            return Refuse("central directory record " + std::to_string(i + 1) + " of " +
                          std::to_string(count) + At(at) + " " + damage);
        }
        members.push_back(std::move(m));
    }
    if (std::string overlap =
            RefuseOverlaps(members, e.directoryOffset, "the central directory", fileSize);
        !overlap.empty()) {
        return Refuse(std::move(overlap));
    }
    m_members = std::move(members);
    m_end = std::move(e);
    return true;
}

namespace {

// Finds the data descriptor (APPNOTE 4.3.9) that ends a member whose data starts at dataStart:
// the first position after it that holds either the descriptor signature followed by a
// compressed size equal to the distance from dataStart, or (for a descriptor without its
// signature) such a size followed 12 bytes on by the next record's signature. Takes the CRC
// and sizes from it. Reads each byte of the member's data once.
bool FindDescriptor(const platform::File& file, uint64_t dataStart, uint64_t fileSize,
                    CentralRecord& r, uint64_t& descriptorLength) {
    constexpr size_t Overlap = 16;
    std::vector<uint8_t> chunk(Chunk + Overlap);
    for (uint64_t base = dataStart; base < fileSize; base += Chunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), fileSize - base));
        if (n < 12 || !file.ReadAt(base, chunk.data(), n))
            return false;
        const size_t last = std::min<size_t>(Chunk, n - 12);
        for (size_t i = 0; i <= last; ++i) {
            const uint64_t at = base + i;
            ByteReader in(chunk.data() + i, n - i);
            const uint32_t first = in.U32();
            const uint32_t second = in.U32();
            const uint32_t third = in.U32();
            if (first == DescriptorSignature && n - i >= 16 && third == at - dataStart) {
                r.crc32 = second;
                r.compressedSize = third;
                r.uncompressedSize = in.U32();
                descriptorLength = 16;
                return true;
            }
            if (second == at - dataStart && n - i >= 16) {
                const uint32_t next = in.Sub(12, 4).U32();
                if (next == Pk3Archive::LocalSignature || next == Pk3Archive::CentralSignature ||
                    next == Pk3Archive::EndSignature) {
                    r.crc32 = first;
                    r.compressedSize = second;
                    r.uncompressedSize = third;
                    descriptorLength = 12;
                    return true;
                }
            }
            if (at - dataStart >= UINT32_MAX)
                return false;
        }
    }
    return false;
}

}  // namespace

bool Pk3Archive::RebuildFromLocalHeaders(uint64_t fileSize) {
    // Without an end record the members are found by walking the local headers from the
    // start. A header whose sizes are left to a data descriptor (bit 3) is walked by finding
    // that descriptor after its data (FindDescriptor), never by inflating the data: the walk
    // costs a read of the file, whatever its members would inflate to.
    m_members.clear();
    WindowReader reader(m_file, fileSize, m_window);
    uint64_t pos = 0;
    uint8_t h[LocalSize];
    while (reader.Read(pos, LocalSize, h) && Get32(h) == LocalSignature) {
        ByteReader in(h, LocalSize);
        in.Skip(4);
        Member m;
        CentralRecord& r = m.record;
        GetSharedFields(in, r);
        r.versionMadeBy = 20;
        r.versionNeeded = 20;
        const uint16_t nameLength = in.U16();
        const uint16_t extraLength = in.U16();
        if (!reader.ReadText(pos + LocalSize, nameLength, r.name))
            break;
        if (!reader.ReadText(pos + LocalSize + nameLength, extraLength, r.extra))
            break;
        const uint64_t dataStart = pos + LocalSize + nameLength + extraLength;
        const bool descriptor = (r.flags & 8) != 0;
        uint64_t descriptorLength = 0;
        if (descriptor && r.compressedSize == 0) {
            if (!FindDescriptor(m_file, dataStart, fileSize, r, descriptorLength))
                break;
        } else if (descriptor) {
            uint8_t sig[4];
            descriptorLength = (reader.Read(dataStart + r.compressedSize, 4, sig) &&
                                Get32(sig) == DescriptorSignature)
                                   ? 16u
                                   : 12u;
        }
        r.externalAttributes = (!r.name.empty() && r.name.back() == '/') ? platform::AttrDirectory
                                                                         : platform::AttrArchive;
        r.localHeaderOffset = static_cast<uint32_t>(pos);
        m.encrypted = (r.flags & 1) != 0;
        m.folder = (r.externalAttributes & platform::AttrDirectory) != 0;
        m_members.push_back(std::move(m));
        pos = dataStart + r.compressedSize + descriptorLength;
        if (pos > UINT32_MAX)
            break;
    }
    m_end = EndRecord{};
    m_end.position = pos;
    m_end.directoryOffset = static_cast<uint32_t>(std::min<uint64_t>(pos, fileSize));
    if (m_members.empty()) {
        return Refuse(fileSize == 0 ? "the file is empty"
                                    : "no end of central directory record, and no local file "
                                      "header at the start of the file");
    }
    // The walk puts each member after the one before; only a stored member whose local header
    // declares more than it holds reaches further.
    if (std::string overlap = RefuseOverlaps(m_members, pos, "the end of the archive", fileSize);
        !overlap.empty()) {
        m_members.clear();
        return Refuse(std::move(overlap));
    }
    return true;
}

const std::vector<std::string>& Pk3Archive::FileNames() {
    if (!m_namesBuilt) {
        m_fileNames.reserve(m_members.size());
        for (const Member& m : m_members)
            m_fileNames.push_back(ListedName(m));
        m_namesBuilt = true;
    }
    return m_fileNames;
}

// Small archives are searched in a line; larger ones get an index on first use, built so
// that it gives the same answer as that linear first-match search.
constexpr size_t IndexFrom = 16;

bool Pk3Archive::HasMember(std::string_view name) {
    const std::vector<std::string>& names = FileNames();
    if (names.size() < IndexFrom) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& n) { return text::EqualsIgnoreCase(n, name); });
    }
    if (m_foldedNames.empty()) {
        for (const std::string& n : names)
            m_foldedNames.insert(text::LowerCase(n));
    }
    return m_foldedNames.count(text::LowerCase(name)) != 0;
}

int Pk3Archive::FindMember(std::string_view name) {
    const std::string wanted = StoredForm(name);
    if (m_members.size() < IndexFrom) {
        for (size_t i = 0; i < m_members.size(); ++i) {
            if (text::EqualsIgnoreCase(StoredForm(m_members[i].record.name), wanted)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    if (m_storedIndex.empty()) {
        for (size_t i = 0; i < m_members.size(); ++i) {
            m_storedIndex.try_emplace(text::LowerCase(StoredForm(m_members[i].record.name)), i);
        }
    }
    const auto it = m_storedIndex.find(text::LowerCase(wanted));
    return it == m_storedIndex.end() ? -1 : static_cast<int>(it->second);
}

uint64_t Pk3Archive::DeclaredSize(std::string_view name) {
    const int index = FindMember(name);
    return index < 0 ? 0 : m_members[static_cast<size_t>(index)].record.uncompressedSize;
}

const Member* Pk3Archive::FindRecord(std::string_view name) {
    const int index = FindMember(name);
    return index < 0 ? nullptr : &m_members[static_cast<size_t>(index)];
}

void Pk3Archive::ExtractMember(std::string_view name, std::string_view destination) {
    Extract(name, destination, false);
}

void Pk3Archive::ExtractNewMember(std::string_view name, std::string_view destination) {
    Extract(name, destination, true);
}

void Pk3Archive::Extract(std::string_view name, std::string_view destination, bool isNew) {
    const int index = FindMember(name);
    if (index < 0)
        throw Error("File \"" + std::string(name) + "\" not found!");
    const Member& m = m_members[static_cast<size_t>(index)];
    if (m.folder) {
        platform::ForceDirectories(std::string(destination));
        return;
    }
    const CentralRecord& r = m.record;
    if ((r.method != 0 && r.method != 8) || m.encrypted) {
        throw Error("Cannot process this file: " + r.name + " ");
    }
    if (!isNew) {
        platform::File out = platform::File::Create(destination);
        WriteMemberData(m, out, destination, false);
        out.SetAttributes(MemberAttributes(r));
        out.Close();
        return;
    }
    // A new file takes its name only whole: it is written under a temporary name beside
    // it, then moved to its name where nothing has it yet. A write that fails, or a
    // process killed part-way, leaves no cut file under the name, where the picture cache
    // would keep it for good. What a killed write left under the temporary name (a link
    // too) refuses the exclusive create; it is removed, never followed, and the create
    // tried once more (a look first would cost every picture of a scan a call).
    const std::string written = std::string(destination) + ".part";
    const std::string message = "Cannot create file " + platform::DisplayPath(destination);
    platform::File out;
    try {
        try {
            out = platform::File::CreateExact(written);
        } catch (const Error&) {
            platform::RemoveExactFile(written);
            out = platform::File::CreateExact(written);
        }
    } catch (const OutputError&) {
        throw OutputError(message);
    } catch (const Error&) {
        throw Error(message);
    }
    try {
        WriteMemberData(m, out, destination, true);
        out.SetAttributes(MemberAttributes(r));
        out.Close();
        if (!platform::RenameToNewName(written, destination))
            throw Error(message);
    } catch (...) {
        out.Close();
        platform::RemoveExactFile(written);
        throw;
    }
}

bool Pk3Archive::InflateWhole(const CentralRecord& r, uint64_t packedSize, const ReadInput& read,
                              const WriteOutput& write) {
    // Whole only where both sides fit in memory: a deflated member is at most a little
    // larger than its data (stored blocks cost 5 bytes each 64 KiB).
    const uint64_t expected = r.uncompressedSize;
    if (expected == 0 || expected > WholeLimit || packedSize > WholeLimit + (WholeLimit >> 10))
        return false;
    if (!m_inflater)
        m_inflater = std::make_unique<WholeInflater>();
    const auto packed = std::make_unique_for_overwrite<uint8_t[]>(packedSize);
    const auto out = std::make_unique_for_overwrite<uint8_t[]>(expected);
    for (size_t got = 0; got < packedSize;) {
        const size_t n = read(packed.get() + got, static_cast<size_t>(packedSize) - got);
        if (n == 0)
            return false;
        got += n;
    }
    // libdeflate takes some data that zlib refuses (code counts or codes past the format's
    // own, a repeat with nothing to repeat). Its bytes are taken only when they are what the
    // member's CRC-32 promises: damage of any other kind is zlib's to judge, as it always was.
    if (!m_inflater->Inflate(packed.get(), static_cast<size_t>(packedSize), out.get(),
                             static_cast<size_t>(expected)) ||
        Crc32(0, {reinterpret_cast<const char*>(out.get()), static_cast<size_t>(expected)}) !=
            r.crc32) {
        return false;
    }
    write(out.get(), static_cast<size_t>(expected));
    return true;
}

uint32_t Pk3Archive::MemberAttributes(const CentralRecord& r) {
    return platform::AttrArchive |
           (r.externalAttributes &
            (platform::AttrHidden | platform::AttrSystem | platform::AttrReadOnly));
}

void Pk3Archive::WriteMemberData(const Member& m, platform::File& out, std::string_view destination,
                                 bool mustHaveData) {
    const CentralRecord& r = m.record;
    const uint64_t fileSize = m_file.Size();
    uint8_t h[LocalSize];
    if (!m_file.ReadAt(r.localHeaderOffset, h, LocalSize) || Get32(h) != LocalSignature) {
        // An extraction writes nothing then, and says nothing; a new file is not made of it,
        // which would stand for the member for good (a picture of the cache).
        if (mustHaveData)
            throw Error("the local header of " + Printed(m) + " cannot be read");
        return;
    }
    uint64_t at = uint64_t{r.localHeaderOffset} + LocalHeaderLength(h);
    // The local extra field, unknown at open, may move the data into the next member.
    if (at + DataLength(r) > m.limit) {
        const auto next = std::find_if(m_members.begin(), m_members.end(), [&](const Member& n) {
            return n.record.localHeaderOffset == m.limit && &n != &m;
        });
        throw Error(
            OverlapText(m, next == m_members.end() ? nullptr : &*next, "the central directory"));
    }
    const uint64_t dataEnd = std::min<uint64_t>(fileSize, at + DataLength(r));
    auto read = [&](uint8_t* buffer, size_t n) -> size_t {
        const size_t take =
            at >= dataEnd ? 0 : static_cast<size_t>(std::min<uint64_t>(n, dataEnd - at));
        if (take == 0 || !m_file.ReadAt(at, buffer, take))
            return 0;
        at += take;
        return take;
    };
    bool writeFailed = false;
    auto write = [&](const uint8_t* data, size_t n) {
        writeFailed = !out.Append(data, n);
        return !writeFailed;
    };

    bool ok = true;
    if (r.method == 0) {
        std::vector<uint8_t> buffer(Chunk);
        uint64_t left = r.uncompressedSize;
        while (ok && left > 0) {
            const size_t got =
                read(buffer.data(), static_cast<size_t>(std::min<uint64_t>(left, Chunk)));
            ok = got > 0 && write(buffer.data(), got);
            left -= got;
        }
    } else if (const uint64_t packedStart = at; InflateWhole(r, dataEnd - at, read, write)) {
        ok = !writeFailed;
    } else {
        at = packedStart;
        ok = InflateExactly(read, r.uncompressedSize, write);
    }
    if (!ok) {
        out.Truncate(0);
        if (writeFailed)
            throw OutputError("Unable to write to " + platform::DisplayPath(destination));
        throw Error("error");
    }
}

}  // namespace fraglane::archive
