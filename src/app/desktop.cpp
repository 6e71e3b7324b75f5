#include "app/desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <QWidget>

#include "platform/process.h"

namespace fraglane::app {

void SystemDesktop::ShowStartupError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), message, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void SystemDesktop::ShowError(QWidget* owner, const QString& message) {
    // Plain text: a message may carry a server's words or a log's lines, never markup.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Fraglane"), message, QMessageBox::Ok,
                    owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void SystemDesktop::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

void SystemDesktop::OpenFile(QWidget* owner, const QString& fileName,
                             const QString& workingDirectory) {
#ifdef Q_OS_WIN
    // The shell's "open" of the batch file, owned by the window, run in the game directory:
    // the batch names quake3.exe without a path. The result is not checked.
    platform::ShellOpen(fileName.toStdU16String(), workingDirectory.toStdU16String(),
                        owner != nullptr ? static_cast<uintptr_t>(owner->window()->winId()) : 0);
#else
    static_cast<void>(owner);
    // The desktop's opener with the game directory as working directory, as the shell's
    // "open" runs a batch file there. The result is not checked.
    QProcess::startDetached(QStringLiteral("xdg-open"), {fileName}, workingDirectory);
#endif
}

bool SystemDesktop::Ask(QWidget* owner, const QString& question) {
    return QMessageBox::question(owner, QStringLiteral("Fraglane"), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString SystemDesktop::ChooseProgram(QWidget* owner, const QString& folder) {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("engine"), folder);
}

}  // namespace fraglane::app
