// Mods, the map and bot lists, the roster of bots to add.
#include "app/main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "catalogue/catalogue.h"
#include "catalogue/mods.h"

namespace fraglane::app {

void T_Main::LoadCatalogue(const std::string& modFilter) {
    auto toCells = [](const std::vector<catalogue::CatalogueRow>& rows) {
        std::vector<QStringList> cells;
        cells.reserve(rows.size());
        for (const auto& row : rows)
            cells.push_back({ToQt(row.name), ToQt(row.mod)});
        return cells;
    };
    cMap->clear();
    cMap->AddRows(toCells(catalogue::ReadMapRows(*IniFile, modFilter)));
    cBot->clear();
    cBot->AddRows(toCells(catalogue::ReadBotRows(*IniFile)));
    SortLists();
}

void T_Main::SortLists() {
    cMap->SetSortKeys({cMapMod, cMapMap});
    cBot->SetSortKeys({cBotMod, cBotBot});
}

void T_Main::btnRescanModesClick() {
    // The mod chosen before is chosen again when it is still there: the operator keeps
    // what they had, and the drop-down still opens for another choice.
    const QString previous = cMod->currentText();
    cMod->clear();
    const catalogue::ModDiscovery found = catalogue::DiscoverMods(DirContent, ExeDir);
    for (const std::string& mod : found.mods)
        cMod->addItem(ToQt(mod));
    cMod->setCurrentIndex(cMod->findText(previous, Qt::MatchExactly | Qt::MatchCaseSensitive));
    SetStatusText(0,
                  found.skipped > 0 ? ToQt(catalogue::SkippedModsText(found.skipped)) : QString());
    catalogue::WriteModCatalogue(*IniFile, found.mods);
    cMod->showPopup();
}

void T_Main::btnShowModMapsClick() {
    LoadCatalogue(ToStd(cMod->currentText()));
}

void T_Main::btnShowAllMapsClick() {
    LoadCatalogue(std::string());
}

void T_Main::cMapChangeNode(QTreeWidgetItem* current) {
    if (current == nullptr)
        return;
    SetTextIfChanged(cSelectedMap, current->text(cMapMap));
    UpdateRepackButton();
}

void T_Main::UpdateRepackButton() {
    const QList<QTreeWidgetItem*> selected = cMap->selectedItems();
    const auto k = selected.size();
    btnRepackMaps->setEnabled(k > 0);
    if (k == 0) {
        btnRepackMaps->setText(QStringLiteral("select maps"));
    } else if (k == 1) {
        btnRepackMaps->setText(QStringLiteral("repack ") + selected.front()->text(cMapMap).left(8));
    } else {
        btnRepackMaps->setText(QStringLiteral("repack %1 maps").arg(k));
    }
}

void T_Main::cSelectedMapChange() {
    Compose();
    QTreeWidgetItem* focused = cMap->currentItem();
    if (focused == nullptr)
        return;
    cErrorLoadMapInfo->setVisible(
        catalogue::CannotLoadInMod(ToStd(focused->text(cMapMod)), ToStd(cMod->currentText())));
}

void T_Main::btnAddBotClick() {
    const std::string team = ToStd(cTeam->currentText());
    for (QTreeWidgetItem* row : cBot->SelectedRows()) {
        cSelectedBots->addItem(
            ToQt(catalogue::RosterLine(ToStd(row->text(cBotBot)), cSkill->value(), team)));
    }
    Compose();
}

void T_Main::btnDelBotsClick() {
    for (int i = cSelectedBots->count() - 1; i >= 0; --i) {
        if (cSelectedBots->item(i)->isSelected())
            delete cSelectedBots->takeItem(i);
    }
    Compose();
}

void T_Main::ThreadScanMapsTerminate(jobs::JobThread&) {
    SortLists();
    PageControl->setEnabled(true);
    PageConfig->setEnabled(true);
    if (cMap->IsUpdating())
        cMap->EndUpdate();
    if (cBot->IsUpdating())
        cBot->EndUpdate();
    SetStatusText(0, QStringLiteral("done"));
    SetStatusText(1, QString());
    SetStatusText(2, QString());
}

}  // namespace fraglane::app
