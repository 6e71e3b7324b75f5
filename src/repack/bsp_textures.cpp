#include "repack/bsp_textures.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::repack {

namespace {

// The 8 bytes after a "t" read "extures/", letters folded; a zero byte ends the comparison.
bool IsExtures(std::string_view eight) {
    static constexpr std::string_view Want = "extures/";
    for (size_t i = 0; i < Want.size(); ++i) {
        if (eight[i] == '\0' || text::LowerAscii(eight[i]) != Want[i])
            return false;
    }
    return true;
}

// The scan as a machine fed piece by piece, so that a map file of any size is read through a
// bounded buffer; cutting the bytes into pieces does not change what it finds.
class BspScanner {
public:
    explicit BspScanner(RepackRun& run) : m_run(run) {}

    void Feed(std::string_view bytes) {
        size_t pos = 0;
        while (pos < bytes.size()) {
            switch (m_state) {
                case State::Seek: {
                    const size_t t = bytes.find('t', pos);
                    if (t == std::string_view::npos)
                        return;
                    pos = t + 1;
                    m_eight.clear();
                    m_state = State::Eight;
                    break;
                }
                case State::Eight: {
                    // These bytes are not looked at again, whatever they hold.
                    const size_t take = std::min(8 - m_eight.size(), bytes.size() - pos);
                    m_eight.append(bytes.substr(pos, take));
                    pos += take;
                    if (m_eight.size() == 8) {
                        m_name = "textures\\";
                        m_state = IsExtures(m_eight) ? State::Name : State::Seek;
                    }
                    break;
                }
                case State::Name: {
                    const size_t zero = bytes.find('\0', pos);
                    const size_t end = zero == std::string_view::npos ? bytes.size() : zero;
                    // No member can have a longer name: the rest of it is passed over unkept.
                    const size_t room = MaxName - std::min(MaxName, m_name.size());
                    m_name.append(bytes.substr(pos, std::min(room, end - pos)));
                    if (end - pos > room)
                        m_name.resize(MaxName + 1);
                    pos = end;
                    if (zero == std::string_view::npos)
                        break;  // cut short by the end of the piece: the name goes on
                    ++pos;
                    m_state = State::Seek;
                    if (m_name.size() <= MaxName) {
                        std::replace(m_name.begin(), m_name.end(), '/', '\\');
                        m_run.AddTexture(TrimControls(m_name));
                    }
                    break;
                }
            }
        }
    }

private:
    static constexpr size_t MaxName = 0xFFFF;
    enum class State { Seek, Eight, Name };
    RepackRun& m_run;
    State m_state = State::Seek;
    std::string m_eight;
    std::string m_name;
};

}  // namespace

// A name that reaches the end without its zero byte is left in the machine, not added.
void ScanBspBytes(RepackRun& run, std::string_view bytes) {
    BspScanner(run).Feed(bytes);
}

void ScanBspTextures(RepackRun& run, std::string_view memberName) {
    BspScanner scanner(run);
    platform::ReadRegularFileInPieces(run.tempDir + std::string(memberName),
                                      [&](std::string_view piece) { scanner.Feed(piece); });
}

}  // namespace fraglane::repack
