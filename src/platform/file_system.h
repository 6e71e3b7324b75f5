#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Every file-system call of the program goes through here. Paths are the program's Windows
// path text: "\" joined, directories ending in "\". On Windows they pass unchanged; elsewhere
// "\" becomes "/" and each existing component is found without regard to ASCII case, so that
// "Baseq3\Levelshots\Q3DM17.TGA" finds baseq3/levelshots/q3dm17.tga. New components keep the
// case they are given.
namespace fraglane::platform {

// The native path for program path text, existing components matched without regard to case.
std::string ToNative(std::string_view path);
// Program path text for a native path ("/" becomes "\").
std::string FromNative(std::string_view nativePath);
// Native path text with separators turned and case left as given: for messages, and the
// first, exact try of a lookup.
std::string DisplayPath(std::string_view path);

bool FileExists(std::string_view path);  // an entry that is not a directory
bool DirectoryExists(std::string_view path);
bool CreateDir(std::string_view path);   // one level; false when it fails
bool RemoveFile(std::string_view path);  // a file or a link itself; false when it fails
bool RemoveDir(std::string_view path);   // an empty folder (not a link); false when it fails
// Moves a file to a new name in the same folder as one step, replacing what has that name (a
// link there is replaced, never followed); false when it fails. Below a confined folder
// (ConfineWrites) both names are reached without following a link.
bool RenameFile(std::string_view from, std::string_view to);
// Moves a file to a name in the same folder only where nothing has that name yet (a link
// neither), as one step; false when it fails, and whatever has the name stays. Both names
// are taken as spelled: for a caller that knows they are in no other case there.
bool RenameToNewName(std::string_view from, std::string_view to);
// RemoveFile for a name taken as spelled, without a folder read for another case of it.
bool RemoveExactFile(std::string_view path);
// Creates a directory with its missing parents; failures are ignored.
void ForceDirectories(std::string path);

// The text up to and including the last "\" (or ":"); empty when there is none.
std::string ExtractFilePath(std::string_view path);
// The text after the last "\" (or ":").
std::string ExtractFileName(std::string_view path);
// The path with its extension replaced by ext (which includes the dot), or ext appended.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingBackslash(std::string_view path);

// A write past the process's file-size limit then fails with its message instead of ending
// the process (SIGXFSZ ignored). Called once at start by each program.
void FailWritesPastTheFileSizeLimit();

// Program path text of the running program file.
std::string ProgramFile();
// A native path as the user gave it (relative to the current directory or not), made
// absolute, as program path text.
std::string AbsolutePath(const std::string& native);

// One entry of a directory listing, with the DOS view of it that the program relies on.
struct DirEntry {
    std::string name;
    bool isDirectory = false;
};
// The entries of a directory, "." and ".." left out, every kind included (hidden ones too).
// A directory that is missing or cannot be read lists as empty.
std::vector<DirEntry> ListDirectory(std::string_view dir, bool mustRead = false);

// What an entry is, seen through a link: the kind and identity of what it leads to.
enum class EntryKind { Missing, Regular, Directory, Other };
struct EntryInfo {
    EntryKind kind = EntryKind::Missing;
    bool isLink = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modified = 0;  // the last write, in seconds since 1970 (told on Linux only)
    // The real location of a link or a folder, links resolved (native text); empty for a
    // plain file and when it cannot be told.
    std::string realPath;
};
EntryInfo InspectEntry(std::string_view path);
// The same for a native path taken exactly as it is spelled: no folder is read to find
// another case of a name, for a caller that knows the name is in no other case there.
EntryInfo InspectNativeEntry(const std::string& nativePath);
// Whether a real location lies inside (or is) the real location of a folder.
bool IsInsideFolder(std::string_view realPath, std::string_view realFolder);

// Reads a file, at most maxBytes of it; throws Error("File "x" not found!") when it cannot
// be opened and Error("Unable to read x") when a read fails.
std::string ReadFileBytes(std::string_view path, size_t maxBytes = SIZE_MAX);
// Reads a whole file that must be a regular file (no device, pipe or folder, also not through
// a link): Error("Cannot process this file: x ") otherwise.
std::string ReadRegularFile(std::string_view path, size_t maxBytes = SIZE_MAX);
// Reads a regular file as ReadRegularFile does, handing it to take in pieces of at most 64 KiB,
// in order: a file of any size costs one bounded buffer.
void ReadRegularFileInPieces(std::string_view path,
                             const std::function<void(std::string_view)>& take);
// The same for the very file an earlier look found (InspectEntry's device and file number,
// links followed): a file or link put in its place since is refused as not a regular file.
void ReadSameFileInPieces(std::string_view path, uint64_t device, uint64_t inode,
                          const std::function<void(std::string_view)>& take);
// Copies a regular file over any file at the destination (its folder made when missing)
// through a bounded buffer; nothing is created when the source cannot be opened, and a copy
// that fails part-way is removed. Throws Error as the reads and writes do.
void CopyRegularFile(std::string_view from, std::string_view to);
// Copies a regular file over any file at the destination (its folder made when missing) and
// gives the copy the source's last-write time. Throws Error as the reads and writes do.
void CopyFileKeepingTime(std::string_view from, std::string_view to);
// Creates or overwrites a file with exactly these bytes; throws Error("Cannot create file %s"),
// also for an existing read-only file, as on Windows whoever the user is.
void WriteFileBytes(std::string_view path, std::string_view bytes);

// What a replacement writes: it hands its pieces in order to the writer it is given, which
// returns false when a write failed; it returns false to give the replacement up.
using PieceProducer = std::function<bool(const std::function<bool(std::string_view)>&)>;
// Writes name (program path text below folder, sub-folders allowed) anew as one step: the
// pieces go into a temporary file made beside it (".name.fraglane-XXXXXX", created
// exclusively and never through a link), which is then renamed over the name. A link or a file with
// other names (a hard link) at the name is replaced, never written through; the name holds the old
// whole file or the new one, however the write ends. The folders on the way below folder are
// entered without following a link; folder itself is trusted and may be a link (the game directory,
// a mod folder the operator shares through one). A folder, a device, a pipe or a read-only file at
// the name refuses the write with Error("Cannot create file %s") and stays; a regular file's
// permission bits and owner are kept (where the system lets the writer give the file away), and its
// temporary is readable by the writer alone until then. A failed write throws OutputError("Unable
// to write to %s"). Temporaries that a killed writer left beside the name (untouched for a minute,
// and named as only this function names them) are removed.
void WriteFileAnew(std::string_view folder, std::string_view name, const PieceProducer& produce);
// What the temporary names of WriteFileAnew hold after ".name": so marked, an operator's own
// ".name.backup" is never taken for one.
inline constexpr const char* TemporaryMark = ".fraglane-";
// Whether name is one that WriteFileAnew gives a temporary of leaf: "." + leaf + TemporaryMark
// and six letters or digits, as it makes them.
bool IsTemporaryName(std::string_view name, std::string_view leaf);
void ReplaceFileBytes(std::string_view folder, std::string_view name, std::string_view bytes);

}  // namespace fraglane::platform
