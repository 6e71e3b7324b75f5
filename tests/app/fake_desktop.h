#pragma once

#include <QStringList>

#include <functional>

#include "app/desktop.h"

#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace fraglane::app::test {

// Records what the window asks of the desktop instead of showing or starting anything.
class FakeDesktop : public Desktop {
public:
    QStringList startupErrors;
    QStringList errors;
    QStringList urls;
    QList<QPair<QString, QString>> opened;  // file name, working directory
    std::function<void()> onOpen;           // runs at the moment of the shell call
    bool realShell = false;  // the shell's open is passed to the system, as the program does
    QStringList questions;
    bool answer = false;  // what every question is answered
    QString chosenProgram;

    void ShowStartupError(const QString& message) override { startupErrors << message; }
    void ShowError(QWidget*, const QString& message) override { errors << message; }
    void OpenUrl(const QString& url) override { urls << url; }
    void OpenFile(QWidget*, const QString& fileName, const QString& dir) override {
        opened.append({fileName, dir});
        if (onOpen)
            onOpen();
        if (realShell)
            SystemDesktop().OpenFile(nullptr, fileName, dir);
    }
    bool Ask(QWidget*, const QString& question) override {
        questions << question;
        return answer;
    }
    QString ChooseProgram(QWidget*, const QString&) override { return chosenProgram; }
};

}  // namespace fraglane::app::test
