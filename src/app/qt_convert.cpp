#include "app/qt_convert.h"

namespace fraglane::app {

namespace {

constexpr char16_t EscapeBase = 0xDC00;  // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

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
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        char32_t code = 0;
        size_t length = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
        } else if ((length = Sequence(s, i, code)) == 0) {
            out.push_back(static_cast<char16_t>(EscapeBase + lead));
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
    return QString(reinterpret_cast<const QChar*>(out.data()), static_cast<qsizetype>(out.size()));
}

std::string EncodeBytes(const QString& s) {
    std::string out;
    out.reserve(static_cast<size_t>(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, s[i + 1].unicode()));
            ++i;
        } else if (c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF) {
            out.push_back(static_cast<char>(c - EscapeBase));
        } else if (QChar::isSurrogate(c)) {
            out.push_back('?');  // half a pair that no text of ours decodes to
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace fraglane::app
