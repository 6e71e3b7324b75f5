#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// The one place that knows both QString and std::string. The core's texts are bytes in the
// system's code page, which is UTF-8 here (Linux, and Windows under the program's manifest):
// they are read as UTF-8, and a byte that is no part of valid UTF-8 (a name from an archive
// made on Windows in its ANSI code page) is read as Windows-1252. Every text comes back to
// the same bytes: a text shown in Windows-1252 is remembered with its bytes. Plain ASCII
// takes the short way.
namespace fraglane::app {

QString DecodeBytes(std::string_view s);
std::string EncodeBytes(const QString& s);

inline bool IsAscii(std::string_view s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

inline std::string ToStd(const QString& s) {
    for (const QChar c : s) {
        if (c.unicode() >= 0x80)
            return EncodeBytes(s);
    }
    return s.toLatin1().toStdString();
}
inline QString ToQt(std::string_view s) {
    if (!IsAscii(s))
        return DecodeBytes(s);
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline QStringList ToQt(const std::vector<std::string>& lines) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        out.push_back(ToQt(line));
    return out;
}
inline std::vector<std::string> ToStd(const QStringList& lines) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(lines.size()));
    for (const QString& line : lines)
        out.push_back(ToStd(line));
    return out;
}

}  // namespace fraglane::app
