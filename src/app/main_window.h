#pragma once

#include <QImage>
#include <QMainWindow>
#include <QPixmap>

#include <array>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/list_grid.h"
#include "app/option_bindings.h"
#include "app/qt_owner_thread.h"
#include "app/widgets.h"
#include "archive/pk3_archive.h"
#include "catalogue/catalogue.h"
#include "catalogue/scan.h"
#include "jobs/background_job.h"
#include "launch/compose.h"
#include "launch/launch_files.h"
#include "platform/dir_content.h"
#include "platform/profile_file.h"
#include "preview/picture_watch.h"
#include "repack/repack_job.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace fraglane::server {
struct SupervisorEvent;
}

namespace fraglane::app {

inline constexpr const char* WebSiteAddress = "https://fraglane.github.io/";

// The one window of the program. Control names are those the operator's documentation uses;
// they are public members, as the fields of a form are, so that tests act on them directly.
class T_Main : public QMainWindow {
    Q_OBJECT
public:
    // exeDir: the game directory as program path text, with trailing "\"; iniPath: the
    // settings file. FormCreate runs here; FormDestroy runs when the window is destroyed.
    T_Main(std::string exeDir, std::string iniPath, Desktop& desktop, QWidget* parent = nullptr);
    ~T_Main() override;

    // State fields.
    std::string ExeDir;
    std::string LevelshotsDir;
    std::string TempDir;
    std::unique_ptr<platform::ProfileFile> IniFile;
    bool ComposeReady = false;
    platform::TDirContent DirContent;
    // What the last repack put in and missed, one item a line.
    std::vector<std::string> RepackReport;
    // The window's one archive object, used by one job at a time.
    archive::Pk3Archive KAZip;

    // The background jobs, served by the window's thread.
    QtOwnerThread JobOwner;
    jobs::BackgroundJob ThreadScanMaps{JobOwner};
    jobs::BackgroundJob ThreadGetMapImage{JobOwner};
    jobs::BackgroundJob ThreadRepackMaps{JobOwner};
    // Reads the stored catalogue beside the window at start-up: the window shows at once, and
    // the lists fill when their rows are read and sorted.
    jobs::BackgroundJob ThreadReadCatalogue{JobOwner};

    void Compose();
    void LoadSettings();
    void SaveSettings();
    // Reads the catalogue's lists (all maps, or a mod's) and shows them.
    void LoadCatalogue(const std::string& modFilter);
    void ShowLists(catalogue::Lists lists);
    void StartReadingCatalogue();
    // Ends a start-up read of the catalogue that still runs, without showing its rows.
    void StopReadingCatalogue();
    void ThreadReadCatalogueTerminate(jobs::JobThread& thread, std::any& runData);
    // Selects the rows of the map that "selected map" names, and focuses the last of them.
    void SelectStoredMap();
    void SortLists();
    void UpdateRepackButton();
    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;

    // The option values as the controls hold them now.
    launch::LaunchOptions GatherOptions() const;

    // Event handlers.
    void AllChangeClick();
    void cDedicatedClick();
    // The red warning beside the password: dedicated on and a password shorter than 8.
    void UpdateRconWarning();
    // The next (step 1) or previous (-1) visible upper page.
    void CycleUpperPages(int step);
    // At start-up: the map page's warning judged once on the stored selection.
    void JudgeStoredMapWarning();
    void cSelectedMapChange();
    void cMapChangeNode(int current);
    void btnRescanModesClick();
    void btnShowModMapsClick();
    void btnShowAllMapsClick();
    void btnAddBotClick();
    void btnDelBotsClick();
    void Label30Click();
    void FormKeyDown(int key);
    bool FormCloseQuery();
    // Disables both page areas and starts a scan or repack job; its end handler enables them.
    void StartBusyJob(jobs::BackgroundJob& job);
    void btnRescanMapsClick();
    void ThreadGetMapImageExecute(jobs::JobThread& thread);
    void btnRepackMapsClick();
    void btnAddRotationClick();
    void btnDelRotationClick();
    void MoveRotationLine(int step);
    // Shows the rotation page's warning when the current line's map cannot run in the mod.
    void UpdateRotationWarning();
    void ThreadRepackMapsExecute(jobs::JobThread& thread);
    // Fills the report page with the last repack's report and shows the page.
    void ShowRepackReport();
    // The page of names left out or skipped, filled from what the window knows now; shown
    // when there are any, and brought to the front by a click on the first status panel.
    void UpdateLeftOutPage();
    void ShowLeftOutPage();
    // On the window's thread: shows a picture decoded on the picture job's thread in the
    // request's target (the placeholder when it could not be read).
    void SynchroLoadMapImage(const preview::ImageRequest& request, const QImage& image,
                             bool placeholder);
    void ThreadScanMapsExecute(jobs::JobThread& thread, std::any& runData);
    void ThreadScanMapsTerminate(jobs::JobThread& thread, std::any& runData);
    void ThreadRepackMapsTerminate(jobs::JobThread& thread);
    // For job bodies: sets a status panel on the window's thread, in the order of the calls.
    void QueueStatusText(jobs::JobThread& thread, int panel, const std::string& text);
    // For job bodies: archive done of total, shown at the status bar's right end.
    void QueueProgress(jobs::JobThread& thread, int done, int total);
    void FillDirPopup(const std::string& directory, launch::PopupMode mode);
    void cCfgNameButtonClick();
    void cBatNameButtonClick();
    void PopupDirClick(QAction* item);
    void PopupBatClick(QAction* item);
    void cCfgNameChange();
    void cBatNameChange();
    void btnSaveCfgClick();
    // The red line beside the cfg name: the file that the batch line execs is missing or holds
    // other bytes than the composed config (start saves only the batch file). Judged after each
    // composition, on the window's activation and by a slow timer, for another program may
    // change the file; it never raises.
    void UpdateCfgWarning();
    void btnSaveBatClick();
    void btnStartClick();
    // Where start runs the engine itself: the server page's buttons, its timer, the engine's
    // file chooser.
    void btnStopServerClick();
    void btnRestartServerClick();
    void cConsoleReturn();
    void ServerTick();
    void btnEngineClick();
    std::string ConfigFilePath() const;
    std::string BatchFilePath() const;

    // Layout.
    QWidget* Panel1;
    QTabWidget* PageControl;
    QTabWidget* PageConfig;
    QStatusBar* StatusBar;
    std::array<StatusPanel*, 3> StatusPanels{};
    QProgressBar* JobProgress;

    // Page "game options".
    QWidget* TabGameOptions;
    RadioGroup* cGametype;
    SpinEdit* cTimelimit;
    SpinEdit* cFraglimit;
    SpinEdit* cCapturelimit;
    QCheckBox* cDoWarmup;
    SpinEdit* cWarmup;
    SpinEdit* cMaxGameClients;
    SpinEdit* cWeaponRespawn;
    SpinEdit* cWeaponTeamRespawn;
    SpinEdit* cForceRespawn;
    QCheckBox* cDevmap;
    QCheckBox* cPure;
    QCheckBox* cDedicated;
    QLineEdit* cRconPassword;
    QLabel* cRconWarning;
    QCheckBox* cFriendlyFire;
    SpinEdit* cCom_HunkMegs;
    QCheckBox* cAllowDownload;
    SpinEdit* cInactivity;

    // Page "map".
    QWidget* TabMap;
    QComboBox* cMod;
    QPushButton* btnRescanModes;
    ListGrid* cMap;
    QPushButton* btnRescanMaps;
    QPushButton* btnShowModMaps;
    QPushButton* btnShowAllMaps;
    QPushButton* btnRepackMaps;
    // The repack deflates harder: a smaller archive, written several times slower.
    QCheckBox* cRepackSmallest;
    QLabel* cErrorLoadMapInfo;
    QLineEdit* cSelectedMap;
    QLabel* MapImage;
    QLabel* ImageNone;

    // Page "bots".
    QWidget* TabBots;
    ListGrid* cBot;
    QPushButton* btnRescanBotes;
    QLabel* Label19;
    SpinEdit* cSkill;
    QComboBox* cTeam;
    QPushButton* btnAddBot;
    QPushButton* btnDelBots;
    QListWidget* cSelectedBots;
    QLabel* BotImage;
    QPixmap BotIconNone;  // the bot page's placeholder, as ImageNone holds the map page's

    // Page "display".
    QWidget* TabDisplay;
    QLabel* Label25;
    RadioGroup* cDisplayMode;
    QCheckBox* cFullscreen;
    QCheckBox* cLightmap;
    QCheckBox* cDynamiclight;
    QCheckBox* cFastsky;
    QCheckBox* cVertexLight;

    // Page "advanced".
    QWidget* TabAdvanced;
    QLineEdit* cPre;
    QLineEdit* cPost;
    RadioGroup* cDefragGametype;
    RadioGroup* cMovement;
    QCheckBox* cUseQ3sdc;
    QLineEdit* cEngine;
    QPushButton* btnEngine;
    QCheckBox* cCrashRestart;
    QLabel* RxLabel1;
    QLabel* Label30;

    // Page "rotation".
    QWidget* TabRotation;
    QCheckBox* cRotate;
    QListWidget* cRotationMaps;
    QPushButton* btnAddRotation;
    QPushButton* btnDelRotation;
    QPushButton* btnRotationUp;
    QPushButton* btnRotationDown;
    QLabel* cRotationWarning;

    // Lower pages.
    QWidget* ready;
    QPlainTextEdit* cBat;
    QPlainTextEdit* cCfg;
    EllipsisEdit* cBatName;
    EllipsisEdit* cCfgName;
    QPushButton* btnSaveBat;
    QPushButton* btnSaveCfg;
    QPushButton* btnStart;
    QCheckBox* cMinOnRun;
    QLabel* cCfgWarning;
    QWidget* TabSheetCfg;
    QWidget* TabSheetBat;
    QPlainTextEdit* cLoadedCfg;
    QPlainTextEdit* cLoadedBat;
    // The last repack's report: what went in and what was wanted but not found.
    QWidget* TabSheetReport;
    QPlainTextEdit* cRepackReport;
    // Every name that the texts leave out or the lists skip, each with its reason.
    QWidget* TabSheetLeftOut;
    QPlainTextEdit* cLeftOut;
    // The server that start ran (shown where start runs the engine itself): its status line,
    // stop and restart, and the last lines of its log, following the end.
    QWidget* TabServer;
    QLabel* cServerStatus;
    QPushButton* btnStopServer;
    QPushButton* btnRestartServer;
    QPlainTextEdit* cServerLog;
    QLineEdit* cConsole;
    QMenu* PopupDir;

    // Column indices of the list grids.
    static constexpr int cMapMap = 0;
    static constexpr int cMapMod = 1;
    static constexpr int cBotBot = 0;
    static constexpr int cBotMod = 1;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Larger than its first size, the window gives the extra height to the upper pages, whose
    // lists grow with them (the lower pages keep their rows; their memos take the width); at
    // its first size nothing moves.
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Spin edits and the password edit of the game options keep this width.
    static constexpr int OptionWidth = 60;
    // The upper page area's height at the window's first size.
    static constexpr int UpperPagesHeight = 301;

    void BuildFrame();
    void BuildGameOptionsPage();
    void BuildMapPage();
    void BuildBotsPage();
    void BuildDisplayPage();
    void BuildAdvancedPage();
    void BuildRotationPage();
    void BuildReadyPage();
    void BuildServerPage();
    void SetTabOrder();
    // The server watch: the supervisor of the game directory's server and its timer.
    struct ServerWatch;
    // Shows the server page where start runs the engine, finds a server that runs already and
    // starts the watch's timer.
    void SetUpServerWatch();
    // The composed line's engine words and the watcher's options; throws Error.
    std::vector<std::string> ServerStartWords();
    void ShowServerEvents(const std::vector<server::SupervisorEvent>& events);
    void ShowServerStatus();
    // The option controls with the fields of the launch options they hold.
    void BindOptions();
    void Connect();
    void FormCreate();
    void FormDestroy();
    // Runs an event handler; what it raises goes to the standard error box.
    template <typename F>
    void Guarded(F&& handler) {
        try {
            handler();
        } catch (const std::exception& e) {
            ShowFailure(e);
        }
    }
    void ShowFailure(const std::exception& e);

    Desktop& m_desktop;
    std::vector<OptionBinding> m_bindings;
    // What the running scan works from: copied on the window's thread before it starts.
    catalogue::ScanInputs m_scanInputs;
    // The same for the running repack, and what it reports.
    repack::RepackInputs m_repackInputs;
    bool m_repackFailed = false;
    bool m_destroyed = false;
    // What the left-out page lists: the launch texts' left-out names (as of the last
    // composition), the mod folders or stored mods skipped, the map and bot names skipped.
    std::vector<std::string> m_composeLeftOut;
    std::vector<std::string> m_modsSkipped;
    std::vector<std::string> m_rowsSkipped;
    std::vector<std::string> m_scanSkipped;  // the running scan's, for its end handler
    // A stored mod that the list does not hold: written back as it was unless a mod is chosen.
    std::string m_unlistedMod;
    // The map and cfg name as the settings file gave them: checked before they go into the
    // launch texts, while the controls hold them; what the operator types goes in as typed.
    std::string m_storedMap;
    std::string m_storedCfgName = "unknown.cfg";
    std::string m_storedRcon;
    // The last composed texts: what the memos show, and what "save" and "start" write (a
    // memo's own text would turn U+2028 and its kin into line breaks).
    launch::LaunchTexts m_texts;
    std::unique_ptr<ServerWatch> m_server;
    QTimer* m_cfgWatch = nullptr;  // judges the cfg warning again now and then
};

}  // namespace fraglane::app
