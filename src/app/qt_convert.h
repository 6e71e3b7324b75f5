#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// The one place that knows both QString and std::string. The core's texts are single-byte
// (the Windows program's ANSI code page); Latin-1 keeps every byte as it is both ways.
namespace fraglane::app {

inline std::string ToStd(const QString& s) {
    return s.toLatin1().toStdString();
}
inline QString ToQt(std::string_view s) {
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
