#include "app/desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace fraglane::app {

void SystemDesktop::ShowStartupError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), message, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void SystemDesktop::ShowError(QWidget* owner, const QString& message) {
    QMessageBox::critical(owner, QStringLiteral("Fraglane"), message);
}

void SystemDesktop::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

void SystemDesktop::OpenFile(const QString& fileName, const QString& workingDirectory) {
#ifdef Q_OS_WIN
    QDesktopServices::openUrl(QUrl::fromLocalFile(workingDirectory + fileName));
#else
    // The desktop's opener with the game directory as working directory, as the shell's
    // "open" runs a batch file there. The result is not checked.
    QProcess::startDetached(QStringLiteral("xdg-open"), {fileName}, workingDirectory);
#endif
}

}  // namespace fraglane::app
