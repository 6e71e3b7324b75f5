#pragma once

#include "app/desktop.h"

// A desktop that shows nothing and answers every question "no": the window benches measure
// the window, not message boxes.
class SilentDesktop : public fraglane::app::Desktop {
public:
    void ShowStartupError(const QString&) override {}
    void ShowError(QWidget*, const QString&) override {}
    void OpenUrl(const QString&) override {}
    void OpenFile(QWidget*, const QString&, const QString&) override {}
    bool Ask(QWidget*, const QString&) override { return false; }
    QString ChooseProgram(QWidget*, const QString&) override { return {}; }
};
