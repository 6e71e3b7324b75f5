#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

#include "app/qt_convert.h"
#include "app/server_watch.h"
#include "catalogue/catalogue.h"
#include "launch/launch_files.h"
#include "platform/file_system.h"
#include "settings/settings.h"

namespace fraglane::app {

namespace {

// A control's text as bytes: the stored bytes while the text still reads as they do (two
// byte strings, one UTF-8 and one Windows-1252, may read the same), else the text's own.
std::string KeptBytes(const QString& text, const std::string& stored) {
    return text == ToQt(stored) ? stored : ToStd(text);
}

// How often the cfg warning looks at the file again: one small read.
constexpr int CfgWatchMilliseconds = 2000;

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

}  // namespace

T_Main::T_Main(std::string exeDir, std::string iniPath, Desktop& desktop, QWidget* parent)
    : QMainWindow(parent), ExeDir(std::move(exeDir)), m_desktop(desktop) {
    setObjectName(QStringLiteral("_Main"));
    setWindowTitle(QStringLiteral("Fraglane"));
    const settings::WindowPlacement start;
    setMinimumSize(start.width, start.height);
    move(start.left, start.top);
    resize(start.width, start.height);
    BuildFrame();
    BuildGameOptionsPage();
    BuildMapPage();
    BuildBotsPage();
    BuildDisplayPage();
    BuildAdvancedPage();
    BuildRotationPage();
    BuildReadyPage();
    BuildServerPage();
    SetTabOrder();
    BindOptions();
    Connect();
    IniFile = std::make_unique<platform::ProfileFile>(std::move(iniPath));
    ThreadGetMapImage.OnExecute = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any&) {
        ThreadGetMapImageExecute(t);
    };
    ThreadRepackMaps.OnExecute = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any&) {
        ThreadRepackMapsExecute(t);
    };
    ThreadScanMaps.OnExecute = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any& d) {
        ThreadScanMapsExecute(t, d);
    };
    ThreadScanMaps.OnTerminate = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any& d) {
        ThreadScanMapsTerminate(t, d);
    };
    ThreadRepackMaps.OnTerminate = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any&) {
        ThreadRepackMapsTerminate(t);
    };
    ThreadReadCatalogue.OnExecute = [this](jobs::BackgroundJob&, jobs::JobThread&, std::any& d) {
        d = catalogue::ReadLists(*IniFile, std::string());
    };
    ThreadReadCatalogue.OnTerminate = [this](jobs::BackgroundJob&, jobs::JobThread& t,
                                             std::any& d) { ThreadReadCatalogueTerminate(t, d); };
    for (jobs::BackgroundJob* job :
         {&ThreadScanMaps, &ThreadGetMapImage, &ThreadRepackMaps, &ThreadReadCatalogue}) {
        job->OnError = [this](const std::string& message) {
            m_desktop.ShowError(this, ToQt(message));
        };
    }
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
    FormCreate();
}

T_Main::~T_Main() {
    FormDestroy();
}

void T_Main::ShowFailure(const std::exception& e) {
    m_desktop.ShowError(this, ToQt(e.what()));
}

void T_Main::BindOptions() {
    using O = launch::LaunchOptions;
    m_bindings = {
        Bound<RadioGroup, int>{cGametype, &O::gametype},
        Bound<SpinEdit, int>{cTimelimit, &O::timelimit},
        Bound<SpinEdit, int>{cFraglimit, &O::fraglimit},
        Bound<SpinEdit, int>{cCapturelimit, &O::capturelimit},
        Bound<QCheckBox, bool>{cDoWarmup, &O::doWarmup},
        Bound<SpinEdit, int>{cWarmup, &O::warmup},
        Bound<SpinEdit, int>{cMaxGameClients, &O::maxGameClients},
        Bound<QCheckBox, bool>{cDevmap, &O::devmap},
        Bound<QCheckBox, bool>{cPure, &O::pure},
        Bound<QCheckBox, bool>{cDedicated, &O::dedicated},
        Bound<QLineEdit, std::string>{cRconPassword, &O::rconPassword},
        Bound<QCheckBox, bool>{cFriendlyFire, &O::friendlyFire},
        Bound<SpinEdit, int>{cWeaponRespawn, &O::weaponRespawn},
        Bound<SpinEdit, int>{cWeaponTeamRespawn, &O::weaponTeamRespawn},
        Bound<SpinEdit, int>{cForceRespawn, &O::forceRespawn},
        Bound<SpinEdit, int>{cCom_HunkMegs, &O::hunkMegs},
        Bound<QCheckBox, bool>{cAllowDownload, &O::allowDownload},
        Bound<SpinEdit, int>{cInactivity, &O::inactivity},
        Bound<RadioGroup, int>{cDisplayMode, &O::displayMode},
        Bound<QCheckBox, bool>{cFullscreen, &O::fullscreen},
        Bound<QCheckBox, bool>{cDynamiclight, &O::dynamiclight},
        Bound<QCheckBox, bool>{cFastsky, &O::fastsky},
        Bound<QCheckBox, bool>{cLightmap, &O::lightmap},
        Bound<QCheckBox, bool>{cVertexLight, &O::vertexLight},
        Bound<QCheckBox, bool>{cUseQ3sdc, &O::useQ3sdc},
        Bound<QLineEdit, std::string>{cPre, &O::pre},
        Bound<QLineEdit, std::string>{cPost, &O::post},
        Bound<RadioGroup, int>{cDefragGametype, &O::defragGametype},
        Bound<RadioGroup, int>{cMovement, &O::movement},
    };
    // The captions of the game options take the room the option controls leave: the spin
    // edits (all of them on that page) keep a fixed width.
    for (const OptionBinding& binding : m_bindings) {
        if (const auto* spin = std::get_if<Bound<SpinEdit, int>>(&binding))
            spin->control->setFixedWidth(OptionWidth);
    }
}

void T_Main::Connect() {
    for (const OptionBinding& binding : m_bindings) {
        if (ControlOf(binding) == cDedicated)
            OnChange(binding, this, [this] { cDedicatedClick(); });
        else
            OnChange(binding, this, [this] { AllChangeClick(); });
    }
    connect(cMod, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_unlistedMod.clear();  // a mod is chosen: the stored one has had its turn
        cSelectedMapChange();
    });
    connect(StatusPanels[0], &StatusPanel::clicked, this, [this] { ShowLeftOutPage(); });
    connect(cRconPassword, &QLineEdit::textChanged, this, [this] { UpdateRconWarning(); });
    connect(cSelectedMap, &QLineEdit::textChanged, this, [this] { cSelectedMapChange(); });
    connect(cMap, &ListGrid::currentRowChanged, this, [this](int row) { cMapChangeNode(row); });
    connect(cMap, &ListGrid::rowSelectionChanged, this, [this] { UpdateRepackButton(); });
    connect(cMap, &ListGrid::mousePressed, this, [this] { UpdateRepackButton(); });
    connect(cMap, &ListGrid::keyPressed, this, [this] { UpdateRepackButton(); });
    connect(btnRescanModes, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnRescanModesClick(); }); });
    for (QPushButton* rescan : {btnRescanMaps, btnRescanBotes}) {
        connect(rescan, &QPushButton::clicked, this,
                [this] { Guarded([this] { btnRescanMapsClick(); }); });
    }
    connect(cRotate, &QCheckBox::toggled, this, [this] { AllChangeClick(); });
    connect(btnAddRotation, &QPushButton::clicked, this, [this] { btnAddRotationClick(); });
    connect(btnDelRotation, &QPushButton::clicked, this, [this] { btnDelRotationClick(); });
    connect(btnRotationUp, &QPushButton::clicked, this, [this] { MoveRotationLine(-1); });
    connect(btnRotationDown, &QPushButton::clicked, this, [this] { MoveRotationLine(1); });
    connect(cRotationMaps, &QListWidget::currentRowChanged, this,
            [this] { UpdateRotationWarning(); });
    connect(btnRepackMaps, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnRepackMapsClick(); }); });
    connect(btnShowModMaps, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnShowModMapsClick(); }); });
    connect(btnShowAllMaps, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnShowAllMapsClick(); }); });
    connect(cCfgName, &EllipsisEdit::buttonClicked, this, [this] { cCfgNameButtonClick(); });
    connect(cBatName, &EllipsisEdit::buttonClicked, this, [this] { cBatNameButtonClick(); });
    connect(cCfgName, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { cCfgNameChange(); }); });
    connect(cBatName, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { cBatNameChange(); }); });
    connect(btnSaveCfg, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnSaveCfgClick(); }); });
    connect(btnSaveBat, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnSaveBatClick(); }); });
    connect(btnStart, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnStartClick(); }); });
    connect(btnStopServer, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnStopServerClick(); }); });
    connect(btnRestartServer, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnRestartServerClick(); }); });
    connect(btnEngine, &QPushButton::clicked, this, [this] { btnEngineClick(); });
    connect(btnAddBot, &QPushButton::clicked, this, [this] { btnAddBotClick(); });
    connect(btnDelBots, &QPushButton::clicked, this, [this] { btnDelBotsClick(); });
}

bool T_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label30 && event->type() == QEvent::MouseButtonRelease) {
        Label30Click();
        return true;
    }
    if (watched == this && event->type() == QEvent::WindowActivate)
        UpdateCfgWarning();  // back from an editor, perhaps, that changed the file
    if (event->type() == QEvent::KeyPress) {
        // A key that the focused control leaves may pass here again on its way to the parents;
        // what FormKeyDown does (asking jobs to stop) may be done twice.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Ctrl+Tab and Ctrl+Shift+Tab go through the visible upper pages from any focus,
            // before a page control of its own takes them (it would open hidden pages too).
            const bool control = (key->modifiers() & Qt::ControlModifier) != 0;
            if (control && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
                const bool back =
                    key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier) != 0;
                CycleUpperPages(back ? -1 : 1);
                return true;
            }
            FormKeyDown(key->key());
        }
        return false;  // the key is not consumed
    }
    return QMainWindow::eventFilter(watched, event);
}

void T_Main::FormCreate() {
    ComposeReady = false;
    LevelshotsDir = launch::LevelshotsDirOf(ExeDir);
    TempDir = launch::TempDirOf(ExeDir);
    platform::ForceDirectories(LevelshotsDir);
    platform::ForceDirectories(TempDir);
    PageControl->setCurrentIndex(0);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetCfg), false);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetBat), false);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetReport), false);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetLeftOut), false);
    PageConfig->setCurrentIndex(0);
    DirContent.SetActive(true);
    bool loaded = false;  // a settings file that cannot be read is said once, not twice
    Guarded([this, &loaded] {
        LoadSettings();
        loaded = true;
    });
    JudgeStoredMapWarning();
    UpdateRconWarning();
    // Each upper page's full caption, for when the tabs are too narrow to show it.
    for (int i = 0; i < PageControl->count(); ++i)
        PageControl->setTabToolTip(i, PageControl->tabText(i));
    SetUpServerWatch();
    ThreadGetMapImage.Start();
    if (loaded)
        StartReadingCatalogue();
    ComposeReady = true;
    Compose();
    m_cfgWatch = new QTimer(this);
    connect(m_cfgWatch, &QTimer::timeout, this, [this] { UpdateCfgWarning(); });
    m_cfgWatch->start(CfgWatchMilliseconds);
}

void T_Main::FormDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    qApp->removeEventFilter(this);
    if (m_cfgWatch != nullptr)
        m_cfgWatch->stop();
    if (m_server)
        m_server->timer.stop();  // the server itself runs on
    // No job outlives what it uses: every one that runs is stopped and waited for, with the
    // window's thread serving their hand-overs, before the settings are saved.
    for (jobs::BackgroundJob* job :
         {&ThreadGetMapImage, &ThreadScanMaps, &ThreadRepackMaps, &ThreadReadCatalogue})
        job->Stop();
    for (jobs::BackgroundJob* job :
         {&ThreadGetMapImage, &ThreadScanMaps, &ThreadRepackMaps, &ThreadReadCatalogue})
        job->WaitFor();
    Guarded([this] { SaveSettings(); });
    IniFile.reset();
}

void T_Main::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void T_Main::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const int extra = std::max(0, height() - settings::WindowPlacement{}.height);
    PageControl->setFixedHeight(UpperPagesHeight + extra);
}

bool T_Main::FormCloseQuery() {
    return !ThreadScanMaps.IsRunning();
}

void T_Main::FormKeyDown(int key) {
    if (key != Qt::Key_Escape)
        return;
    if (ThreadScanMaps.IsRunning())
        ThreadScanMaps.Stop();
    if (ThreadRepackMaps.IsRunning())
        ThreadRepackMaps.Stop();
}

void T_Main::StartBusyJob(jobs::BackgroundJob& job) {
    PageControl->setEnabled(false);
    PageConfig->setEnabled(false);
    job.Start();
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

void T_Main::QueueStatusText(jobs::JobThread& thread, int panel, const std::string& text) {
    thread.Queue([this, panel, text = ToQt(text)] { SetStatusText(panel, text); });
}

void T_Main::QueueProgress(jobs::JobThread& thread, int done, int total) {
    thread.Queue([this, done, total] {
        JobProgress->setRange(0, total);
        JobProgress->setValue(done);
        JobProgress->show();
    });
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
    o.rotate = cRotate->isChecked();
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

void T_Main::AllChangeClick() {
    Compose();
}

void T_Main::cDedicatedClick() {
    PageControl->setTabVisible(PageControl->indexOf(TabDisplay), !cDedicated->isChecked());
    UpdateRconWarning();
    Compose();
}

void T_Main::CycleUpperPages(int step) {
    if (!PageControl->isEnabled())
        return;  // a scan or repack runs
    const int n = PageControl->count();
    int i = PageControl->currentIndex();
    for (int k = 0; k < n; ++k) {
        i = (i + step + n) % n;
        if (PageControl->isTabVisible(i)) {
            PageControl->setCurrentIndex(i);
            return;
        }
    }
}

void T_Main::UpdateRconWarning() {
    cRconWarning->setVisible(cDedicated->isChecked() && cRconPassword->text().size() < 8);
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
    cRotate->setChecked(o.rotate);
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

void T_Main::Label30Click() {
    m_desktop.OpenUrl(QString::fromLatin1(WebSiteAddress));
}

void T_Main::SetStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < 3)
        StatusPanels[static_cast<size_t>(panel)]->SetText(text);
}

QString T_Main::StatusText(int panel) const {
    return panel >= 0 && panel < 3 ? StatusPanels[static_cast<size_t>(panel)]->text() : QString();
}

}  // namespace fraglane::app
