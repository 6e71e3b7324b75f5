// The repack of the selected maps into one new archive.
#include "app/main_window.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::app {

void T_Main::btnRepackMapsClick() {
    m_repackInputs = {ExeDir, LevelshotsDir, TempDir, {}};
    for (int row : cMap->SelectedRowsAsChosen())
        m_repackInputs.rows.push_back({cMap->Cell(row, cMapMap), cMap->Cell(row, cMapMod)});
    KAZip.SetPacking(cRepackSmallest->isChecked() ? archive::Packing::Smallest
                                                  : archive::Packing::Default);
    m_repackFailed = false;
    RepackReport.clear();
    StartBusyJob(ThreadRepackMaps);
}

void T_Main::ThreadRepackMapsExecute(jobs::JobThread& thread) {
    repack::RepackSink sink;
    sink.status = [&](int panel, const std::string& text) { QueueStatusText(thread, panel, text); };
    sink.progress = [&](int done, int total) { QueueProgress(thread, done, total); };
    try {
        RepackReport =
            repack::RepackMaps(m_repackInputs, KAZip, DirContent, thread.StopToken(), sink).report;
    } catch (...) {
        // Copying a level shot or writing the archive failed: the message goes to the error
        // box, and the end handler does not call the run done.
        m_repackFailed = true;
        throw;
    }
}

void T_Main::ShowRepackReport() {
    QStringList lines;
    for (const std::string& line : RepackReport)
        lines << ToQt(text::PrintableName(platform::DisplayPath(line)));
    cRepackReport->setPlainText(lines.join(QLatin1Char('\n')));
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetReport), true);
}

void T_Main::ThreadRepackMapsTerminate(jobs::JobThread& thread) {
    JobProgress->hide();
    PageControl->setEnabled(true);
    PageConfig->setEnabled(true);
    if (thread.Terminated() || m_repackFailed) {
        SetStatusText(0, QStringLiteral("cancelled"));
        SetStatusText(2, QString());
    } else {
        SetStatusText(0, QStringLiteral("repack done"));  // panel 2 keeps the path written
    }
    SetStatusText(1, QString());
    if (!RepackReport.empty())
        ShowRepackReport();
}

}  // namespace fraglane::app
