#include "catalogue/scan.h"

#include <map>
#include <unordered_map>
#include <unordered_set>

#include "archive/archive_work.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::catalogue {

namespace {

// The picture cache as the scan sees it: its names read once, folded, and kept up to date as
// the scan adds pictures, so that thousands of maps cost no folder read each. A name it does
// not hold is new in every case, so pictures are written without a folded lookup.
class PictureCache {
public:
    explicit PictureCache(std::string dir)
        : m_dir(std::move(dir)), m_nativeDir(platform::ToNative(m_dir)) {
        for (const platform::DirEntry& entry : platform::ListDirectory(m_dir)) {
            const std::string folded = text::LowerCase(entry.name);
            if (!entry.isDirectory)
                m_names.insert(folded);
            m_entries.insert(folded);
        }
    }
    // Whether the cache holds base + ".tga" or base + ".jpg", any case.
    bool HasPicture(const std::string& base) const {
        std::string key = text::LowerCase(base);
        key += ".tga";
        if (m_names.count(key) != 0)
            return true;
        key.replace(key.size() - 3, 3, "jpg");
        return m_names.count(key) != 0;
    }
    // Takes a member of the open archive into the cache under name. A picture that cannot
    // be written costs that picture only: its name is taken (in any case) by anything but a
    // picture (a folder, a link), or its member cannot be read. The failure is kept with its
    // reason, and dropped again when a later archive gives the picture. A folder that takes
    // no writes (OutputError) ends the scan. A picture reaches its name only whole (see
    // ExtractNewMember): one cut short by a failure or a kill never stands under it, so a
    // later scan takes it again.
    void Take(archive::Pk3Archive& zip, const std::string& member, const std::string& name) {
        // A name that would be a path in the cache (a folder part, a drive-like "x:") gets no
        // picture: only plain file names are made there.
        if (name.find_first_of(":\\/") != std::string::npos)
            return;
        const std::string path = m_dir + name;
        // No real level shot comes near this size: a member that declares more stays in its
        // archive, and costs only its picture.
        if (zip.DeclaredSize(member) > MaxPictureSize) {
            Failed(path, "it declares more than 64 MiB");
            return;
        }
        // The index holds every name of the folder, folded: a name in no case there is looked
        // at as it is spelled, without reading the folder again.
        const platform::EntryInfo before = m_entries.count(text::LowerCase(name)) != 0
                                               ? platform::InspectEntry(path)
                                               : platform::InspectNativeEntry(m_nativeDir + name);
        if (before.isLink || before.kind != platform::EntryKind::Missing) {
            Failed(path, TakenReason(before));
            return;
        }
        try {
            zip.ExtractNewMember(member, path);
        } catch (const OutputError&) {
            throw;
        } catch (const Error& e) {
            Failed(path, e.what());
            return;
        }
        std::erase_if(m_failures, [&](const auto& failure) { return failure.first == path; });
        m_names.insert(text::LowerCase(name));
        m_entries.insert(text::LowerCase(name));
        ++m_taken;
    }
    int Taken() const { return m_taken; }
    std::vector<std::pair<std::string, std::string>> TakeFailures() {
        return std::move(m_failures);
    }

private:
    static constexpr uint64_t MaxPictureSize = uint64_t{64} << 20;
    static std::string TakenReason(const platform::EntryInfo& entry) {
        if (entry.isLink)
            return "its name is taken by a link";
        if (entry.kind == platform::EntryKind::Directory)
            return "its name is taken by a folder";
        if (entry.kind == platform::EntryKind::Regular)
            return "its name is taken by a file";
        return "its name is taken";
    }
    // One failure a picture: a later one replaces the reason.
    void Failed(const std::string& path, std::string reason) {
        for (auto& failure : m_failures) {
            if (failure.first == path) {
                failure.second = std::move(reason);
                return;
            }
        }
        m_failures.emplace_back(path, std::move(reason));
    }

    std::string m_dir;
    std::string m_nativeDir;  // with its trailing separator
    std::unordered_set<std::string> m_names;
    std::unordered_set<std::string> m_entries;  // every name there, folders too, folded
    int m_taken = 0;
    std::vector<std::pair<std::string, std::string>> m_failures;
};

std::string_view FileNameOf(std::string_view member) {
    const size_t slash = member.rfind('\\');
    return slash == std::string_view::npos ? member : member.substr(slash + 1);
}

std::string ListableNameProblem(std::string_view name) {
    return name.empty() ? "an empty name" : text::CommandNameProblem(name);
}

bool IsListableName(std::string_view name) {
    return ListableNameProblem(name).empty();
}

// The first archive of a mod (in the scan's order) that holds icons of a bot, and those icons.
struct IconSource {
    std::string archive;
    std::vector<std::string> members;
};

// What one scan keeps across archives.
struct ScanState {
    const ScanSink& sink;
    PictureCache cache;
    std::unordered_set<std::string> botNames;  // folded: a bot is listed once, whatever its mod
    // A bot's character file and its icon may lie in different archives of a mod: the icons
    // seen, by mod and folded bot name, for the bots whose own archive has none.
    std::map<std::string, std::unordered_map<std::string, IconSource>> icons;
    std::unordered_map<std::string, std::string> botNamesAsFound;  // folded name to name
    ScanResult result;
};

// "models\players\<bot>\icon_default.tga" (or .jpg): the icon of that bot, wherever it lies.
void NoteBotIcon(ScanState& s, const std::string& mod, const std::string& archive,
                 const std::string& member) {
    constexpr std::string_view Folder = "models\\players\\";
    if (!text::StartsWithIgnoreCase(member, Folder))
        return;
    const std::string_view file = FileNameOf(member);
    if (!text::EqualsIgnoreCase(file, "icon_default.tga") &&
        !text::EqualsIgnoreCase(file, "icon_default.jpg"))
        return;
    const std::string_view bot = std::string_view(member).substr(
        Folder.size(), member.size() - Folder.size() - file.size() - 1);
    if (!IsListableName(bot) || bot.find('\\') != std::string_view::npos)
        return;
    IconSource& source = s.icons[mod][text::LowerCase(bot)];
    if (source.archive.empty())
        source.archive = archive;
    if (source.archive != archive)
        return;
    // One icon an extension: names that differ in case only would give the same picture.
    const std::string_view ext = text::ExtractFileExt(member);
    for (const std::string& taken : source.members) {
        if (text::EqualsIgnoreCase(text::ExtractFileExt(taken), ext))
            return;
    }
    source.members.push_back(member);
}

// After every archive: the bots that got no picture take the icons of the first archive of
// their mod that has any. Added only: a picture that is there stays. Each such archive is
// opened once for all the bots it serves.
void IconsFromOtherArchives(ScanState& s, archive::Pk3Archive& zip, const std::stop_token& stop) {
    // archive -> (member, picture name) in the bots' order
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> wanted;
    for (const CatalogueRow& row : s.result.bots) {
        const std::string picture = "bot_" + s.botNamesAsFound[row.name];
        if (s.cache.HasPicture(picture))
            continue;
        const auto mod = s.icons.find(row.mod);
        if (mod == s.icons.end())
            continue;
        const auto source = mod->second.find(row.name);
        if (source == mod->second.end())
            continue;
        for (const std::string& member : source->second.members)
            wanted[source->second.archive].emplace_back(
                member, picture + text::LowerCase(text::ExtractFileExt(member)));
    }
    for (const auto& entry : wanted) {
        if (stop.stop_requested())
            return;
        const archive::ArchiveWorkResult work =
            archive::WorkOnArchive(zip, entry.first, [&](archive::Pk3Archive& open) {
                for (const auto& [member, name] : entry.second)
                    s.cache.Take(open, member, name);
            });
        if (!work.finished)
            s.result.archiveFailures.emplace_back(entry.first, work.reason);
    }
}

// A map or bot whose name cannot be listed is said with its member and archive.
void SkipName(ScanState& s, const std::string& member, const std::string& archive,
              const std::string& problem) {
    s.result.skippedNames.push_back(
        "skipped " + text::PrintableName(platform::DisplayPath(member)) + " in " +
        text::PrintableName(platform::DisplayPath(archive)) + ": " + problem);
}

// archive: the archive as the report names it, its mod folder and file name.
void CatalogueMap(ScanState& s, archive::Pk3Archive& zip, const std::string& mod,
                  const std::string& archive, const std::string& member) {
    if (!IsMapMember(member))
        return;
    const std::string map = MapNameOf(member);
    if (!IsListableName(map)) {
        SkipName(s, member, archive, ListableNameProblem(map));
        return;
    }
    CatalogueRow row{mod, map};
    s.sink.mapRow(row);
    s.result.maps.push_back(std::move(row));
    if (s.cache.HasPicture(map))
        return;
    // One level shot, from the archive that holds the map.
    for (const char* ext : {".tga", ".jpg"}) {
        if (zip.HasMember("levelshots\\" + map + ext)) {
            s.cache.Take(zip, "levelshots\\" + map + ext, map + ext);
            return;
        }
    }
}

void CatalogueBot(ScanState& s, archive::Pk3Archive& zip, const std::string& mod,
                  const std::string& archive, const std::string& member) {
    if (!IsBotMember(member))
        return;
    const std::string bot = BotNameOf(member);
    if (!IsListableName(bot)) {
        SkipName(s, member, archive, ListableNameProblem(bot));
        return;
    }
    if (s.botNames.insert(text::LowerCase(bot)).second) {
        s.botNamesAsFound.emplace(text::LowerCase(bot), bot);
        CatalogueRow row{mod, text::LowerCase(bot)};
        s.sink.botRow(row);
        s.result.bots.push_back(std::move(row));
    }
    const std::string picture = "bot_" + bot;
    if (s.cache.HasPicture(picture))
        return;
    // Both icons are taken when both are there.
    for (const char* ext : {".tga", ".jpg"}) {
        const std::string icon = "models\\players\\" + bot + "\\icon_default" + ext;
        if (zip.HasMember(icon))
            s.cache.Take(zip, icon, picture + ext);
    }
}

}  // namespace

bool IsMapMember(std::string_view member) {
    return text::StartsWithIgnoreCase(member, "maps\\") &&
           text::EqualsIgnoreCase(text::ExtractFileExt(member), ".bsp");
}

std::string MapNameOf(std::string_view member) {
    std::string_view name = FileNameOf(member);
    name = name.substr(0, name.rfind('.'));
    return text::LowerCase(name);
}

bool IsBotMember(std::string_view member) {
    for (size_t at = member.find('_'); at != std::string_view::npos;
         at = member.find('_', at + 1)) {
        if (text::EqualsIgnoreCase(member.substr(at, 4), "_c.c"))
            return true;
    }
    return false;
}

std::string BotNameOf(std::string_view member) {
    const std::string_view name = FileNameOf(member);
    return std::string(name.substr(0, name.size() < 4 ? 0 : name.size() - 4));
}

std::string ScanCountText(const ScanResult& result) {
    return std::to_string(result.maps.size()) + " maps, " + std::to_string(result.bots.size()) +
           " bots";
}

std::string ScanDoneText(size_t skippedNames, size_t picturesNotWritten, std::string_view counts) {
    std::string done = "done";
    if (!counts.empty())
        done += ": " + std::string(counts);
    if (skippedNames != 0)
        done += ", " + std::to_string(skippedNames) + " names skipped";
    if (picturesNotWritten != 0) {
        done += ", " + std::to_string(picturesNotWritten) +
                (picturesNotWritten == 1 ? " picture not written" : " pictures not written");
    }
    return done;
}

namespace {

// The picture cache folder must be a folder, and no link to one, which would lead every picture
// elsewhere.
void RequireCacheFolder(const std::string& levelshotsDir) {
    std::string folder = levelshotsDir;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    const platform::EntryInfo cache = platform::InspectEntry(folder);
    if (cache.isLink || cache.kind != platform::EntryKind::Directory)
        throw OutputError("Unable to write to " + platform::DisplayPath(levelshotsDir));
}

struct ModArchives {
    std::string mod;
    std::string dir;
    std::vector<std::string> files;
};

// Every mod's archives, listed before the first is opened so that the progress knows the whole.
std::vector<ModArchives> ListArchives(const ScanInputs& inputs, platform::TDirContent& lister) {
    std::vector<ModArchives> all;
    for (const std::string& mod : inputs.mods) {
        lister.SetDirectory(inputs.exeDir + mod);
        ModArchives& m = all.emplace_back(ModArchives{mod, lister.Directory(), {}});
        for (const std::string& file : lister.FileList()) {
            if (text::EqualsIgnoreCase(text::ExtractFileExt(file), ".pk3"))
                m.files.push_back(file);
        }
    }
    return all;
}

}  // namespace

ScanResult ScanMaps(const ScanInputs& inputs, archive::Pk3Archive& zip,
                    platform::TDirContent& lister, platform::ProfileFile& settings,
                    const std::stop_token& stop, const ScanSink& sink) {
    platform::ConfineWrites(inputs.levelshotsDir);
    // Held until the catalogue is written: two scans at once would each write a catalogue of
    // what they found, and the pictures of one would keep the other from writing them.
    const platform::FileLock running = settings.TryLockJob();
    if (!running.Held())
        throw Error(ScanRunningText);
    // Pictures go into the cache as the scan finds them: without the folder, no scan.
    RequireCacheFolder(inputs.levelshotsDir);
    ScanState s{sink, PictureCache(inputs.levelshotsDir), {}, {}, {}, {}};
    sink.status(0, ScanStartText);
    const std::vector<ModArchives> all = ListArchives(inputs, lister);
    int total = 0;
    for (const ModArchives& m : all)
        total += static_cast<int>(m.files.size());
    int done = 0;
    for (const ModArchives& m : all) {
        const std::string& mod = m.mod;
        const std::string& dir = m.dir;
        sink.status(1, "mod: " + mod);
        for (const std::string& file : m.files) {
            if (stop.stop_requested()) {
                s.result.stopped = true;
                s.result.picturesExtracted = s.cache.Taken();
                s.result.pictureFailures = s.cache.TakeFailures();
                return std::move(s.result);
            }
            sink.status(2, "file: " + file);
            if (sink.progress)
                sink.progress(++done, total);
            const archive::ArchiveWorkResult work =
                archive::WorkOnArchive(zip, dir + file, [&](archive::Pk3Archive& open) {
                    const std::string shownAs = mod + "\\" + file;
                    for (const std::string& member : open.FileNames()) {
                        CatalogueMap(s, open, mod, shownAs, member);
                        CatalogueBot(s, open, mod, shownAs, member);
                        NoteBotIcon(s, mod, dir + file, member);
                    }
                });
            if (!work.finished)
                s.result.archiveFailures.emplace_back(dir + file, work.reason);
        }
    }
    IconsFromOtherArchives(s, zip, stop);
    s.result.picturesExtracted = s.cache.Taken();
    s.result.pictureFailures = s.cache.TakeFailures();
    if (stop.stop_requested()) {  // as a stop between archives: no catalogue is written
        s.result.stopped = true;
        return std::move(s.result);
    }
    sink.status(0, "showing...");
    sink.status(1, "");
    sink.status(2, "");
    WriteCatalogue(settings, s.result.maps, s.result.bots);
    return std::move(s.result);
}

}  // namespace fraglane::catalogue
