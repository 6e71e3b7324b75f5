#include "launch/launch_files.h"

#include "launch/compose.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::launch {

std::string LevelshotsDirOf(std::string_view exeDir) {
    return std::string(exeDir) + "levelshots\\";
}

std::string TempDirOf(std::string_view exeDir) {
    return std::string(exeDir) + "temp\\";
}

std::string ModDirectory(std::string_view exeDir, std::string_view mod) {
    return std::string(exeDir) + std::string(mod) + "\\";
}

std::string ConfigFilePath(std::string_view exeDir, std::string_view mod,
                           std::string_view cfgName) {
    return ModDirectory(exeDir, mod) + std::string(cfgName);
}

std::string ConfigSavePath(std::string_view exeDir, std::string_view mod,
                           std::string_view cfgName) {
    std::string path = ConfigFilePath(exeDir, mod, cfgName);
    if (!text::StaysInside(cfgName))
        throw Error("Cannot create file " + platform::DisplayPath(path));
    return path;
}

std::string BatchFilePath(std::string_view exeDir, std::string_view batName) {
    return std::string(exeDir) + std::string(batName);
}

std::string BatchSavePath(std::string_view exeDir, std::string_view batName) {
    std::string path = BatchFilePath(exeDir, batName);
    if (!text::StaysInside(batName))
        throw Error("Cannot create file " + platform::DisplayPath(path));
    return path;
}

std::vector<std::string> PopupFiles(platform::TDirContent& lister, std::string_view directory,
                                    PopupMode mode) {
    lister.SetDirectory(directory);
    std::vector<std::string> offered;
    for (const std::string& name : lister.FileList()) {
        const std::string_view ext = text::ExtractFileExt(name);
        const bool take = mode == PopupMode::Config
                              ? text::EqualsIgnoreCase(ext, ".cfg") &&
                                    !text::EqualsIgnoreCase(name, "q3config.cfg")
                              : text::EqualsIgnoreCase(ext, ".bat");
        if (take)
            offered.push_back(name);
    }
    return offered;
}

void SaveConfigFile(std::string_view exeDir, std::string_view mod, std::string_view cfgName,
                    const std::vector<std::string>& lines) {
    ConfigSavePath(exeDir, mod, cfgName);
    platform::ReplaceFileBytes(ModDirectory(exeDir, mod), cfgName, ConfigFileText(lines));
}

void SaveBatchFile(std::string_view exeDir, std::string_view batName,
                   std::string_view commandLine) {
    BatchSavePath(exeDir, batName);
    platform::ReplaceFileBytes(exeDir, batName, commandLine);
}

SavedConfig CompareSavedConfig(std::string_view path, std::string_view composed) {
    if (platform::InspectEntry(path).kind == platform::EntryKind::Missing)
        return SavedConfig::Missing;
    try {
        // One byte more than the text: a longer file that starts with it is told apart.
        const std::string bytes = platform::ReadRegularFile(path, composed.size() + 1);
        return bytes == composed ? SavedConfig::Same : SavedConfig::Differs;
    } catch (const Error&) {
        return SavedConfig::Differs;
    }
}

std::vector<std::string> LoadShownFile(std::string_view path, size_t maxBytes) {
    // Only a regular file, opened without waiting: a pipe under the name must not hang the
    // window.
    const std::string bytes = platform::ReadRegularFile(path, maxBytes);
    std::vector<std::string> lines;
    text::ForEachLine(bytes,
                      [&](std::string_view line, std::string_view) { lines.emplace_back(line); });
    return lines;
}

}  // namespace fraglane::launch
