#include "launch/launch_files.h"

#include "launch/compose.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::launch {

std::string ConfigFilePath(std::string_view exeDir, std::string_view mod,
                           std::string_view cfgName) {
    return std::string(exeDir) + std::string(mod) + "\\" + std::string(cfgName);
}

std::string BatchFilePath(std::string_view exeDir, std::string_view batName) {
    return std::string(exeDir) + std::string(batName);
}

std::vector<std::string> PopupFiles(TDirContent& lister, std::string_view directory,
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

void SaveConfigFile(std::string_view path, const std::vector<std::string>& lines) {
    platform::WriteFileBytes(path, ConfigFileText(lines));
}

void SaveBatchFile(std::string_view path, std::string_view commandLine) {
    platform::WriteFileBytes(path, commandLine);
}

std::vector<std::string> LoadShownFile(std::string_view path, size_t maxBytes) {
    const std::string bytes = platform::ReadFileBytes(path, maxBytes);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(pos));
            break;
        }
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end +
              ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

}  // namespace fraglane::launch
