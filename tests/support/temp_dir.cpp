#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace fraglane::test {

TempDir::TempDir() {
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_native.empty(); ++attempt) {
        const fs::path dir =
            fs::temp_directory_path() / ("fraglane-test-" + std::to_string(random()));
        if (fs::create_directory(dir))
            m_native = dir.string() + "\\";
    }
    if (m_native.empty())
        throw std::runtime_error("cannot make a temporary directory");
#else
    std::string pattern = (fs::temp_directory_path() / "fraglane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_native = pattern + "/";
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first, so that read-only test files go too.
    for (auto it = fs::recursive_directory_iterator(m_native, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_native, ec);
}

namespace {

// Test paths are UTF-8 text, as the program's are: taken as such on every system.
fs::path Utf8(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::string TempDir::Path(std::string_view relative) const {
    std::string path = m_native + std::string(relative);
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

std::string TempDir::Program() const {
    std::string p = m_native;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

void TempDir::Write(std::string_view relative, std::string_view bytes) const {
    const fs::path path = Utf8(Path(relative));
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string TempDir::Read(std::string_view relative) const {
    std::ifstream in(Utf8(Path(relative)), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempDir::Exists(std::string_view relative) const {
    return fs::exists(Utf8(Path(relative)));
}

void TempDir::MakeDir(std::string_view relative) const {
    fs::create_directories(Utf8(Path(relative)));
}

std::string TempDir::Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(m_native)) {
        names.push_back(fs::relative(e.path(), m_native).generic_string());
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names)
        out += n + "\n";
    return out;
}

GameDir::GameDir() {
    Write("quake3.exe", "");
}

bool GameDir::LinkOpenArena() const {
    const fs::path source = "/usr/share/games/openarena/baseoa";
    if (!fs::is_directory(source))
        return false;
    MakeDir("baseq3");
    for (const auto& e : fs::directory_iterator(source)) {
        if (e.path().extension() != ".pk3")
            continue;
        const fs::path link = Path("baseq3/" + e.path().filename().string());
#ifdef _WIN32
        // Wine makes no symbolic links; a hard link, else a copy.
        std::error_code ec;
        fs::create_hard_link(e.path(), link, ec);
        if (ec)
            fs::copy_file(e.path(), link);
#else
        fs::create_symlink(e.path(), link);
#endif
    }
    return true;
}

}  // namespace fraglane::test
