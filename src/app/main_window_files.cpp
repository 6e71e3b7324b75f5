// The configuration and batch files: their names, the pages that show them, saving, start.
#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "launch/launch_files.h"
#include "platform/file_system.h"

namespace fraglane::app {

std::string T_Main::ConfigFilePath() const {
    return launch::ConfigFilePath(ExeDir, ToStd(cMod->currentText()), ToStd(cCfgName->text()));
}

std::string T_Main::BatchFilePath() const {
    return launch::BatchFilePath(ExeDir, ToStd(cBatName->text()));
}

void T_Main::FillDirPopup(const std::string& directory, launch::PopupMode mode) {
    const std::vector<std::string> files = launch::PopupFiles(DirContent, directory, mode);
    PopupDir->clear();
    for (const std::string& name : files) {
        // "&" would mark an access key; doubled it shows as itself. The name travels as data.
        QString caption = ToQt(name);
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = PopupDir->addAction(caption);
        item->setData(ToQt(name));
        if (mode == launch::PopupMode::Config) {
            connect(item, &QAction::triggered, this, [this, item] { PopupDirClick(item); });
        } else {
            connect(item, &QAction::triggered, this, [this, item] { PopupBatClick(item); });
        }
    }
}

void T_Main::cCfgNameButtonClick() {
    FillDirPopup(launch::ModDirectory(ExeDir, ToStd(cMod->currentText())),
                 launch::PopupMode::Config);
    PopupDir->popup(QCursor::pos());
}

void T_Main::cBatNameButtonClick() {
    FillDirPopup(ExeDir, launch::PopupMode::Batch);
    PopupDir->popup(QCursor::pos());
}

void T_Main::PopupDirClick(QAction* item) {
    cCfgName->setText(item->data().toString());
}

void T_Main::PopupBatClick(QAction* item) {
    cBatName->setText(item->data().toString());
}

namespace {

void ShowFile(QTabWidget* pages, QWidget* page, QPlainTextEdit* memo, const QString& caption,
              const std::string& path) {
    const int index = pages->indexOf(page);
    if (!pages->isTabVisible(index))
        pages->setTabVisible(index, true);
    pages->setTabText(index, caption);
    memo->setPlainText(ToQt(launch::LoadShownFile(path)).join(QLatin1Char('\n')));
}

}  // namespace

void T_Main::cCfgNameChange() {
    const std::string path = ConfigFilePath();
    if (platform::FileExists(path)) {
        ShowFile(PageConfig, TabSheetCfg, cLoadedCfg,
                 cMod->currentText() + QLatin1Char('\\') + cCfgName->text(), path);
    }
    Compose();
}

void T_Main::cBatNameChange() {
    const std::string path = BatchFilePath();
    if (!platform::FileExists(path))
        return;
    ShowFile(PageConfig, TabSheetBat, cLoadedBat, cBatName->text(), path);
}

void T_Main::btnSaveCfgClick() {
    launch::SaveConfigFile(ExeDir, ToStd(cMod->currentText()), GatherOptions().cfgName,
                           m_texts.configLines);
    cCfgNameChange();
}

void T_Main::UpdateCfgWarning() {
    try {
        const std::string cfgName = GatherOptions().cfgName;
        const QString shown = cMod->currentText() + QLatin1Char('\\') + cCfgName->text();
        QString warning;
        if (cfgName.empty()) {
            warning = QStringLiteral("the server reads no cfg file: the cfg name is empty");
        } else {
            const std::string path =
                launch::ConfigFilePath(ExeDir, ToStd(cMod->currentText()), cfgName);
            switch (launch::CompareSavedConfig(path, launch::ConfigFileText(m_texts.configLines))) {
                case launch::SavedConfig::Same:
                    break;
                case launch::SavedConfig::Differs:
                    warning = QStringLiteral("the server reads the saved %1, not what is shown")
                                  .arg(shown);
                    break;
                case launch::SavedConfig::Missing:
                    warning = QStringLiteral("the server reads no %1: save cfg first").arg(shown);
                    break;
            }
        }
        cCfgWarning->setText(warning);
        cCfgWarning->setToolTip(warning);  // whole, should the room beside the caption cut it
        cCfgWarning->setVisible(!warning.isEmpty());
    } catch (const std::exception&) {
        // Only memory can fail here; the warning stays as it was judged last.
    }
}

void T_Main::btnSaveBatClick() {
    launch::SaveBatchFile(ExeDir, ToStd(cBatName->text()), m_texts.commandLine);
    cBatNameChange();
}

}  // namespace fraglane::app
