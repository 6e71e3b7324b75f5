#pragma once

#include <QString>

class QWidget;

namespace fraglane::app {

// What the window asks of the desktop: message boxes, a file chooser and the shell's "open".
// Kept behind an interface so that tests record the calls instead of blocking on a box or
// starting a program.
class Desktop {
public:
    virtual ~Desktop() = default;
    // The start-up refusal: a stop box captioned "Error", no owner.
    virtual void ShowStartupError(const QString& message) = 0;
    // The application's standard error box, with the message of what failed.
    virtual void ShowError(QWidget* owner, const QString& message) = 0;
    // Opens a web address (the "Web Site" label) in the desktop's browser.
    virtual void OpenUrl(const QString& url) = 0;
    // The shell's "open" of a file name relative to a working directory (the batch file).
    virtual void OpenFile(QWidget* owner, const QString& fileName,
                          const QString& workingDirectory) = 0;
    // A question with "Yes" and "No"; true for "Yes".
    virtual bool Ask(QWidget* owner, const QString& question) = 0;
    // A file chosen by the operator (a program to run), starting in folder; "" when cancelled.
    virtual QString ChooseProgram(QWidget* owner, const QString& folder) = 0;
};

// The real desktop: Qt message boxes; the desktop opener for addresses and files.
class SystemDesktop : public Desktop {
public:
    void ShowStartupError(const QString& message) override;
    void ShowError(QWidget* owner, const QString& message) override;
    void OpenUrl(const QString& url) override;
    void OpenFile(QWidget* owner, const QString& fileName,
                  const QString& workingDirectory) override;
    bool Ask(QWidget* owner, const QString& question) override;
    QString ChooseProgram(QWidget* owner, const QString& folder) override;
};

}  // namespace fraglane::app
