#include "app/desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_WIN
#include "platform/windows_api.h"
// After windows.h, which it needs.
#include <shellapi.h>
#endif

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

void SystemDesktop::OpenFile(QWidget* owner, const QString& fileName,
                             const QString& workingDirectory) {
#ifdef Q_OS_WIN
    // The shell's "open" of the batch file, owned by the window, run in the game directory:
    // the batch names quake3.exe without a path. The result is not checked.
    ::ShellExecuteW(owner != nullptr ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr,
                    L"open", reinterpret_cast<const wchar_t*>(fileName.utf16()), nullptr,
                    reinterpret_cast<const wchar_t*>(workingDirectory.utf16()), SW_SHOWNORMAL);
#else
    static_cast<void>(owner);
    // The desktop's opener with the game directory as working directory, as the shell's
    // "open" runs a batch file there. The result is not checked.
    QProcess::startDetached(QStringLiteral("xdg-open"), {fileName}, workingDirectory);
#endif
}

}  // namespace fraglane::app
