#include <algorithm>
#include <optional>

#include "archive/deflate_ahead.h"
#include "archive/pk3_archive.h"
#include "archive/pk3_format.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

// Writing an archive in place: a new archive, members added (a whole tree at once) and removed.
namespace fraglane::archive {

using namespace format;

namespace {

bool MatchesGlob(std::string_view text, std::string_view mask) {
    size_t t = 0, m = 0, starT = std::string_view::npos, starM = 0;
    while (t < text.size()) {
        if (m < mask.size() &&
            (mask[m] == '?' || text::LowerAscii(mask[m]) == text::LowerAscii(text[t]))) {
            ++t;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = ++m;
            starT = t;
        } else if (starT != std::string_view::npos) {
            m = starM;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

// A stored name that means what it says: relative, no "." or ".." part, no empty part but
// the end of a folder name.
bool IsPlainStoredName(std::string_view stored) {
    if (stored.empty() || stored.front() == '/')
        return false;
    size_t start = 0;
    while (start < stored.size()) {
        size_t slash = stored.find('/', start);
        if (slash == std::string_view::npos)
            slash = stored.size();
        const std::string_view part = stored.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

// Whether a directory entry's name can become part of a member name unchanged.
bool IsPlainEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\:") == std::string_view::npos;
}

}  // namespace

bool MatchesMask(std::string_view text, std::string_view mask) {
    if (MatchesGlob(text, mask))
        return true;
    return mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
           text.find('.') == std::string_view::npos &&
           MatchesGlob(text, mask.substr(0, mask.size() - 2));
}

void Pk3Archive::CreateEmpty(std::string_view path, bool onlyNew) {
    std::string record;
    Put32(record, EndSignature);
    record.append(18, '\0');
    if (!onlyNew) {
        platform::WriteFileBytes(path, record);
        return;
    }
    platform::File file = platform::File::CreateExact(path);
    if (!file.Append(record.data(), record.size()))
        throw OutputError("Unable to write to " + platform::DisplayPath(path));
}

void Pk3Archive::RequireWritable() {
    if (!m_active)
        throw Error(WriteError(m_fileName));
    if (!m_file.Writable()) {
        platform::File writable = platform::File::OpenExisting(m_fileName, true);
        if (!writable.Writable())
            throw Error(WriteError(m_fileName));
        m_file = std::move(writable);
    }
}

void Pk3Archive::LeaveOutOfTree(std::string_view path) {
    const platform::EntryInfo info = platform::InspectEntry(path);
    const bool regular = info.kind == platform::EntryKind::Regular;
    m_leftOutDevice = regular ? info.device : 0;
    m_leftOutInode = regular ? info.inode : 0;
}

void Pk3Archive::AddTree(std::string_view folder, std::string_view rootFolder,
                         std::string_view wildcard, bool withSubfolders) {
    RequireWritable();
    const platform::EntryInfo root = platform::InspectEntry(rootFolder);
    // The walk first, then the members in its order: the files' data is read and deflated
    // ahead on worker threads while the members before it are written.
    std::vector<TreeItem> items;
    CollectTree(folder, rootFolder, wildcard, withSubfolders, root.realPath, items);
    std::vector<TreeFile> files;
    for (const TreeItem& item : items) {
        if (!item.folder)
            files.push_back({item.path, item.device, item.inode});
    }
    std::optional<DeflateAhead> ahead;
    if (const unsigned workers = DeflateWorkers(m_deflateThreads); workers > 1 && files.size() > 1)
        ahead.emplace(std::move(files), workers, m_packing);
    m_deferDirectory = true;
    try {
        size_t fileIndex = 0;
        for (const TreeItem& item : items) {
            if (item.folder) {
                if (FindMember(item.name) < 0)
                    AddFolderMember(item.name, item.attributes, item.dosTime);
                continue;
            }
            const DeflatedFile ready = ahead ? ahead->Take(fileIndex++) : DeflatedFile{};
            AddFileWith(item, ready.ready ? &ready : nullptr);
        }
    } catch (...) {
        m_deferDirectory = false;
        throw;
    }
    m_deferDirectory = false;
    WriteDirectory(m_end.directoryOffset);
}

void Pk3Archive::CollectTree(std::string_view folder, std::string_view rootFolder,
                             std::string_view wildcard, bool withSubfolders,
                             const std::string& realRoot, std::vector<TreeItem>& items) {
    // A folder that cannot be read fails the tree: packing it as empty would lose its files.
    std::vector<platform::DirEntry> entries = platform::ListDirectory(folder, true);
    // Enumerated in name order, as the file systems the format comes from list a folder.
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const int c = text::CompareIgnoreCase(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    const std::string base = platform::IncludeTrailingBackslash(folder);
    auto relative = [&](const std::string& full) {
        std::string rel =
            text::StartsWithIgnoreCase(full, rootFolder) ? full.substr(rootFolder.size()) : full;
        if (!rel.empty() && rel.front() == '\\')
            rel.erase(0, 1);
        return rel;
    };
    for (const platform::DirEntry& entry : entries) {
        if (!IsPlainEntryName(entry.name))
            continue;
        const std::string full = base + entry.name;
        const platform::EntryInfo info = platform::InspectEntry(full);
        // Listed but not to be looked at (a folder that may be listed but not entered, a path
        // past the system's length): failing says so, leaving it out would not. A dangling link
        // leads nowhere and is passed by like any link that leads outside.
        if (info.kind == platform::EntryKind::Missing && !info.isLink)
            throw Error("Cannot process this file: " + platform::DisplayPath(full) + " ");
        if (info.kind == platform::EntryKind::Regular) {
            const bool outside = info.isLink && !platform::IsInsideFolder(info.realPath, realRoot);
            const bool leftOut = m_leftOutInode != 0 && info.inode == m_leftOutInode &&
                                 info.device == m_leftOutDevice;
            if (!outside && !leftOut && !m_file.SameAs(info.device, info.inode) &&
                MatchesMask(entry.name, wildcard)) {
                items.push_back({false, relative(full), full, 0, 0, info.device, info.inode});
            }
            continue;
        }
        if (info.kind != platform::EntryKind::Directory || info.isLink)
            continue;
        items.push_back({true, StoredForm(relative(full) + "\\"), full,
                         platform::GetFileAttributes(full), platform::FileDosDateTime(full), 0, 0});
        if (withSubfolders)
            CollectTree(full, rootFolder, wildcard, withSubfolders, realRoot, items);
    }
}

void Pk3Archive::AddFile(std::string_view memberName, std::string_view path) {
    AddFileWith({false, std::string(memberName), std::string(path)}, nullptr);
}

void Pk3Archive::AddFileWith(const TreeItem& file, const DeflatedFile* ready) {
    const std::string_view memberName = file.name;
    const std::string_view path = file.path;
    RequireWritable();
    const std::string stored = StoredForm(memberName);
    if (!IsPlainStoredName(stored))
        throw Error(WriteError(m_fileName));
    for (size_t slash = stored.find('/'); slash != std::string::npos && slash + 1 < stored.size();
         slash = stored.find('/', slash + 1)) {
        const std::string parent = stored.substr(0, slash + 1);
        if (FindMember(parent) < 0) {
            AddFolderMember(parent, platform::AttrDirectory, platform::CurrentDosDateTime());
        }
    }
    if (const int existing = FindMember(stored); existing >= 0)
        RemoveAt(static_cast<size_t>(existing));
    uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes == platform::InvalidAttributes)
        attributes = platform::AttrArchive;
    // A file of a walk is read only if it is still the file the walk found.
    const auto read = [&](const PieceSink& take) {
        ReadTreeFile({file.path, file.device, file.inode}, take);
    };
    AddData(stored, read, attributes, platform::FileDosDateTime(path), ready);
}

void Pk3Archive::AddFolderMember(const std::string& storedName, uint32_t attributes,
                                 uint32_t dosTime) {
    if (attributes == platform::InvalidAttributes)
        attributes = platform::AttrDirectory;
    AddData(
        storedName, [](const PieceSink&) {}, attributes | platform::AttrDirectory, dosTime);
}

namespace {

// A member's local header: the fields it shares with its central record, then its name.
std::string LocalHeader(const CentralRecord& r) {
    std::string local;
    Put32(local, Pk3Archive::LocalSignature);
    PutSharedFields(local, r);
    Put16(local, static_cast<uint16_t>(r.name.size()));
    Put16(local, 0);
    local += r.name;
    return local;
}

}  // namespace

void Pk3Archive::AddData(const std::string& storedName, const PieceSource& source,
                         uint32_t attributes, uint32_t dosTime, const DeflatedFile* ready) {
    RequireWritable();
    // The records' fields: a name of 65,535 bytes, 65,535 members, offsets below 4 GiB.
    if (!IsPlainStoredName(storedName) || storedName.size() > 0xFFFF ||
        m_members.size() >= 0xFFFF ||
        uint64_t{m_end.directoryOffset} + LocalSize + storedName.size() > UINT32_MAX) {
        throw Error(WriteError(m_fileName));
    }
    Member m;
    CentralRecord& r = m.record;
    r.time = static_cast<uint16_t>(dosTime & 0xFFFF);
    r.date = static_cast<uint16_t>(dosTime >> 16);
    r.externalAttributes = attributes;
    r.name = storedName;
    m.folder = (attributes & platform::AttrDirectory) != 0;
    const uint64_t offset = m_end.directoryOffset;
    r.localHeaderOffset = static_cast<uint32_t>(offset);

    // The data is deflated as it is read and written after the local header's place; the
    // header follows once its sizes and CRC are known. Memory stays bounded whatever the size.
    const uint64_t dataStart = offset + LocalSize + storedName.size();
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    const WriteOutput put = [&](const uint8_t* data, size_t n) {
        if (dataStart + packed + n > UINT32_MAX || !m_file.WriteAt(dataStart + packed, data, n))
            throw Error(WriteError(m_fileName));
        packed += n;
        return true;
    };
    try {
        if (ready != nullptr) {
            if (!ready->packed.empty())
                put(reinterpret_cast<const uint8_t*>(ready->packed.data()), ready->packed.size());
            size = ready->size;
            crc = ready->crc;
        } else {
            DeflatePieces(source, put, size, crc);
        }
        r.method = size == 0 ? 0 : 8;
        r.crc32 = crc;
        r.compressedSize = static_cast<uint32_t>(packed);
        r.uncompressedSize = static_cast<uint32_t>(size);
        const std::string local = LocalHeader(r);
        if (!m_file.WriteAt(offset, local.data(), local.size()))
            throw Error(WriteError(m_fileName));
    } catch (...) {
        // What was written over the directory's place is cut off again: the archive stays as
        // it was (within a tree, the whole archive is dropped by its caller).
        if (packed > 0 && !m_deferDirectory) {
            try {
                WriteDirectory(offset);
            } catch (...) {
                // The first failure is the one to report.
            }
        }
        throw;
    }
    m.limit = dataStart + packed;
    Appended(std::move(m));
}

void Pk3Archive::DeflatePieces(const PieceSource& source, const WriteOutput& put, uint64_t& size,
                               uint32_t& crc) {
    source([&](std::string_view piece) {
        if (piece.empty())
            return;
        if (size == 0) {
            if (!m_deflater || m_deflater->GetPacking() != m_packing)
                m_deflater = std::make_unique<MemberDeflater>(m_packing);
            m_deflater->Begin();
        }
        size += piece.size();
        if (size > UINT32_MAX)
            throw Error(WriteError(m_fileName));
        crc = Crc32(crc, piece);
        m_deflater->Feed(piece, put);
    });
    if (size > 0)
        m_deflater->Finish(put);
}

void Pk3Archive::Appended(Member m) {
    const uint64_t end = m.limit;
    const std::string stored = text::LowerCase(StoredForm(m.record.name));
    m_members.push_back(std::move(m));
    // The lookup index grows with the member instead of being built again for every add.
    if (!m_storedIndex.empty())
        m_storedIndex.try_emplace(stored, m_members.size() - 1);
    m_namesBuilt = false;
    m_fileNames.clear();
    m_foldedNames.clear();
    if (m_deferDirectory)
        m_end.directoryOffset = static_cast<uint32_t>(end);
    else
        WriteDirectory(end);
}

void Pk3Archive::WriteDirectory(uint64_t at) {
    std::string out;
    for (const Member& m : m_members) {
        const CentralRecord& r = m.record;
        Put32(out, CentralSignature);
        Put16(out, r.versionMadeBy);
        PutSharedFields(out, r);
        Put16(out, static_cast<uint16_t>(r.name.size()));
        Put16(out, static_cast<uint16_t>(r.extra.size()));
        Put16(out, static_cast<uint16_t>(r.comment.size()));
        Put16(out, r.diskNumberStart);
        Put16(out, r.internalAttributes);
        Put32(out, r.externalAttributes);
        Put32(out, r.localHeaderOffset);
        out += r.name;
        out += r.extra;
        out += r.comment;
    }
    const auto count = static_cast<uint16_t>(std::min<size_t>(m_members.size(), 0xFFFF));
    const uint64_t directorySize = out.size();
    if (at + directorySize > UINT32_MAX)
        throw Error(WriteError(m_fileName));
    Put32(out, EndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count);
    Put16(out, count);
    Put32(out, static_cast<uint32_t>(directorySize));
    Put32(out, static_cast<uint32_t>(at));
    Put16(out, static_cast<uint16_t>(m_end.comment.size()));
    out += m_end.comment;
    if (!m_file.WriteAt(at, out.data(), out.size()) || !m_file.Truncate(at + out.size())) {
        throw Error(WriteError(m_fileName));
    }
    m_end.position = at + directorySize;
    m_end.entries = m_end.entriesOnDisk = count;
    m_end.directorySize = static_cast<uint32_t>(directorySize);
    m_end.directoryOffset = static_cast<uint32_t>(at);
}

void Pk3Archive::RemoveMember(std::string_view name) {
    const int index = FindMember(name);
    if (index >= 0)
        RemoveAt(static_cast<size_t>(index));
}

void Pk3Archive::RemoveAt(size_t index) {
    RequireWritable();
    const CentralRecord removed = m_members[index].record;
    const uint64_t start = removed.localHeaderOffset;
    const uint64_t dataEnd = m_end.directoryOffset;
    uint64_t length = 0;
    uint8_t h[LocalSize];
    if (start < dataEnd && m_file.ReadAt(start, h, LocalSize) && Get32(h) == LocalSignature) {
        length = std::min<uint64_t>(LocalHeaderLength(h) + uint64_t{removed.compressedSize},
                                    dataEnd - start);
    }
    // What follows the cut moves down, through a bounded buffer.
    std::vector<uint8_t> buffer(Chunk);
    for (uint64_t from = start + length; from < dataEnd;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Chunk, dataEnd - from));
        if (!m_file.ReadAt(from, buffer.data(), n) ||
            !m_file.WriteAt(from - length, buffer.data(), n)) {
            throw Error(WriteError(m_fileName));
        }
        from += n;
    }
    m_members.erase(m_members.begin() + static_cast<std::ptrdiff_t>(index));
    for (Member& m : m_members) {
        if (m.record.localHeaderOffset > start)
            m.record.localHeaderOffset -= static_cast<uint32_t>(length);
        if (m.limit > start && m.limit != UINT64_MAX)
            m.limit -= length;
    }
    Invalidate();
    WriteDirectory(dataEnd - length);
}

}  // namespace fraglane::archive
