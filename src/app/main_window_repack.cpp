// The repack of the selected maps into one new archive.
#include "app/main_window.h"

#include <QPlainTextEdit>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::app {

void T_Main::btnRepackMapsClick() {
    m_repackInputs = {ExeDir, LevelshotsDir, TempDir, {}};
    for (int row : cMap->SelectedRowsAsChosen())
        m_repackInputs.rows.push_back({cMap->Cell(row, cMapMap), cMap->Cell(row, cMapMod)});
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

}  // namespace fraglane::app
