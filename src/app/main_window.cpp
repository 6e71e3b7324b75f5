#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
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

// How often the cfg warning looks at the file again: one small read.
constexpr int CfgWatchMilliseconds = 2000;

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
