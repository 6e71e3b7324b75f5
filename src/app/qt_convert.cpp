#include "app/qt_convert.h"

#include <mutex>
#include <optional>
#include <unordered_map>

namespace fraglane::app {

namespace {

// Windows-1252 for the bytes 0x80..0x9F (the code page the original ran with, in which
// archives made on Windows name their files); the five bytes it leaves undefined are shown
// as the C1 controls Windows gives them. 0xA0..0xFF are Latin-1.
constexpr char16_t Windows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromWindows1252(unsigned char byte) {
    return byte < 0xA0 ? Windows1252[byte - 0x80] : byte;
}

// Texts shown in Windows-1252 and the bytes they came from: a text that reads as one of
// them goes back to those bytes, so that a name goes back to the core as it came, and a name
// typed as a catalogued one reads takes the catalogued bytes. Only texts with a byte outside
// valid UTF-8 are kept (names from archives made elsewhere); the bound keeps a hostile
// catalogue from growing it without end.
class ShownBytes {
public:
    void Keep(const QString& shown, std::string_view bytes) {
        const std::lock_guard lock(m_mutex);
        if (m_bytes.size() < MaxTexts)
            m_bytes.emplace(shown, std::string(bytes));
    }
    std::optional<std::string> Find(const QString& shown) const {
        const std::lock_guard lock(m_mutex);
        const auto it = m_bytes.find(shown);
        return it == m_bytes.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

private:
    static constexpr size_t MaxTexts = 1 << 20;
    mutable std::mutex m_mutex;  // texts are made on job threads too (status texts, rows)
    std::unordered_map<QString, std::string> m_bytes;
};

ShownBytes& Shown() {
    static ShownBytes shown;
    return shown;
}

// The length of the valid UTF-8 sequence at s[i] and its code point; 0 when there is none
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
size_t Sequence(std::string_view s, size_t i, char32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (s.size() - i < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0u) != 0x80)
            return 0;
        code = (code << 6) | (byte(k) & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code) {
    const auto put = [&](char32_t v) { out.push_back(static_cast<char>(v)); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6)), put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12)), put(0x80 | ((code >> 6) & 0x3F)), put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18)), put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F)), put(0x80 | (code & 0x3F));
    }
}

}  // namespace

QString DecodeBytes(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    bool windows1252 = false;
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        char32_t code = 0;
        size_t length = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
        } else if ((length = Sequence(s, i, code)) == 0) {
            out.push_back(FromWindows1252(lead));
            windows1252 = true;
            ++i;
        } else if (code < 0x10000) {
            out.push_back(static_cast<char16_t>(code));
            i += length;
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
            i += length;
        }
    }
    // Not fromStdU16String: that reads a leading U+FEFF or U+FFFE as a byte-order mark.
    QString text(reinterpret_cast<const QChar*>(out.data()), static_cast<qsizetype>(out.size()));
    if (windows1252)
        Shown().Keep(text, s);
    return text;
}

std::string EncodeBytes(const QString& s) {
    if (std::optional<std::string> bytes = Shown().Find(s))
        return std::move(*bytes);
    std::string out;
    out.reserve(static_cast<size_t>(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, s[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            out.push_back('?');  // half a pair that no text of ours decodes to
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace fraglane::app
