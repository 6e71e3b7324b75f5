#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/pictures.h"
#include "app/qt_convert.h"
#include "catalogue/catalogue.h"
#include "catalogue/mods.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace fraglane::app {

namespace {

constexpr int MinWidth = 674;
constexpr int MinHeight = 575;

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* FlatButton(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setFlat(true);
    button->setAutoDefault(false);
    return button;
}

template <typename W>
W* Named(W* widget, const char* name, const QString& hint = QString()) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        widget->setToolTip(hint);
    return widget;
}

SpinEdit* Spin(QWidget* parent, const char* name, const QString& hint) {
    return Named(new SpinEdit(parent), name, hint);
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& caption,
                 const QString& hint = QString()) {
    return Named(new QCheckBox(caption, parent), name, hint);
}

void SetTextIfChanged(QPlainTextEdit* memo, const QString& text) {
    if (memo->toPlainText() != text)
        memo->setPlainText(text);
}

void SetTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

}  // namespace

T_Main::T_Main(std::string exeDir, std::string iniPath, Desktop& desktop, QWidget* parent)
    : QMainWindow(parent), ExeDir(std::move(exeDir)), m_desktop(desktop) {
    setObjectName(QStringLiteral("_Main"));
    setWindowTitle(QStringLiteral("Fraglane"));
    setMinimumSize(MinWidth, MinHeight);
    move(327, 173);
    resize(MinWidth, MinHeight);
    // Black behind the panel; the panel itself keeps the system's colours.
    setStyleSheet(QStringLiteral("QMainWindow { background-color: black; }"));

    Panel1 = Named(new QWidget(this), "Panel1");
    Panel1->setAutoFillBackground(true);
    QFont font;
    font.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setPointSize(8);
    Panel1->setFont(font);
    setCentralWidget(Panel1);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);

    PageControl = Named(new QTabWidget(Panel1), "PageControl");
    PageControl->setFixedHeight(301);
    PageControl->setIconSize(QSize(64, 64));
    PageControl->setDocumentMode(true);
    PageControl->setUsesScrollButtons(false);
    // Five 64-pixel pictures with their captions must fit the window's minimum width.
    PageControl->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 2px 3px; }"));
    panelLayout->addWidget(PageControl);

    PageConfig = Named(new QTabWidget(Panel1), "PageConfig");
    PageConfig->setTabPosition(QTabWidget::South);
    panelLayout->addWidget(PageConfig, 1);

    StatusBar = Named(new QStatusBar(this), "StatusBar");
    StatusBar->setSizeGripEnabled(true);
    const int widths[3] = {250, 100, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[static_cast<size_t>(i)] = new QLabel(StatusBar);
        StatusPanels[static_cast<size_t>(i)]->setFixedWidth(widths[i]);
        StatusPanels[static_cast<size_t>(i)]->setFrameShape(QFrame::Panel);
        StatusPanels[static_cast<size_t>(i)]->setFrameShadow(QFrame::Sunken);
        StatusBar->addWidget(StatusPanels[static_cast<size_t>(i)]);
    }
    setStatusBar(StatusBar);

    BuildGameOptionsPage();
    BuildMapPage();
    BuildBotsPage();
    BuildDisplayPage();
    BuildAdvancedPage();
    BuildReadyPage();
    Connect();
    IniFile = std::make_unique<platform::ProfileFile>(std::move(iniPath));
    ThreadScanMaps.OnTerminate = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any&) {
        ThreadScanMapsTerminate(t);
    };
    ThreadRepackMaps.OnTerminate = [this](jobs::BackgroundJob&, jobs::JobThread& t, std::any&) {
        ThreadRepackMapsTerminate(t);
    };
    for (jobs::BackgroundJob* job : {&ThreadScanMaps, &ThreadGetMapImage, &ThreadRepackMaps}) {
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

template <typename F>
void T_Main::Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        m_desktop.ShowError(this, ToQt(e.what()));
    }
}

void T_Main::BuildGameOptionsPage() {
    TabGameOptions = Named(new QWidget, "TabGameOptions");
    auto* grid = new QGridLayout(TabGameOptions);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);
    QWidget* p = TabGameOptions;

    cGametype =
        Named(new RadioGroup(QStringLiteral("  gametype  "),
                             {QStringLiteral("free for all"), QStringLiteral("tournament 1 on 1"),
                              QStringLiteral("single player"), QStringLiteral("team deathmatch"),
                              QStringLiteral("capture the flag"), QStringLiteral("one flag ctf"),
                              QStringLiteral("overload"), QStringLiteral("harvester")},
                             2, p),
              "cGametype", QStringLiteral("g_gametype"));
    cGametype->setItemIndex(0);
    grid->addWidget(cGametype, 0, 0, 4, 2);

    cTimelimit = Spin(p, "cTimelimit", QStringLiteral("timelimit (minutes)"));
    cFraglimit = Spin(p, "cFraglimit", QStringLiteral("fraglimit"));
    cCapturelimit = Spin(p, "cCapturelimit", QStringLiteral("capturelimit"));
    cDoWarmup = Check(p, "cDoWarmup", QStringLiteral("warmup"), QStringLiteral("g_dowarmup"));
    cWarmup = Spin(p, "cWarmup", QStringLiteral("g_warmup (minutes)"));
    cMaxGameClients =
        Spin(p, "cMaxGameClients", QStringLiteral("g_maxGameClients & sv_maxclients"));
    cWeaponRespawn = Spin(p, "cWeaponRespawn", QStringLiteral("g_weaponrespawn (seconds)"));
    cWeaponTeamRespawn =
        Spin(p, "cWeaponTeamRespawn", QStringLiteral("g_weaponTeamrespawn (seconds)"));
    cForceRespawn = Spin(p, "cForceRespawn", QStringLiteral("g_forcerespawn (seconds)"));
    cDevmap = Check(p, "cDevmap", QStringLiteral("cheats"), QStringLiteral("devmap"));
    cPure = Check(p, "cPure", QStringLiteral("pure"),
                  QStringLiteral("sv_pure (if 1 maps used only in pk3 files)"));
    cDedicated = Check(p, "cDedicated", QStringLiteral("dedicated"),
                       QStringLiteral("dedicated (server console mode)"));
    cRconPassword = Named(new QLineEdit(ToQt(settings::RconPlaceholder), p), "cRconPassword",
                          QStringLiteral("rconpassword"));
    cFriendlyFire = Check(p, "cFriendlyFire", QStringLiteral("friendly fire"),
                          QStringLiteral("g_friendlyFire (0 for safe)"));
    cCom_HunkMegs =
        Spin(p, "cCom_HunkMegs", QStringLiteral("com_hunkMegs (memory for quake in Mb)"));
    cAllowDownload = Check(p, "cAllowDownload", QStringLiteral("allow download"),
                           QStringLiteral("sv_allowDownload"));
    cInactivity = Spin(p, "cInactivity", QStringLiteral("g_inactivity"));

    auto labelled = [&](int row, int col, const QString& caption, QWidget* w) {
        grid->addWidget(Caption(caption, w, p), row, col);
        grid->addWidget(w, row, col + 1);
    };
    labelled(0, 2, QStringLiteral("timelimit"), cTimelimit);
    labelled(1, 2, QStringLiteral("fraglimit"), cFraglimit);
    labelled(2, 2, QStringLiteral("capturelimit"), cCapturelimit);
    grid->addWidget(cDoWarmup, 3, 2);
    grid->addWidget(cWarmup, 3, 3);
    labelled(4, 2, QStringLiteral("max clients"), cMaxGameClients);
    labelled(5, 2, QStringLiteral("memory"), cCom_HunkMegs);
    labelled(0, 4, QStringLiteral("weapon respawn time"), cWeaponRespawn);
    labelled(1, 4, QStringLiteral("weapon team respawn time"), cWeaponTeamRespawn);
    labelled(2, 4, QStringLiteral("player force respawn"), cForceRespawn);
    labelled(3, 4, QStringLiteral("inactive time before kicked"), cInactivity);
    labelled(4, 4, QStringLiteral("rconpassword"), cRconPassword);
    grid->addWidget(cDevmap, 4, 0);
    grid->addWidget(cPure, 4, 1);
    grid->addWidget(cDedicated, 5, 0);
    grid->addWidget(cFriendlyFire, 5, 1);
    grid->addWidget(cAllowDownload, 5, 4);
    grid->setRowStretch(6, 1);
    // The captions take the room the option controls leave: spin edits keep a fixed width.
    for (SpinEdit* spin :
         {cTimelimit, cFraglimit, cCapturelimit, cWarmup, cMaxGameClients, cCom_HunkMegs,
          cWeaponRespawn, cWeaponTeamRespawn, cForceRespawn, cInactivity}) {
        spin->setFixedWidth(60);
    }
    cRconPassword->setFixedWidth(60);
    cGametype->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    grid->setColumnStretch(4, 1);
    PageControl->addTab(TabGameOptions, QIcon(PagePicture(0)), QStringLiteral("game options"));
}

void T_Main::BuildMapPage() {
    TabMap = Named(new QWidget, "TabMap");
    QWidget* p = TabMap;
    auto* row = new QHBoxLayout(p);
    row->setContentsMargins(4, 2, 4, 2);

    auto* left = new QGridLayout;
    left->setVerticalSpacing(2);
    cMod = Named(new QComboBox(p), "cMod", QStringLiteral("fs_game"));
    cMod->setEditable(false);
    btnRescanModes = Named(FlatButton(QStringLiteral("rescan mods"), p), "btnRescanModes");
    left->addWidget(Caption(QStringLiteral("mod"), cMod, p), 0, 0);
    left->addWidget(cMod, 0, 1);
    left->addWidget(btnRescanModes, 0, 2);

    cMap = Named(new ListGrid(p), "cMap", QStringLiteral("map (devmap)"));
    cMap->setHeaderLabels({QStringLiteral("map"), QStringLiteral("mod")});
    cMap->setColumnWidth(cMapMap, 112);
    cMap->setColumnWidth(cMapMod, 67);
    left->addWidget(cMap, 1, 0, 1, 3);

    cSelectedMap = Named(new QLineEdit(p), "cSelectedMap");
    left->addWidget(Caption(QStringLiteral("selected map"), cSelectedMap, p), 2, 0);
    left->addWidget(cSelectedMap, 2, 1, 1, 2);
    row->addLayout(left, 3);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    btnRescanMaps = Named(FlatButton(QStringLiteral("rescan maps"), p), "btnRescanMaps");
    btnShowModMaps = Named(FlatButton(QStringLiteral("show mod maps"), p), "btnShowModMaps");
    btnShowAllMaps = Named(FlatButton(QStringLiteral("show all maps"), p), "btnShowAllMaps");
    btnRepackMaps = Named(FlatButton(QStringLiteral("repack maps"), p), "btnRepackMaps",
                          QStringLiteral("repack selected maps to single .pk3 file"));
    cErrorLoadMapInfo =
        Named(new QLabel(QStringLiteral("this map cannot be\nloaded in this mod"), p),
              "cErrorLoadMapInfo");
    cErrorLoadMapInfo->setAlignment(Qt::AlignCenter);
    cErrorLoadMapInfo->setStyleSheet(QStringLiteral("color: red;"));
    for (QWidget* w : {static_cast<QWidget*>(btnRescanMaps), static_cast<QWidget*>(btnShowModMaps),
                       static_cast<QWidget*>(btnShowAllMaps), static_cast<QWidget*>(btnRepackMaps),
                       static_cast<QWidget*>(cErrorLoadMapInfo)}) {
        buttons->addWidget(w);
    }
    buttons->addStretch(1);
    row->addLayout(buttons, 1);

    MapImage = Named(new QLabel(p), "MapImage");
    MapImage->setFixedSize(306, 221);
    MapImage->setScaledContents(true);
    ImageNone = Named(new QLabel(p), "ImageNone");
    ImageNone->setFixedSize(128, 128);
    ImageNone->setPixmap(PlaceholderPicture());
    ImageNone->hide();
    row->addWidget(MapImage, 0, Qt::AlignTop);
    PageControl->addTab(TabMap, QIcon(PagePicture(1)), QStringLiteral("map"));
}

void T_Main::BuildBotsPage() {
    TabBots = Named(new QWidget, "TabBots");
    QWidget* p = TabBots;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);

    cBot = Named(new ListGrid(p), "cBot");
    cBot->setHeaderLabels({QStringLiteral("bot"), QStringLiteral("mod")});
    cBot->setColumnWidth(cBotBot, 112);
    cBot->setColumnWidth(cBotMod, 67);
    grid->addWidget(Caption(QStringLiteral("bots"), cBot, p), 0, 0);
    grid->addWidget(cBot, 1, 0, 6, 1);

    btnRescanBotes = Named(FlatButton(QStringLiteral("rescan"), p), "btnRescanBotes");
    Label19 = Named(
        new QLabel(
            QStringLiteral("bot cannot be used\r\noutside his mod, \r\nexcept standart bots"), p),
        "Label19");
    Label19->setAlignment(Qt::AlignCenter);
    Label19->setStyleSheet(QStringLiteral("color: blue;"));
    cSkill = Spin(p, "cSkill", QStringLiteral("skill"));
    cSkill->setValue(1);
    cTeam = Named(new QComboBox(p), "cTeam", QStringLiteral("team"));
    cTeam->setEditable(true);
    cTeam->addItems({QStringLiteral("red"), QStringLiteral("blue")});
    cTeam->setCurrentText(QStringLiteral("blue"));
    btnAddBot = Named(FlatButton(QStringLiteral("add"), p), "btnAddBot");
    btnDelBots = Named(FlatButton(QStringLiteral("remove"), p), "btnDelBots");

    grid->addWidget(btnRescanBotes, 1, 1, 1, 2);
    grid->addWidget(Label19, 2, 1, 1, 2);
    grid->addWidget(Caption(QStringLiteral("skill (1 - 5)"), cSkill, p), 3, 1);
    grid->addWidget(cSkill, 3, 2);
    grid->addWidget(Caption(QStringLiteral("team"), cTeam, p), 4, 1);
    grid->addWidget(cTeam, 4, 2);
    grid->addWidget(btnAddBot, 5, 1);
    grid->addWidget(btnDelBots, 5, 2);

    cSelectedBots = Named(new QListWidget(p), "cSelectedBots");
    cSelectedBots->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->addWidget(Caption(QStringLiteral("selected bots"), cSelectedBots, p), 0, 3);
    grid->addWidget(cSelectedBots, 1, 3, 6, 1);

    BotImage = Named(new QLabel(p), "BotImage");
    BotImage->setFixedSize(89, 93);
    BotImage->setScaledContents(true);
    grid->addWidget(BotImage, 1, 4, 3, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(3, 2);
    PageControl->addTab(TabBots, QIcon(PagePicture(2)), QStringLiteral("bots"));
}

void T_Main::BuildDisplayPage() {
    TabDisplay = Named(new QWidget, "TabDisplay");
    QWidget* p = TabDisplay;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(6, 2, 6, 2);
    Label25 = Named(new QLabel(QStringLiteral("settings on this page used when dedicated = 0"), p),
                    "Label25");
    Label25->setAlignment(Qt::AlignCenter);
    Label25->setStyleSheet(QStringLiteral("color: blue;"));
    grid->addWidget(Label25, 0, 0, 1, 2);
    cDisplayMode =
        Named(new RadioGroup(QStringLiteral("  resolution  "),
                             {QStringLiteral("320 x 240"), QStringLiteral("400 x 300"),
                              QStringLiteral("512 x 384"), QStringLiteral("640 x 480"),
                              QStringLiteral("800 x 600"), QStringLiteral("960 x 720"),
                              QStringLiteral("1024 x 768"), QStringLiteral("1152 x 864"),
                              QStringLiteral("1280 x 1024"), QStringLiteral("1600 x 1200"),
                              QStringLiteral("2048 x 1536"), QStringLiteral("856 x 480 ")},
                             2, p),
              "cDisplayMode", QStringLiteral("r_mode"));
    cDisplayMode->setItemIndex(4);
    grid->addWidget(cDisplayMode, 1, 0, 6, 1);
    cFullscreen =
        Check(p, "cFullscreen", QStringLiteral("fullscreen"), QStringLiteral("r_fullscreen"));
    cLightmap = Check(p, "cLightmap", QStringLiteral("lightmap (no texture)"),
                      QStringLiteral("r_lightmap"));
    cDynamiclight = Check(p, "cDynamiclight", QStringLiteral("dynamic light"),
                          QStringLiteral("r_dynamiclight"));
    cFastsky = Check(p, "cFastsky", QStringLiteral("fast sky"),
                     QStringLiteral("r_fastsky (no skies, no throw teleport view)"));
    cVertexLight =
        Check(p, "cVertexLight", QStringLiteral("vertex light"), QStringLiteral("r_vertexLight"));
    int r = 1;
    for (QCheckBox* c : {cFullscreen, cLightmap, cDynamiclight, cFastsky, cVertexLight}) {
        grid->addWidget(c, r++, 1);
    }
    grid->setRowStretch(6, 1);
    PageControl->addTab(TabDisplay, QIcon(PagePicture(3)), QStringLiteral("display"));
}

void T_Main::BuildAdvancedPage() {
    TabAdvanced = Named(new QWidget, "TabAdvanced");
    QWidget* p = TabAdvanced;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(2);
    cPre = Named(new QLineEdit(p), "cPre");
    cPost = Named(new QLineEdit(p), "cPost");
    grid->addWidget(Caption(QStringLiteral("pre command"), cPre, p), 0, 0);
    grid->addWidget(cPre, 0, 1, 1, 2);
    grid->addWidget(Caption(QStringLiteral("post command"), cPost, p), 1, 0);
    grid->addWidget(cPost, 1, 1, 1, 2);
    cDefragGametype =
        Named(new RadioGroup(QStringLiteral("  defrag gametype  "),
                             {QStringLiteral("defrag vq3"), QStringLiteral("defrag cpm"),
                              QStringLiteral("trick mode"), QStringLiteral("fast caps")},
                             1, p),
              "cDefragGametype", QStringLiteral("df_gametype"));
    cDefragGametype->setItemIndex(0);
    cMovement = Named(
        new RadioGroup(
            QStringLiteral("  movement  "),
            {QStringLiteral("no change"),
             QStringLiteral("speed (pmove_fixed 1, pmove_msec 8, g_synchronousClients 0) defrag"),
             QStringLiteral("sync (sv_maxfps 125, g_synchronousClients 1, pmove_fixed 1, "
                            "pmove_msec 4) mountain")},
            1, p),
        "cMovement");
    cMovement->setItemIndex(0);
    grid->addWidget(cDefragGametype, 2, 0, 3, 1);
    grid->addWidget(cMovement, 2, 1, 2, 2);
    cUseQ3sdc = Check(p, "cUseQ3sdc", QStringLiteral("use q3sdc demo record"));
    grid->addWidget(cUseQ3sdc, 4, 1);
    RxLabel1 = Named(new QLabel(QStringLiteral("Fraglane 1.7"), p), "RxLabel1");
    Label30 = Named(new QLabel(QStringLiteral("<u>Web Site</u>"), p), "Label30");
    for (QLabel* l : {RxLabel1, Label30}) {
        l->setStyleSheet(QStringLiteral("color: #6F6F6F;"));
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);
    }
    Label30->setCursor(Qt::PointingHandCursor);
    grid->addWidget(RxLabel1, 4, 2, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(Label30, 5, 2, Qt::AlignRight | Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    PageControl->addTab(TabAdvanced, QIcon(PagePicture(4)), QStringLiteral("advanced"));
}

void T_Main::BuildReadyPage() {
    ready = Named(new QWidget, "ready");
    QWidget* p = ready;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    cBat = Named(new QPlainTextEdit(p), "cBat");
    cBat->setReadOnly(true);
    cBat->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    cBat->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    cBat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cCfg = Named(new QPlainTextEdit(p), "cCfg");
    cCfg->setReadOnly(true);
    cCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    cCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cBatName = Named(new EllipsisEdit(p), "cBatName");
    cCfgName = Named(new EllipsisEdit(p), "cCfgName");
    btnSaveBat = Named(FlatButton(QStringLiteral("save bat"), p), "btnSaveBat");
    btnSaveCfg = Named(FlatButton(QStringLiteral("save cfg"), p), "btnSaveCfg");
    btnStart = Named(FlatButton(QStringLiteral("start"), p), "btnStart");
    cMinOnRun = Check(p, "cMinOnRun", QStringLiteral("minimize on start"));

    grid->addWidget(Caption(QStringLiteral("command line"), cBat, p), 0, 0);
    grid->addWidget(cBat, 1, 0, 5, 1);
    grid->addWidget(Caption(QStringLiteral("exec config"), cCfg, p), 0, 1);
    grid->addWidget(cCfg, 1, 1, 5, 1);
    grid->addWidget(Caption(QStringLiteral("bat name"), cBatName, p), 0, 2);
    grid->addWidget(cBatName, 1, 2, 1, 2);
    grid->addWidget(Caption(QStringLiteral("cfg name"), cCfgName, p), 2, 2);
    grid->addWidget(cCfgName, 3, 2, 1, 2);
    grid->addWidget(btnSaveBat, 4, 2);
    grid->addWidget(btnSaveCfg, 4, 3);
    grid->addWidget(btnStart, 5, 2);
    grid->addWidget(cMinOnRun, 5, 3);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    PageConfig->addTab(ready, QStringLiteral("ready"));

    TabSheetCfg = Named(new QWidget, "TabSheetCfg");
    cLoadedCfg = Named(new QPlainTextEdit(TabSheetCfg), "cLoadedCfg");
    cLoadedCfg->setReadOnly(true);
    cLoadedCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    (new QVBoxLayout(TabSheetCfg))->addWidget(cLoadedCfg);
    TabSheetBat = Named(new QWidget, "TabSheetBat");
    cLoadedBat = Named(new QPlainTextEdit(TabSheetBat), "cLoadedBat");
    cLoadedBat->setReadOnly(true);
    (new QVBoxLayout(TabSheetBat))->addWidget(cLoadedBat);
    PageConfig->addTab(TabSheetCfg, QString());
    PageConfig->addTab(TabSheetBat, QString());

    PopupDir = Named(new QMenu(this), "PopupDir");
}

void T_Main::Connect() {
    auto all = [this] { AllChangeClick(); };
    for (SpinEdit* s :
         {cTimelimit, cFraglimit, cCapturelimit, cWarmup, cMaxGameClients, cWeaponRespawn,
          cWeaponTeamRespawn, cForceRespawn, cCom_HunkMegs, cInactivity}) {
        connect(s, &SpinEdit::changed, this, all);
    }
    for (QCheckBox* c : {cDoWarmup, cDevmap, cPure, cFriendlyFire, cAllowDownload, cFullscreen,
                         cLightmap, cDynamiclight, cFastsky, cVertexLight, cUseQ3sdc}) {
        connect(c, &QCheckBox::toggled, this, all);
    }
    for (RadioGroup* r : {cGametype, cDisplayMode, cDefragGametype, cMovement}) {
        connect(r, &RadioGroup::changed, this, all);
    }
    for (QLineEdit* e : {cRconPassword, cPre, cPost}) {
        connect(e, &QLineEdit::textChanged, this, all);
    }
    connect(cDedicated, &QCheckBox::toggled, this, [this] { cDedicatedClick(); });
    connect(cMod, &QComboBox::currentIndexChanged, this, [this] { cSelectedMapChange(); });
    connect(cSelectedMap, &QLineEdit::textChanged, this, [this] { cSelectedMapChange(); });
    connect(cMap, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { cMapChangeNode(current); });
    connect(cMap, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateRepackButton(); });
    connect(cMap, &ListGrid::mousePressed, this, [this] { UpdateRepackButton(); });
    connect(cMap, &ListGrid::keyPressed, this, [this] { UpdateRepackButton(); });
    connect(btnRescanModes, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnRescanModesClick(); }); });
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
    connect(btnAddBot, &QPushButton::clicked, this, [this] { btnAddBotClick(); });
    connect(btnDelBots, &QPushButton::clicked, this, [this] { btnDelBotsClick(); });
}

bool T_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label30 && event->type() == QEvent::MouseButtonRelease) {
        Label30Click();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        // A key that the focused control leaves may pass here again on its way to the parents;
        // what FormKeyDown does (asking jobs to stop) may be done twice.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            FormKeyDown(static_cast<QKeyEvent*>(event)->key());
        }
        return false;  // the key is not consumed
    }
    return QMainWindow::eventFilter(watched, event);
}

void T_Main::FormCreate() {
    ComposeReady = false;
    LevelshotsDir = ExeDir + "levelshots\\";
    TempDir = ExeDir + "temp\\";
    platform::ForceDirectories(LevelshotsDir);
    platform::ForceDirectories(TempDir);
    PageControl->setCurrentIndex(0);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetCfg), false);
    PageConfig->setTabVisible(PageConfig->indexOf(TabSheetBat), false);
    PageConfig->setCurrentIndex(0);
    DirContent.SetActive(true);
    Guarded([this] { LoadSettings(); });
    ThreadGetMapImage.Start();
    ComposeReady = true;
    Compose();
}

void T_Main::FormDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    qApp->removeEventFilter(this);
    // No job outlives what it uses: every one that runs is stopped and waited for, with the
    // window's thread serving their hand-overs, before the settings are saved.
    ThreadGetMapImage.Stop();
    ThreadScanMaps.Stop();
    ThreadRepackMaps.Stop();
    ThreadGetMapImage.WaitFor();
    ThreadScanMaps.WaitFor();
    ThreadRepackMaps.WaitFor();
    Guarded([this] { SaveSettings(); });
    IniFile.reset();
}

void T_Main::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
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

void T_Main::ThreadRepackMapsTerminate(jobs::JobThread& thread) {
    PageControl->setEnabled(true);
    PageConfig->setEnabled(true);
    if (thread.Terminated()) {
        SetStatusText(0, QStringLiteral("cancelled"));
        SetStatusText(2, QString());
    } else {
        SetStatusText(0, QStringLiteral("repack done"));  // panel 2 keeps the path written
    }
    SetStatusText(1, QString());
}

void T_Main::QueueStatusText(jobs::JobThread& thread, int panel, const std::string& text) {
    thread.Queue([this, panel, text = ToQt(text)] { SetStatusText(panel, text); });
}

launch::LaunchOptions T_Main::GatherOptions() const {
    launch::LaunchOptions o;
    o.gametype = cGametype->itemIndex();
    o.timelimit = cTimelimit->value();
    o.fraglimit = cFraglimit->value();
    o.capturelimit = cCapturelimit->value();
    o.doWarmup = cDoWarmup->isChecked();
    o.warmup = cWarmup->value();
    o.maxGameClients = cMaxGameClients->value();
    o.devmap = cDevmap->isChecked();
    o.pure = cPure->isChecked();
    o.dedicated = cDedicated->isChecked();
    o.rconPassword = ToStd(cRconPassword->text());
    o.friendlyFire = cFriendlyFire->isChecked();
    o.weaponRespawn = cWeaponRespawn->value();
    o.weaponTeamRespawn = cWeaponTeamRespawn->value();
    o.forceRespawn = cForceRespawn->value();
    o.hunkMegs = cCom_HunkMegs->value();
    o.allowDownload = cAllowDownload->isChecked();
    o.inactivity = cInactivity->value();
    o.mod = ToStd(cMod->currentText());
    o.selectedMap = ToStd(cSelectedMap->text());
    for (int i = 0; i < cSelectedBots->count(); ++i) {
        o.selectedBots.push_back(ToStd(cSelectedBots->item(i)->text()));
    }
    o.displayMode = cDisplayMode->itemIndex();
    o.fullscreen = cFullscreen->isChecked();
    o.dynamiclight = cDynamiclight->isChecked();
    o.fastsky = cFastsky->isChecked();
    o.lightmap = cLightmap->isChecked();
    o.vertexLight = cVertexLight->isChecked();
    o.cfgName = ToStd(cCfgName->text());
    o.useQ3sdc = cUseQ3sdc->isChecked();
    o.pre = ToStd(cPre->text());
    o.post = ToStd(cPost->text());
    o.defragGametype = cDefragGametype->itemIndex();
    o.movement = cMovement->itemIndex();
    return o;
}

void T_Main::Compose() {
    if (!ComposeReady)
        return;
    const launch::LaunchTexts texts = launch::Compose(GatherOptions());
    SetTextIfChanged(cBat, ToQt(texts.commandLine));
    SetTextIfChanged(cBatName, ToQt(texts.batchName));
    // Keep the reader's place: the same first line is visible after the lines are replaced.
    QScrollBar* bar = cCfg->verticalScrollBar();
    const int firstVisible = bar->value();
    cCfg->setPlainText(ToQt(texts.configLines).join(QLatin1Char('\n')));
    bar->setValue(firstVisible);
}

void T_Main::AllChangeClick() {
    Compose();
}

void T_Main::cDedicatedClick() {
    PageControl->setTabVisible(PageControl->indexOf(TabDisplay), !cDedicated->isChecked());
    Compose();
}

void T_Main::LoadSettings() {
    const settings::WindowPlacement current{x(), y(), width(), height()};
    const settings::Settings s = settings::LoadSettings(*IniFile, current);
    const launch::LaunchOptions& o = s.options;

    move(s.placement.left, s.placement.top);
    resize(std::max(s.placement.width, MinWidth), std::max(s.placement.height, MinHeight));

    cMod->clear();
    const std::vector<std::string> mods = catalogue::ReadModList(*IniFile);
    for (const std::string& mod : mods)
        cMod->addItem(ToQt(mod));
    cMod->setCurrentIndex(-1);
    const auto chosen = std::find(mods.begin(), mods.end(), s.selectedMod);
    if (chosen != mods.end())
        cMod->setCurrentIndex(static_cast<int>(chosen - mods.begin()));

    LoadCatalogue(std::string());

    cSelectedMap->setText(ToQt(o.selectedMap));
    const QString selectedMap = cSelectedMap->text();
    for (int i = 0; i < cMap->RowCount(); ++i) {
        QTreeWidgetItem* row = cMap->Row(i);
        if (row->text(cMapMap) == selectedMap) {
            cMap->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
            row->setSelected(true);
        }
    }

    cGametype->setItemIndex(o.gametype);
    cTimelimit->setValue(o.timelimit);
    cFraglimit->setValue(o.fraglimit);
    cCapturelimit->setValue(o.capturelimit);
    cDoWarmup->setChecked(o.doWarmup);
    cWarmup->setValue(o.warmup);
    cMaxGameClients->setValue(o.maxGameClients);
    cDevmap->setChecked(o.devmap);
    cPure->setChecked(o.pure);
    cDedicated->setChecked(o.dedicated);
    cRconPassword->setText(ToQt(o.rconPassword));
    cFriendlyFire->setChecked(o.friendlyFire);
    cWeaponRespawn->setValue(o.weaponRespawn);
    cWeaponTeamRespawn->setValue(o.weaponTeamRespawn);
    cForceRespawn->setValue(o.forceRespawn);
    cCom_HunkMegs->setValue(o.hunkMegs);
    cAllowDownload->setChecked(o.allowDownload);
    cInactivity->setValue(o.inactivity);

    cSkill->setValue(s.skill);
    cTeam->setCurrentText(ToQt(s.team));
    cSelectedBots->clear();
    cSelectedBots->addItems(ToQt(o.selectedBots));

    cDisplayMode->setItemIndex(o.displayMode);
    cFullscreen->setChecked(o.fullscreen);
    cDynamiclight->setChecked(o.dynamiclight);
    cFastsky->setChecked(o.fastsky);
    cLightmap->setChecked(o.lightmap);
    cVertexLight->setChecked(o.vertexLight);

    cCfgName->setText(ToQt(o.cfgName));

    cUseQ3sdc->setChecked(o.useQ3sdc);
    cPre->setText(ToQt(o.pre));
    cPost->setText(ToQt(o.post));
    cDefragGametype->setItemIndex(o.defragGametype);
    cMovement->setItemIndex(o.movement);
    cMinOnRun->setChecked(s.minOnStart);
}

void T_Main::SaveSettings() {
    settings::Settings s;
    s.placement = {x(), y(), width(), height()};
    s.selectedMod = ToStd(cMod->currentText());
    s.options = GatherOptions();
    s.skill = cSkill->value();
    s.team = ToStd(cTeam->currentText());
    s.minOnStart = cMinOnRun->isChecked();
    settings::SaveSettings(*IniFile, s);
}

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
    const std::vector<std::string> mods = catalogue::DiscoverMods(DirContent, ExeDir);
    for (const std::string& mod : mods)
        cMod->addItem(ToQt(mod));
    cMod->setCurrentIndex(cMod->findText(previous, Qt::MatchExactly | Qt::MatchCaseSensitive));
    catalogue::WriteModCatalogue(*IniFile, mods);
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
    const std::string m = ToStd(focused->text(cMapMod));
    const bool warn = !text::EqualsIgnoreCase(m, "baseq3") &&
                      !text::EqualsIgnoreCase(m, ToStd(cMod->currentText()));
    cErrorLoadMapInfo->setVisible(warn);
}

void T_Main::btnAddBotClick() {
    const std::string skill = std::to_string(cSkill->value());
    const std::string team = ToStd(cTeam->currentText());
    for (QTreeWidgetItem* row : cBot->SelectedRows()) {
        cSelectedBots->addItem(
            ToQt("addbot " + ToStd(row->text(cBotBot)) + " " + skill + " " + team));
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

void T_Main::Label30Click() {
    m_desktop.OpenUrl(QString::fromLatin1(WebSiteAddress));
}

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
    FillDirPopup(ExeDir + ToStd(cMod->currentText()) + "\\", launch::PopupMode::Config);
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
    launch::SaveConfigFile(ConfigFilePath(), ToStd(cCfg->toPlainText().split(QLatin1Char('\n'))));
    cCfgNameChange();
}

void T_Main::btnSaveBatClick() {
    launch::SaveBatchFile(BatchFilePath(), ToStd(cBat->toPlainText()));
    cBatNameChange();
}

void T_Main::btnStartClick() {
    if (cMinOnRun->isChecked())
        showMinimized();
    btnSaveBatClick();
    m_desktop.OpenFile(cBatName->text(), ToQt(platform::ToNative(ExeDir)));
}

void T_Main::SetStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < 3)
        StatusPanels[static_cast<size_t>(panel)]->setText(text);
}

QString T_Main::StatusText(int panel) const {
    return panel >= 0 && panel < 3 ? StatusPanels[static_cast<size_t>(panel)]->text() : QString();
}

}  // namespace fraglane::app
