// What the operator's values are made of: the option controls and their fields, the settings
// file's values loaded and saved with their bytes, the live composition and the names it
// leaves out.
#include "app/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>

#include <algorithm>
#include <stdexcept>

#include "app/qt_convert.h"
#include "catalogue/catalogue.h"
#include "settings/options.h"
#include "settings/settings.h"

namespace fraglane::app {

namespace {

// A control's text as bytes: the stored bytes while the text still reads as they do (two
// byte strings, one UTF-8 and one Windows-1252, may read the same), else the text's own.
std::string KeptBytes(const QString& text, const std::string& stored) {
    return text == ToQt(stored) ? stored : ToStd(text);
}

// Lines read from the settings file keep their bytes beside their text.
constexpr int BytesRole = Qt::UserRole;

std::string KeptBytes(const QListWidgetItem* line) {
    const QByteArray bytes = line->data(BytesRole).toByteArray();
    return KeptBytes(line->text(), bytes.toStdString());
}

void AddKeptLines(QListWidget* list, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        auto* item = new QListWidgetItem(ToQt(line), list);
        item->setData(BytesRole, QByteArray(line.data(), static_cast<qsizetype>(line.size())));
    }
}

// The binding of an option row to its control; a control of another kind than its row is a
// fault of the program, found by the first window that opens.
OptionBinding BindingOf(const settings::OptionRow& row, QWidget* control) {
    using Kind = settings::OptionRow::Kind;
    const auto fail = [&]() -> OptionBinding {
        throw std::logic_error(std::string("option control missing or of another kind: ") +
                               row.control);
    };
    if (const auto* number = std::get_if<int launch::LaunchOptions::*>(&row.field)) {
        if (row.kind == Kind::Radio)
            if (auto* radio = qobject_cast<RadioGroup*>(control))
                return Bound<RadioGroup, int>{radio, *number};
        if (row.kind == Kind::Integer)
            if (auto* spin = qobject_cast<SpinEdit*>(control))
                return Bound<SpinEdit, int>{spin, *number};
    } else if (const auto* check = std::get_if<bool launch::LaunchOptions::*>(&row.field)) {
        if (auto* box = qobject_cast<QCheckBox*>(control))
            return Bound<QCheckBox, bool>{box, *check};
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return Bound<QLineEdit, std::string>{
            edit, std::get<std::string launch::LaunchOptions::*>(row.field)};
    }
    return fail();
}

}  // namespace

void T_Main::BindOptions() {
    // Each option row's control, found by its name, bound to the row's field as its kind says.
    m_bindings.clear();
    for (const settings::OptionRow& row : settings::OptionRows()) {
        auto* control = findChild<QWidget*>(QString::fromLatin1(row.control));
        m_bindings.push_back(BindingOf(row, control));
    }
    // The captions of the game options take the room the option controls leave: the spin
    // edits (all of them on that page) keep a fixed width.
    for (const OptionBinding& binding : m_bindings) {
        if (const auto* spin = std::get_if<Bound<SpinEdit, int>>(&binding))
            spin->control->setFixedWidth(OptionWidth);
    }
}

launch::LaunchOptions T_Main::GatherOptions() const {
    launch::LaunchOptions o;
    for (const OptionBinding& binding : m_bindings)
        Gather(binding, o);
    o.mod = ToStd(cMod->currentText());
    o.selectedMap = KeptBytes(cSelectedMap->text(), m_storedMap);
    for (int i = 0; i < cSelectedBots->count(); ++i)
        o.selectedBots.push_back(KeptBytes(cSelectedBots->item(i)));
    o.cfgName = KeptBytes(cCfgName->text(), m_storedCfgName);
    for (int i = 0; i < cRotationMaps->count(); ++i)
        o.rotation.push_back(KeptBytes(cRotationMaps->item(i)));
    return o;
}

void T_Main::Compose() {
    if (!ComposeReady)
        return;
    const launch::LaunchOptions options = GatherOptions();
    // A value is checked while its control still reads as the stored one: bytes read alike
    // (UTF-8 and Windows-1252) are the same value to the operator.
    m_texts = launch::Compose(options, {cSelectedMap->text() == ToQt(m_storedMap),
                                        cCfgName->text() == ToQt(m_storedCfgName),
                                        cRconPassword->text() == ToQt(m_storedRcon)});
    const launch::LaunchTexts& texts = m_texts;
    if (texts.leftOut != m_composeLeftOut) {
        m_composeLeftOut = texts.leftOut;
        UpdateLeftOutPage();
        if (!m_composeLeftOut.empty())
            SetStatusText(0, ToQt(launch::LeftOutSummary(m_composeLeftOut)));
    }
    SetTextIfChanged(cBat, ToQt(texts.commandLine));
    SetTextIfChanged(cBatName, ToQt(texts.batchName));
    // Keep the reader's place: the same first line is visible after the lines are replaced.
    QScrollBar* bar = cCfg->verticalScrollBar();
    const int firstVisible = bar->value();
    cCfg->setPlainText(ToQt(texts.configLines).join(QLatin1Char('\n')));
    bar->setValue(firstVisible);
    UpdateCfgWarning();
}

void T_Main::LoadSettings() {
    const settings::WindowPlacement current{x(), y(), width(), height()};
    const settings::Settings s = settings::LoadSettings(*IniFile, current);
    const launch::LaunchOptions& o = s.options;

    move(s.placement.left, s.placement.top);
    resize(std::max(s.placement.width, minimumWidth()),
           std::max(s.placement.height, minimumHeight()));

    cMod->clear();
    m_modsSkipped.clear();
    const std::vector<std::string> mods = catalogue::ReadModList(*IniFile, &m_modsSkipped);
    for (const std::string& mod : mods)
        cMod->addItem(ToQt(mod));
    cMod->setCurrentIndex(catalogue::ChooseModIndex(mods, s.selectedMod));
    m_unlistedMod = cMod->currentIndex() < 0 ? s.selectedMod : std::string();

    m_storedMap = o.selectedMap;
    m_storedCfgName = o.cfgName;
    m_storedRcon = o.rconPassword;
    cSelectedMap->setText(ToQt(o.selectedMap));

    for (const OptionBinding& binding : m_bindings)
        Show(binding, o);
    cSkill->setValue(s.skill);
    cTeam->setCurrentText(ToQt(s.team));
    cSelectedBots->clear();
    AddKeptLines(cSelectedBots, o.selectedBots);
    cCfgName->setText(ToQt(o.cfgName));
    cRotationMaps->clear();
    AddKeptLines(cRotationMaps, o.rotation);
    cMinOnRun->setChecked(s.minOnStart);
    cEngine->setText(ToQt(s.engine));
    cCrashRestart->setChecked(s.crashRestart);
}

void T_Main::SaveSettings() {
    settings::Settings s;
    s.placement = {x(), y(), width(), height()};
    s.selectedMod = cMod->currentIndex() >= 0 ? ToStd(cMod->currentText()) : m_unlistedMod;
    s.options = GatherOptions();
    s.skill = cSkill->value();
    s.team = ToStd(cTeam->currentText());
    s.minOnStart = cMinOnRun->isChecked();
    s.engine = ToStd(cEngine->text());
    s.crashRestart = cCrashRestart->isChecked();
    settings::SaveSettings(*IniFile, s);
}

void T_Main::UpdateLeftOutPage() {
    QStringList lines;
    for (const auto* list : {&m_composeLeftOut, &m_modsSkipped, &m_rowsSkipped}) {
        for (const std::string& line : *list)
            lines << ToQt(line);
    }
    cLeftOut->setPlainText(lines.join(QLatin1Char('\n')));
    const int page = PageConfig->indexOf(TabSheetLeftOut);
    PageConfig->setTabVisible(page, !lines.isEmpty());
}

void T_Main::ShowLeftOutPage() {
    const int page = PageConfig->indexOf(TabSheetLeftOut);
    if (PageConfig->isTabVisible(page) && PageConfig->isEnabled())
        PageConfig->setCurrentIndex(page);
}

}  // namespace fraglane::app
