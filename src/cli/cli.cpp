#include "cli/cli.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>
#include <thread>

#include "archive/archive_work.h"
#include "archive/pk3_archive.h"
#include "catalogue/catalogue.h"
#include "catalogue/mods.h"
#include "catalogue/scan.h"
#include "launch/compose.h"
#include "launch/game_directory.h"
#include "launch/launch_files.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/profile_file.h"
#include "platform/text.h"
#include "repack/repack_job.h"
#include "server/engine.h"
#include "server/server_run.h"
#include "server/supervisor.h"
#include "settings/settings.h"

namespace fraglane::cli {

namespace {

constexpr const char* Usage =
    "usage: fraglane-cli [--dir GAME_DIR] [--ini FILE] COMMAND [ARGS]\n"
    "commands:\n"
    "  compose bat|cfg|name\n"
    "  save-bat, save-cfg\n"
    "  rescan-mods\n"
    "  scan\n"
    "  repack [--smallest] MAP[@MOD]...\n"
    "  list mods | list maps [--mod M] | list bots | list rotation\n"
    "  pk3 list ARCHIVE | pk3 extract ARCHIVE MEMBER DEST | pk3 pack [--smallest] FOLDER ARCHIVE\n"
    "  start [--detach], stop, status, rcon COMMAND... (Linux: the engine runs the composed "
    "line)\n";

struct UsageError {
    std::string message;
};

struct Context {
    std::string exeDir;   // program path text with trailing "\"
    std::string iniPath;  // program path text
    std::vector<std::string> args;
    std::ostream& out;
    std::ostream& err;
};

// The settings as the window has them after start-up, the chosen mod in its options.
settings::Settings StartupSettings(platform::ProfileFile& ini) {
    settings::Settings s = settings::LoadSettings(ini);
    s.options.mod = catalogue::ChooseMod(catalogue::ReadModList(ini), s.selectedMod);
    return s;
}

// A path as a line of output: the shell's separators, control bytes as \xNN (a file name may
// hold a line break, and would otherwise pass for two lines).
std::string Shown(std::string_view path) {
    return text::PrintableName(platform::DisplayPath(path));
}

// One line on stderr for each name left out or skipped, with its reason.
void PrintLines(std::ostream& err, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        err << line << "\n";
}

// The launch texts of the settings as the window composes them after start-up; what they
// leave out is said on stderr, as the window's status bar says it.
launch::LaunchTexts StartupTexts(const launch::LaunchOptions& options, std::ostream& err) {
    launch::LaunchTexts texts = launch::Compose(options);
    PrintLines(err, texts.leftOut);
    return texts;
}

int Compose(Context& c) {
    if (c.args.size() != 1)
        throw UsageError{"compose needs one of bat, cfg, name"};
    platform::ProfileFile ini(c.iniPath);
    const launch::LaunchTexts texts = StartupTexts(StartupSettings(ini).options, c.err);
    const std::string& what = c.args[0];
    if (what == "bat")
        c.out << texts.commandLine;
    else if (what == "cfg")
        c.out << launch::ConfigFileText(texts.configLines);
    else if (what == "name")
        c.out << texts.batchName;
    else
        throw UsageError{"compose needs one of bat, cfg, name"};
    return 0;
}

int SaveCfg(Context& c) {
    if (!c.args.empty())
        throw UsageError{"save-cfg takes no arguments"};
    platform::ProfileFile ini(c.iniPath);
    const launch::LaunchOptions options = StartupSettings(ini).options;
    const std::string path = launch::ConfigSavePath(c.exeDir, options.mod, options.cfgName);
    launch::SaveConfigFile(c.exeDir, options.mod, options.cfgName,
                           StartupTexts(options, c.err).configLines);
    c.out << Shown(path) << "\n";
    return 0;
}

int SaveBat(Context& c) {
    if (!c.args.empty())
        throw UsageError{"save-bat takes no arguments"};
    platform::ProfileFile ini(c.iniPath);
    const launch::LaunchTexts texts = StartupTexts(StartupSettings(ini).options, c.err);
    const std::string path = launch::BatchSavePath(c.exeDir, texts.batchName);
    launch::SaveBatchFile(c.exeDir, texts.batchName, texts.commandLine);
    c.out << Shown(path) << "\n";
    return 0;
}

int RescanMods(Context& c) {
    if (!c.args.empty())
        throw UsageError{"rescan-mods takes no arguments"};
    platform::TDirContent lister;
    lister.SetActive(true);
    const catalogue::ModDiscovery found = catalogue::DiscoverMods(lister, c.exeDir);
    platform::ProfileFile ini(c.iniPath);
    catalogue::WriteModCatalogue(ini, found.mods);
    for (const std::string& mod : found.mods)
        c.out << mod << "\n";
    PrintLines(c.err, found.skipped);
    return 0;
}

// A job's status texts as the CLI shows them: each one that says something, a line on stderr,
// paths in the form the shell takes.
std::function<void(int, const std::string&)> PrintStatus(std::ostream& err) {
    return [&err](int, const std::string& text) {
        if (!text.empty())
            err << text::PrintableName(platform::DisplayPath(text)) << "\n";
    };
}

int Scan(Context& c) {
    if (!c.args.empty())
        throw UsageError{"scan takes no arguments"};
    platform::ProfileFile ini(c.iniPath);
    catalogue::ScanInputs inputs{c.exeDir, launch::LevelshotsDirOf(c.exeDir),
                                 catalogue::ReadModList(ini)};
    if (inputs.mods.empty())
        c.err << "no mods to scan yet: run rescan-mods first\n";
    platform::ForceDirectories(inputs.levelshotsDir);  // as the window makes it at start
    archive::Pk3Archive zip;
    platform::TDirContent lister;
    lister.SetActive(true);
    catalogue::ScanSink sink;
    sink.status = PrintStatus(c.err);
    sink.mapRow = sink.botRow = [](const catalogue::CatalogueRow&) {};
    platform::InterruptStop interrupt;
    const catalogue::ScanResult result =
        catalogue::ScanMaps(inputs, zip, lister, ini, interrupt.Token(), sink);
    for (const auto& [path, reason] : result.archiveFailures)
        c.err << "skipped " << Shown(path) << ": " << text::PrintableName(reason) << "\n";
    for (const auto& [path, reason] : result.pictureFailures)
        c.err << "not written " << Shown(path) << ": " << text::PrintableName(reason) << "\n";
    if (result.stopped) {
        c.err << "cancelled\n";
        return 1;
    }
    PrintLines(c.err, result.skippedNames);
    c.err << catalogue::ScanDoneText(result.skippedNames.size(), result.pictureFailures.size())
          << "\n";
    c.out << catalogue::ScanCountText(result) << "\n";
    return 0;
}

// What "start" runs: the engine of the settings with the words of the batch line it saved,
// and the watcher's options.
struct StartPlan {
    std::vector<std::string> words;
    server::WatcherOptions options;
};

StartPlan ServerStartPlan(Context& c) {
    platform::ProfileFile ini(c.iniPath);
    const settings::Settings s = StartupSettings(ini);
    const launch::LaunchTexts texts = StartupTexts(s.options, c.err);
    launch::SaveBatchFile(c.exeDir, texts.batchName, texts.commandLine);
    return {server::EngineWords(s.engine, texts.commandLine, c.exeDir),
            {server::StopGrace, s.crashRestart}};
}

using Clock = server::Supervisor::Clock;
constexpr std::chrono::milliseconds CliTick{100};

// start: the server's supervisor followed until the server ends, its log on stdout, what
// happens to it on stderr; Ctrl-C or the terminate signal stops it (exit 0, as after stop; 1
// after a crash or a failed start). start --detach: once the start is proven, the server
// left running; one that ends (or is stopped) before that is a failed start.
int Start(Context& c) {
    const bool detach = c.args.size() == 1 && c.args[0] == "--detach";
    if (!c.args.empty() && !detach)
        throw UsageError{"start takes only --detach"};
    if (!platform::StartsEngineItself())
        throw Error("start runs the engine on Linux only: on Windows, start the batch file");
    server::RefuseWhenRunning(c.exeDir);
    const StartPlan plan = ServerStartPlan(c);
    const platform::InterruptStop interrupt;
    server::Supervisor supervisor(c.exeDir, platform::OwnProgramPath());
    supervisor.Start(plan.words, plan.options, Clock::now());
    bool failed = false;
    bool stopping = false;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!stopping && interrupt.Token().stop_requested()) {
            supervisor.Stop(now);
            stopping = true;
        }
        for (const server::SupervisorEvent& e : supervisor.Tick(now)) {
            using Kind = server::SupervisorEvent::Kind;
            if (e.kind == Kind::LogLine && !detach) {
                c.out << e.text << "\n";
            } else if (e.kind == Kind::Started && detach) {
                c.out << "started, process " << supervisor.running()->enginePid << ", log "
                      << platform::DisplayPath(c.exeDir + server::LogFileName) << "\n";
                return 0;
            } else if (e.kind == Kind::Ended) {
                c.err << e.text << "\n";
                if (detach)
                    return 1;  // it ended before its start counted
                const server::ServerEnd& end = *supervisor.lastEnd();
                return failed || server::IsCrash(end) || end.kind == server::ServerEnd::Kind::Failed
                           ? 1
                           : 0;
            } else if (e.kind != Kind::LogLine && e.kind != Kind::LogCleared) {
                failed = failed || e.kind == Kind::StartFailed;
                c.err << e.text << "\n";
            }
        }
        c.out.flush();
        std::this_thread::sleep_for(CliTick);
    }
}

// The server of this game directory as a supervisor finds it (the first tick looks).
void Attach(server::Supervisor& supervisor) {
    supervisor.Tick(Clock::now());
}

int Stop(Context& c) {
    if (!c.args.empty())
        throw UsageError{"stop takes no arguments"};
    server::Supervisor supervisor(c.exeDir, platform::OwnProgramPath());
    Attach(supervisor);
    if (!supervisor.running()) {
        c.out << "stopped\n";
        return 0;
    }
    const int64_t pid = server::ShownPid(*supervisor.running());
    supervisor.Stop(Clock::now());
    // The watcher kills the server after the grace; the supervisor kills the watcher later.
    const Clock::time_point until = Clock::now() + server::StopGrace + std::chrono::seconds(10);
    while (supervisor.running() && Clock::now() < until) {
        std::this_thread::sleep_for(CliTick);
        supervisor.Tick(Clock::now());
    }
    if (supervisor.running())
        throw Error("the server (process " + std::to_string(pid) + ") did not end");
    c.out << "stopped\n";
    return 0;
}

// status: the status line; exit 0 while a server runs, 3 when none does.
int Status(Context& c) {
    if (!c.args.empty())
        throw UsageError{"status takes no arguments"};
    server::Supervisor supervisor(c.exeDir, platform::OwnProgramPath());
    Attach(supervisor);
    // Its answer to the status query, if it comes within a second.
    const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    while (supervisor.running() && !supervisor.answered() && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        supervisor.Tick(Clock::now());
    }
    c.out << supervisor.StatusLine() << "\n";
    return supervisor.running() ? 0 : 3;
}

// rcon COMMAND...: the words as one console command, sent with the stored rcon password.
int Rcon(Context& c) {
    if (c.args.empty())
        throw UsageError{"rcon needs COMMAND..."};
    std::string command;
    for (const std::string& word : c.args)
        command += (command.empty() ? "" : " ") + word;
    platform::ProfileFile ini(c.iniPath);
    const std::string password = StartupSettings(ini).options.rconPassword;
    if (const std::string problem = server::RconPasswordProblem(password); !problem.empty())
        throw Error(problem);
    const std::optional<server::ServerRecord> running = server::RunningServer(c.exeDir);
    if (!running)
        throw Error("no server runs in this game directory");
    const std::optional<server::BoundSocket> socket = server::LoggedSocket(c.exeDir);
    if (!socket || !server::AnswersOnLoopback(*socket))
        throw Error("the server's log does not say where it listens on this machine");
    // The password goes only to the server's own socket, whatever its log says.
    if (!platform::HoldsUdpPort(running->watcher, socket->port))
        throw Error("port " + std::to_string(socket->port) +
                    ", which the server's log names, is not the server's");
    const server::RconAnswer answer = server::Rcon(socket->port, password, command, 2000);
    if (!answer.answered)
        throw Error("no answer from the server on port " + std::to_string(socket->port));
    c.out << answer.text;
    if (!answer.text.empty() && answer.text.back() != '\n')
        c.out << "\n";
    return 0;
}

// Takes "--smallest" out of the arguments, wherever it stands: the packing it asks for.
archive::Packing TakePacking(std::vector<std::string>& args) {
    const auto end = std::remove(args.begin(), args.end(), "--smallest");
    const bool smallest = end != args.end();
    args.erase(end, args.end());
    return smallest ? archive::Packing::Smallest : archive::Packing::Default;
}

// The rows to repack: MAP@MOD as given, or MAP alone with the mod of its first catalogue row.
int Repack(Context& c) {
    const archive::Packing packing = TakePacking(c.args);
    if (c.args.empty())
        throw UsageError{"repack needs [--smallest] MAP[@MOD]..."};
    platform::ProfileFile ini(c.iniPath);
    const std::vector<catalogue::CatalogueRow> catalogued = catalogue::ReadMapRows(ini, "");
    repack::RepackInputs inputs{
        c.exeDir, launch::LevelshotsDirOf(c.exeDir), launch::TempDirOf(c.exeDir), {}};
    for (const std::string& arg : c.args) {
        const size_t at = arg.find('@');
        std::string map = text::LowerCase(arg.substr(0, at));
        std::string mod = at == std::string::npos ? std::string() : arg.substr(at + 1);
        if (mod.empty()) {
            const auto row = std::find_if(catalogued.begin(), catalogued.end(),
                                          [&](const auto& r) { return r.name == map; });
            if (row == catalogued.end()) {
                // A name the scan skips is never catalogued: its reason says more.
                const std::string problem = text::PlainNameProblem(map);
                if (!problem.empty())
                    throw Error("Map " + text::PrintableName(map) +
                                " cannot be repacked: " + problem);
                throw Error("Map " + map + " is not in the catalogue");
            }
            mod = row->mod;
        }
        inputs.rows.push_back({std::move(map), std::move(mod)});
    }
    archive::Pk3Archive zip;
    zip.SetPacking(packing);
    platform::TDirContent lister;
    lister.SetActive(true);
    repack::RepackSink sink;
    sink.status = PrintStatus(c.err);
    platform::InterruptStop interrupt;
    const repack::RepackResult result =
        repack::RepackMaps(inputs, zip, lister, interrupt.Token(), sink);
    for (const std::string& line : result.report)
        c.err << text::PrintableName(platform::DisplayPath(line)) << "\n";
    if (result.stopped) {
        c.err << "cancelled\n";
        return 1;
    }
    c.out << Shown(result.archivePath) << "\n";
    return 0;
}

void PrintRows(std::ostream& out, std::vector<catalogue::CatalogueRow> rows) {
    catalogue::SortRows(rows);
    for (const auto& row : rows)
        out << text::PrintableName(row.mod) << "\t" << text::PrintableName(row.name) << "\n";
}

int List(Context& c) {
    const std::string what = c.args.empty() ? std::string() : c.args[0];
    platform::ProfileFile ini(c.iniPath);
    std::vector<std::string> skipped;
    if (what == "mods" && c.args.size() == 1) {
        for (const std::string& mod : catalogue::ReadModList(ini, &skipped))
            c.out << mod << "\n";
    } else if (what == "maps" &&
               (c.args.size() == 1 || (c.args.size() == 3 && c.args[1] == "--mod"))) {
        PrintRows(c.out, catalogue::ReadMapRows(ini, c.args.size() == 3 ? c.args[2] : std::string(),
                                                &skipped));
    } else if (what == "bots" && c.args.size() == 1) {
        PrintRows(c.out, catalogue::ReadBotRows(ini, &skipped));
    } else if (what == "rotation" && c.args.size() == 1) {
        for (const std::string& map : settings::LoadSettings(ini).options.rotation)
            c.out << text::PrintableName(map) << "\n";
    } else {
        throw UsageError{"list needs mods, maps [--mod M], bots or rotation"};
    }
    PrintLines(c.err, skipped);
    return 0;
}

// The pk3 commands take native paths and need no game directory.
int Pk3(std::vector<std::string> args, std::ostream& out) {
    const std::string verb = args.empty() ? std::string() : args[0];
    archive::Pk3Archive zip;
    if (verb == "pack")
        zip.SetPacking(TakePacking(args));
    // A file that holds no archive is a failure here, with the reason it is none.
    const auto open = [&zip](const std::string& path) {
        zip.SetFileName(platform::AbsolutePath(path));
        zip.SetActive(true);
        if (!zip.Active()) {
            throw Error(platform::DisplayPath(zip.FileName()) +
                        ": not an archive: " + zip.RefusalReason());
        }
    };
    if (verb == "list" && args.size() == 2) {
        open(args[1]);
        for (const std::string& name : zip.FileNames())
            out << text::PrintableName(name) << "\n";
        return 0;
    }
    if (verb == "extract" && args.size() == 4) {
        open(args[1]);
        if (!zip.HasMember(args[2]))
            throw Error("File \"" + args[2] + "\" not found!");
        zip.ExtractMember(args[2], platform::AbsolutePath(args[3]));
        return 0;
    }
    if (verb == "pack" && args.size() == 3) {
        const std::string target = platform::AbsolutePath(args[2]);
        archive::PackFolder(zip, platform::AbsolutePath(args[1]), target);
        out << platform::DisplayPath(target) << "\n";
        return 0;
    }
    throw UsageError{
        "pk3 needs list ARCHIVE, extract ARCHIVE MEMBER DEST or pack [--smallest] FOLDER ARCHIVE"};
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        std::string dir;
        std::string ini;
        size_t i = 0;
        for (; i < args.size(); ++i) {
            if (args[i] == "--dir" || args[i] == "--ini") {
                if (i + 1 >= args.size())
                    throw UsageError{args[i] + " needs a value"};
                (args[i] == "--dir" ? dir : ini) = args[i + 1];
                ++i;
            } else {
                break;
            }
        }
        if (i >= args.size())
            throw UsageError{"no command given"};
        const std::string& command = args[i];
        if (command == "pk3") {
            return Pk3(
                std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()), out);
        }
        Context c{{},
                  {},
                  std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()),
                  out,
                  err};

        static const std::map<std::string, std::function<int(Context&)>> gameCommands = {
            {"compose", Compose},        {"save-cfg", SaveCfg}, {"save-bat", SaveBat},
            {"rescan-mods", RescanMods}, {"list", List},        {"scan", Scan},
            {"repack", Repack},          {"start", Start},      {"stop", Stop},
            {"status", Status},          {"rcon", Rcon},
        };
        const auto found = gameCommands.find(command);
        if (found == gameCommands.end())
            throw UsageError{"unknown command: " + command};

        c.exeDir = platform::IncludeTrailingBackslash(platform::AbsolutePath(dir));
        c.iniPath = ini.empty() ? c.exeDir + "fraglane.ini" : platform::AbsolutePath(ini);
        // A server that runs here can be asked and stopped whatever the folder holds now.
        const bool serverCommand = command == "stop" || command == "status" || command == "rcon";
        if (!launch::IsGameDirectory(c.exeDir, c.iniPath) &&
            !(serverCommand && server::RunningServer(c.exeDir))) {
            err << launch::StartupRefusalText() << "\n";
            return 1;
        }
        return found->second(c);
    } catch (const UsageError& e) {
        err << "fraglane-cli: " << e.message << "\n" << Usage;
        return 2;
    } catch (const std::exception& e) {
        err << e.what() << "\n";
        return 1;
    }
}

}  // namespace fraglane::cli
