// Mods, the map and bot lists, the roster of bots to add.
#include "app/main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "catalogue/catalogue.h"
#include "catalogue/mods.h"
#include "catalogue/scan.h"
#include "launch/compose.h"
#include "platform/text.h"

namespace fraglane::app {

namespace {

// A grid's cells: name, then mod, row after row.
std::vector<std::string> Cells(std::vector<catalogue::CatalogueRow> rows) {
    std::vector<std::string> cells;
    cells.reserve(rows.size() * 2);
    for (auto& row : rows) {
        cells.push_back(std::move(row.name));
        cells.push_back(std::move(row.mod));
    }
    return cells;
}

}  // namespace

void T_Main::LoadCatalogue(const std::string& modFilter) {
    StopReadingCatalogue();
    ShowLists(catalogue::ReadLists(*IniFile, modFilter));
}

void T_Main::ShowLists(catalogue::Lists lists) {
    cMap->SetSortedRows(Cells(std::move(lists.maps)), {cMapMod, cMapMap});
    cBot->SetSortedRows(Cells(std::move(lists.bots)), {cBotMod, cBotBot});
    m_rowsSkipped = std::move(lists.skipped);
    UpdateLeftOutPage();
}

void T_Main::StartReadingCatalogue() {
    cMap->SetReading(true);
    cBot->SetReading(true);
    ThreadReadCatalogue.Start();
}

void T_Main::StopReadingCatalogue() {
    ThreadReadCatalogue.Stop();
    ThreadReadCatalogue.WaitFor();
}

void T_Main::ThreadReadCatalogueTerminate(jobs::JobThread& thread, std::any& runData) {
    cMap->SetReading(false);
    cBot->SetReading(false);
    auto* lists = std::any_cast<catalogue::Lists>(&runData);
    if (thread.Terminated() || lists == nullptr)
        return;  // another list took its place, or the error box says why
    ShowLists(std::move(*lists));
    SelectStoredMap();
    JudgeStoredMapWarning();
    UpdateRotationWarning();
}

void T_Main::SelectStoredMap() {
    const std::string selectedMap = ToStd(cSelectedMap->text());
    for (int i = 0; i < cMap->RowCount(); ++i) {
        if (cMap->Cell(i, cMapMap) == selectedMap) {
            cMap->FocusRow(i);
            cMap->SetRowSelected(i, true);
        }
    }
}

void T_Main::SortLists() {
    cMap->SetSortKeys({cMapMod, cMapMap});
    cBot->SetSortKeys({cBotMod, cBotBot});
}

void T_Main::btnRescanModesClick() {
    // The mod chosen before is chosen again when it is still there: the operator keeps
    // what they had, and the drop-down still opens for another choice.
    const QString previous = cMod->currentIndex() >= 0 ? cMod->currentText() : ToQt(m_unlistedMod);
    cMod->clear();
    const catalogue::ModDiscovery found = catalogue::DiscoverMods(DirContent, ExeDir);
    for (const std::string& mod : found.mods)
        cMod->addItem(ToQt(mod));
    cMod->setCurrentIndex(cMod->findText(previous, Qt::MatchExactly | Qt::MatchCaseSensitive));
    m_modsSkipped = found.skipped;
    UpdateLeftOutPage();
    SetStatusText(0,
                  found.skipped.empty() ? QString() : ToQt(launch::LeftOutSummary(found.skipped)));
    catalogue::WriteModCatalogue(*IniFile, found.mods);
    cMod->showPopup();
}

void T_Main::btnShowModMapsClick() {
    LoadCatalogue(ToStd(cMod->currentText()));
}

void T_Main::btnShowAllMapsClick() {
    LoadCatalogue(std::string());
}

void T_Main::cMapChangeNode(int current) {
    if (current < 0)
        return;
    SetTextIfChanged(cSelectedMap, cMap->Text(current, cMapMap));
    UpdateRepackButton();
}

void T_Main::UpdateRepackButton() {
    const std::vector<int> selected = cMap->SelectedRows();
    const auto k = selected.size();
    btnRepackMaps->setEnabled(k > 0);
    if (k == 0) {
        btnRepackMaps->setText(QStringLiteral("select maps"));
    } else if (k == 1) {
        btnRepackMaps->setText(QStringLiteral("repack ") +
                               cMap->Text(selected.front(), cMapMap).left(8));
    } else {
        btnRepackMaps->setText(QStringLiteral("repack %1 maps").arg(k));
    }
}

void T_Main::cSelectedMapChange() {
    Compose();
    const int focused = cMap->CurrentRow();
    if (focused < 0)
        return;
    cErrorLoadMapInfo->setVisible(
        catalogue::CannotLoadInMod(cMap->Cell(focused, cMapMod), ToStd(cMod->currentText())));
}

void T_Main::btnAddBotClick() {
    const std::string team = ToStd(cTeam->currentText());
    for (int row : cBot->SelectedRows())
        cSelectedBots->addItem(
            ToQt(catalogue::RosterLine(cBot->Cell(row, cBotBot), cSkill->value(), team)));
    Compose();
}

void T_Main::btnDelBotsClick() {
    RemoveSelectedLines(cSelectedBots);
    Compose();
}

void T_Main::btnRescanMapsClick() {
    StopReadingCatalogue();
    cMap->Clear();
    cBot->Clear();
    cMap->BeginUpdate();
    cBot->BeginUpdate();
    m_scanInputs = {ExeDir, LevelshotsDir, {}};
    for (int i = 0; i < cMod->count(); ++i)
        m_scanInputs.mods.push_back(ToStd(cMod->itemText(i)));
    StartBusyJob(ThreadScanMaps);
}

void T_Main::ThreadScanMapsExecute(jobs::JobThread& thread, std::any& runData) {
    // Status texts and rows reach the window in the order the scan finds them; the lists are
    // in update state meanwhile, so rows appended one by one cost no repaint or sort.
    catalogue::ScanSink sink;
    sink.status = [&](int panel, const std::string& text) { QueueStatusText(thread, panel, text); };
    sink.progress = [&](int done, int total) { QueueProgress(thread, done, total); };
    auto append = [&](ListGrid* grid, const catalogue::CatalogueRow& row) {
        thread.Queue([grid, cells = std::vector<std::string>{row.name, row.mod}]() mutable {
            grid->AddRows(std::move(cells));
        });
    };
    sink.mapRow = [&](const catalogue::CatalogueRow& row) { append(cMap, row); };
    sink.botRow = [&](const catalogue::CatalogueRow& row) { append(cBot, row); };
    const catalogue::ScanResult result =
        catalogue::ScanMaps(m_scanInputs, KAZip, DirContent, *IniFile, thread.StopToken(), sink);
    m_scanSkipped = result.skippedNames;  // read by the end handler, once this has returned
    // A scan stopped by Esc wrote no catalogue: its rows so far are no count of anything.
    runData = catalogue::ScanDoneText(result.skippedNames.size(), result.pictureFailures.size(),
                                      result.stopped ? "" : catalogue::ScanCountText(result));
}

void T_Main::ThreadScanMapsTerminate(jobs::JobThread&, std::any& runData) {
    JobProgress->hide();
    SortLists();
    PageControl->setEnabled(true);
    PageConfig->setEnabled(true);
    if (cMap->IsUpdating())
        cMap->EndUpdate();
    if (cBot->IsUpdating())
        cBot->EndUpdate();
    // A scan that failed (its message is in the error box) wrote no catalogue: the lists show
    // the stored one again rather than the rows found before the failure, and nothing says done.
    const std::string* done = std::any_cast<std::string>(&runData);
    if (done == nullptr) {
        LoadCatalogue(std::string());
    } else {
        m_rowsSkipped = std::move(m_scanSkipped);
        UpdateLeftOutPage();
    }
    m_scanSkipped.clear();
    SetStatusText(0, done == nullptr ? QString() : ToQt(*done));
    SetStatusText(1, QString());
    SetStatusText(2, QString());
}

void T_Main::btnAddRotationClick() {
    for (int row : cMap->SelectedRowsAsChosen()) {
        const QString name = cMap->Text(row, cMapMap);
        if (!text::IsCommandSafeName(ToStd(name)) || name.isEmpty())
            continue;  // would act as a command in the batch line
        bool listed = false;
        for (int i = 0; i < cRotationMaps->count() && !listed; ++i)
            listed = cRotationMaps->item(i)->text().compare(name, Qt::CaseInsensitive) == 0;
        if (!listed)
            cRotationMaps->addItem(name);
    }
    Compose();
}

void T_Main::btnDelRotationClick() {
    RemoveSelectedLines(cRotationMaps);
    Compose();
}

void T_Main::MoveRotationLine(int step) {
    const int from = cRotationMaps->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= cRotationMaps->count())
        return;
    cRotationMaps->insertItem(to, cRotationMaps->takeItem(from));
    cRotationMaps->setCurrentRow(to);
    Compose();
}

void T_Main::UpdateRotationWarning() {
    // A listed map warns when no catalogued row of it lies in baseq3 or in the chosen mod.
    QListWidgetItem* line = cRotationMaps->currentItem();
    bool warn = false;
    if (line != nullptr) {
        warn = true;
        const std::string map = ToStd(line->text());
        const std::string mod = ToStd(cMod->currentText());
        for (int i = 0; i < cMap->RowCount() && warn; ++i) {
            if (text::EqualsIgnoreCase(cMap->Cell(i, cMapMap), map) &&
                !catalogue::CannotLoadInMod(cMap->Cell(i, cMapMod), mod))
                warn = false;
        }
    }
    cRotationWarning->setVisible(warn);
}

void T_Main::JudgeStoredMapWarning() {
    const std::string map = ToStd(cSelectedMap->text());
    const std::string mod = ToStd(cMod->currentText());
    int row = -1;  // the map's row in the chosen mod, else its first
    for (int i = 0; i < cMap->RowCount(); ++i) {
        if (cMap->Cell(i, cMapMap) != map)
            continue;
        if (row < 0 || cMap->Cell(i, cMapMod) == mod)
            row = i;
        if (cMap->Cell(i, cMapMod) == mod)
            break;
    }
    cErrorLoadMapInfo->setVisible(row >= 0 &&
                                  catalogue::CannotLoadInMod(cMap->Cell(row, cMapMod), mod));
}

}  // namespace fraglane::app
