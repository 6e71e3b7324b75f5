#include "repack/repack_job.h"

#include <algorithm>
#include <map>
#include <set>

#include "archive/archive_work.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "repack/bsp_textures.h"
#include "repack/name_list.h"
#include "repack/shader_script.h"
#include "repack/staging.h"

namespace fraglane::repack {

namespace {

struct Stopped {};  // thrown at a stop check that finds the flag set

// Shader scripts are read whole; no real one comes near this size.
constexpr uint64_t MaxScriptSize = uint64_t{16} << 20;

class Job {
public:
    Job(const RepackInputs& in, archive::Pk3Archive& zip, platform::TDirContent& lister,
        std::stop_token stop, const RepackSink& sink)
        : m_in(in), m_zip(zip), m_lister(lister), m_stop(std::move(stop)), m_sink(sink) {
        m_run.tempDir = in.tempDir;
    }

    RepackResult Run() {
        try {
            ChooseRows();
            Prepare();
            MapPhase();
            StopCheck();
            ShaderPhase();
            StopCheck();
            TexturePhase();
            Write();
        } catch (const Stopped&) {
            m_result.stopped = true;
            m_result.archivePath.clear();
        }
        return std::move(m_result);
    }

private:
    void StopCheck() const {
        if (m_stop.stop_requested())
            throw Stopped{};
    }

    // The rows that may take part: a map and a mod with plain names (the map names the archive
    // written into the staging folder and the files taken; the mod is one folder of the game
    // directory), and a mod that is not one of the program's own work folders. The others are
    // named in the report; with none left there is nothing to do, and that is an error.
    void ChooseRows() {
        for (const RepackRow& row : m_in.rows) {
            const std::string modDir = m_in.exeDir + row.mod + "\\";
            const char* why = nullptr;
            if (!text::IsPlainName(row.map) || !text::IsPlainName(row.mod))
                why = "not a plain name";
            else if (text::EqualsIgnoreCase(modDir, m_in.tempDir) ||
                     text::EqualsIgnoreCase(modDir, m_in.levelshotsDir))
                why = "a work folder of the program, not a mod";
            if (why == nullptr)
                m_rows.push_back(row);
            else
                m_result.report.push_back("skipped " + row.map + "@" + row.mod + ": " + why);
        }
        if (m_rows.empty()) {
            std::string message = "Nothing to repack";
            const char* separator = ": ";
            for (const std::string& line : m_result.report) {
                message += separator + line;
                separator = "; ";
            }
            throw Error(text::PrintableName(message));
        }
    }

    void Prepare() {
        ClearStaging(m_in.tempDir);
        for (const char* folder : {"maps", "levelshots", "scripts"})
            platform::ForceDirectories(m_in.tempDir + folder);
        m_sink.status(0, "extract bsp, aas ... press <esc> to cancel");
        for (const RepackRow& row : m_rows)
            m_run.AddMod(row.mod);
    }

    // The archives of a mod in listing order, the stock ones of baseq3 left out when asked.
    std::vector<std::string> Archives(const std::string& mod, bool skipStock) {
        m_lister.SetDirectory(m_in.exeDir + mod);
        std::vector<std::string> archives;
        for (const std::string& file : m_lister.FileList()) {
            if (!text::EqualsIgnoreCase(text::ExtractFileExt(file), ".pk3"))
                continue;
            if (skipStock && text::EqualsIgnoreCase(mod, "baseq3") && file.size() == 8 &&
                text::StartsWithIgnoreCase(file, "pak")) {
                continue;
            }
            archives.push_back(file);
        }
        return archives;
    }

    // A level shot of the picture cache: a file there, or a link to one inside it. A link
    // planted to lead elsewhere is not followed, so nothing from outside enters the archive.
    void CopyLevelShot(const std::string& name) {
        const std::string from = m_in.levelshotsDir + name;
        const platform::EntryInfo shot = platform::InspectEntry(from);
        if (shot.kind != platform::EntryKind::Regular)
            return;
        if (shot.isLink &&
            !platform::IsInsideFolder(shot.realPath,
                                      platform::InspectEntry(m_in.levelshotsDir).realPath)) {
            m_result.report.push_back("levelshots\\" + name + " leads out of the picture cache");
            return;
        }
        const std::string to = m_in.tempDir + "levelshots\\" + name;
        if (TakeMember("the picture cache", "levelshots\\" + name, to,
                       [&] { platform::CopyFileKeepingTime(from, to); })) {
            m_result.report.push_back("levelshots\\" + name + " from the picture cache");
        }
    }

    // Where one map file lies in the archives of its mod, as their directories tell it.
    struct Copy {
        std::string archive;  // file name in the mod's folder
        uint32_t size = 0;
        uint32_t crc32 = 0;
    };

    // The first copy of a map file is taken, but the game loads the copy of the archive whose
    // name sorts last in its order (later archives override earlier ones): when that copy
    // differs, the report says so.
    void ReportLoadedCopies(const std::map<std::string, std::vector<Copy>>& copies,
                            const std::map<std::string, std::string>& takenFrom) {
        for (const auto& [member, found] : copies) {
            const auto taken = takenFrom.find(member);
            if (taken == takenFrom.end())
                continue;
            // The engine's order of archive names: ASCII letters taken in upper case, so that
            // "_" sorts after the letters.
            const auto upper = [](std::string name) {
                for (char& c : name) {
                    if (c >= 'a' && c <= 'z')
                        c = static_cast<char>(c - 'a' + 'A');
                }
                return name;
            };
            const auto sortsLast = [&upper](const Copy& a, const Copy& b) {
                return upper(a.archive) < upper(b.archive);
            };
            const Copy& loaded = *std::max_element(found.begin(), found.end(), sortsLast);
            const auto first = std::find_if(found.begin(), found.end(), [&](const Copy& c) {
                return c.archive == taken->second;
            });
            if (first != found.end() &&
                (first->size != loaded.size || first->crc32 != loaded.crc32)) {
                m_result.report.push_back(member + ": a different copy in " + loaded.archive +
                                          " is the one the game loads");
            }
        }
    }

    // The archives a phase goes through, for its progress.
    void BeginPhase(bool skipStock) {
        m_phaseDone = 0;
        m_phaseTotal = 0;
        for (const std::string& mod : m_run.ModList.Items())
            m_phaseTotal += static_cast<int>(Archives(mod, skipStock).size());
    }

    void MapPhase() {
        BeginPhase(false);
        for (const std::string& mod : m_run.ModList.Items()) {
            m_sink.status(1, "mod: " + mod);
            std::vector<std::string> wanted;
            for (const RepackRow& row : m_rows) {
                if (!text::EqualsIgnoreCase(row.mod, mod))
                    continue;
                wanted.push_back("maps\\" + row.map + ".bsp");
                wanted.push_back("maps\\" + row.map + ".aas");
                CopyLevelShot(row.map + ".jpg");
                CopyLevelShot(row.map + ".tga");
            }
            const std::vector<std::string> allWanted = wanted;
            std::map<std::string, std::vector<Copy>> copies;
            std::map<std::string, std::string> takenFrom;
            const std::string dir = m_in.exeDir + mod + "\\";
            for (const std::string& file : Archives(mod, false)) {
                OnArchive(dir, file, [&](archive::Pk3Archive& zip) {
                    for (const std::string& w : allWanted) {
                        if (const archive::Member* copy = zip.FindRecord(w))
                            copies[w].push_back(
                                {file, copy->record.uncompressedSize, copy->record.crc32});
                    }
                    for (size_t i = wanted.size(); i-- > 0;) {
                        const std::string w = wanted[i];
                        if (!zip.HasMember(w))
                            continue;
                        const std::string member = "maps\\" + platform::ExtractFileName(w);
                        const bool taken = TakeMember(dir + file, w, m_in.tempDir + member, [&] {
                            zip.ExtractMember(w, m_in.tempDir + member);
                            if (text::EqualsIgnoreCase(text::ExtractFileExt(w), ".bsp")) {
                                m_sink.status(2, "find texture in " + member);
                                ScanBspTextures(m_run, member);
                            }
                        });
                        if (!taken)
                            continue;  // still wanted: a later archive may hold it whole
                        m_result.report.push_back(member + " from " + dir + file);
                        takenFrom[w] = file;
                        wanted.erase(wanted.begin() + static_cast<std::ptrdiff_t>(i));
                        if (m_stop.stop_requested())
                            return;  // the stop check after each map file
                    }
                });
            }
            ReportLoadedCopies(copies, takenFrom);
            for (const std::string& w : wanted)
                m_result.report.push_back("missing " + w + " in " + mod);
        }
    }

    // One member's work: a failure (a name the file system refuses, data cut short, a file where
    // a folder is needed) costs that member only. Whatever it left in the staging folder is
    // removed, so that nothing half written is packed, and the report names it with its
    // reason. A folder that takes no writes at all still ends the repack.
    bool TakeMember(const std::string& archive, const std::string& member,
                    const std::string& destination, const std::function<void()>& work) {
        try {
            work();
            return true;
        } catch (const OutputError&) {
            throw;
        } catch (const std::exception& e) {
            if (platform::FileExists(destination))
                platform::RemoveFile(destination);
            m_result.report.push_back("failed " + member + " from " + archive + ": " + e.what());
            return false;
        }
    }

    // One archive of every phase: the stop check before it, its status text, the work under
    // the per-archive guard (which swallows errors, so work that sees the stop flag returns),
    // and the stop check after it. An archive that ended early is named in the report with
    // its reason, once, whichever phases meet it.
    void OnArchive(const std::string& dir, const std::string& file,
                   const std::function<void(archive::Pk3Archive&)>& work) {
        StopCheck();
        m_sink.status(2, "file: " + file);
        if (m_sink.progress)
            m_sink.progress(++m_phaseDone, m_phaseTotal);
        const archive::ArchiveWorkResult done = archive::WorkOnArchive(m_zip, dir + file, work);
        if (!done.finished && m_skipped.insert(dir + file).second)
            m_result.report.push_back("skipped " + dir + file + ": " + done.reason);
        StopCheck();
    }

    // Runs work on every searched archive of every mod of ModList, as both later phases do.
    void EachSearchedArchive(
        const std::function<void(archive::Pk3Archive&, const std::string&)>& work) {
        BeginPhase(true);
        for (const std::string& mod : m_run.ModList.Items()) {
            m_sink.status(1, "mod: " + mod);
            const std::string dir = m_in.exeDir + mod + "\\";
            for (const std::string& file : Archives(mod, true))
                OnArchive(dir, file, [&](archive::Pk3Archive& zip) { work(zip, dir + file); });
        }
    }

    void ShaderPhase() {
        m_run.AddMod("baseq3");
        m_sink.status(0, "extract shaders ... press <esc> to cancel");
        UniqueNames scripts(m_in.tempDir + "scripts\\");
        EachSearchedArchive([&](archive::Pk3Archive& zip, const std::string& from) {
            const std::vector<std::string> names = zip.FileNames();
            for (const std::string& name : names) {
                if (!text::StartsWithIgnoreCase(name, "scripts\\") ||
                    !text::EqualsIgnoreCase(text::ExtractFileExt(name), ".shader") ||
                    !text::StaysInside(name)) {
                    continue;
                }
                if (zip.DeclaredSize(name) > MaxScriptSize) {
                    m_result.report.push_back("failed " + name + " from " + from +
                                              ": a script larger than 16 MiB");
                    continue;
                }
                const std::string destination = scripts.Claim(m_in.tempDir + name);
                bool kept = false;
                TakeMember(from, name, destination, [&] {
                    zip.ExtractNewMember(name, destination);
                    kept = ParseShaderFile(m_run, destination);
                });
                if (!kept) {
                    scripts.Release(destination);
                    continue;
                }
                m_result.report.push_back(destination.substr(m_in.tempDir.size()) + " from " +
                                          from);
            }
        });
    }

    void TexturePhase() {
        m_sink.status(0, "extract textures ... press <esc> to cancel");
        EachSearchedArchive([&](archive::Pk3Archive& zip, const std::string& from) {
            for (size_t i = m_run.TextureList.Size(); i-- > 0;) {
                const std::string e = m_run.TextureList.Items()[i];
                for (const char* ext : {".jpg", ".tga"}) {
                    const std::string member = e + ext;
                    if (!zip.HasMember(member) ||
                        !TakeMember(from, member, m_in.tempDir + member,
                                    [&] { zip.ExtractMember(member, m_in.tempDir + member); })) {
                        continue;
                    }
                    m_result.report.push_back(member + " from " + from);
                    m_run.TextureList.RemoveAt(i);
                    break;
                }
            }
        });
        // What a kept script defines as a shader needs no image of that name.
        for (const std::string& e : m_run.TextureList.Items()) {
            if (m_run.Shaders.count(e) == 0)
                m_result.report.push_back("missing " + e);
        }
    }

    void Write() {
        m_sink.status(0, "create pk3 ...");
        const std::string path = m_in.tempDir + OutputName(m_rows);
        archive::PackFolder(m_zip, m_in.tempDir, path);
        m_sink.status(2, path);
        m_result.archivePath = path;
    }

    const RepackInputs& m_in;
    archive::Pk3Archive& m_zip;
    platform::TDirContent& m_lister;
    std::stop_token m_stop;
    const RepackSink& m_sink;
    std::vector<RepackRow> m_rows;  // the rows that take part
    RepackRun m_run;
    std::set<std::string> m_skipped;  // archives named in the report as ended early
    int m_phaseDone = 0;
    int m_phaseTotal = 0;
    RepackResult m_result;
};

}  // namespace

std::string OutputName(const std::vector<RepackRow>& rows) {
    if (rows.size() == 1)
        return rows.front().map + ".pk3";
    return std::to_string(rows.size()) + "maps.pk3";
}

RepackResult RepackMaps(const RepackInputs& inputs, archive::Pk3Archive& zip,
                        platform::TDirContent& lister, std::stop_token stop,
                        const RepackSink& sink) {
    platform::ConfineWrites(inputs.tempDir);
    return Job(inputs, zip, lister, std::move(stop), sink).Run();
}

}  // namespace fraglane::repack
