// The pages of the window: every control with its name, caption, hint and first value.
#include "app/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "app/qt_convert.h"
#include "catalogue/catalogue.h"
#include "platform/process.h"
#include "settings/options.h"
#include "settings/settings.h"

namespace fraglane::app {

namespace {

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* FlatButton(const QString& caption, QWidget* parent) {
    return new FlatPushButton(caption, parent);
}

// Names a control; an option's control takes the hint of its option row.
template <typename W>
W* Named(W* widget, const char* name, const QString& hint = QString()) {
    widget->setObjectName(QString::fromLatin1(name));
    const settings::OptionRow* option = settings::OptionOfControl(name);
    const QString shown = option != nullptr ? QString::fromLatin1(option->hint) : hint;
    if (!shown.isEmpty())
        widget->setToolTip(shown);
    return widget;
}

SpinEdit* Spin(QWidget* parent, const char* name, const QString& hint = QString()) {
    return Named(new SpinEdit(parent), name, hint);
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& caption,
                 const QString& hint = QString()) {
    return Named(new QCheckBox(caption, parent), name, hint);
}

}  // namespace

void T_Main::BuildFrame() {
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
    PageControl->setFixedHeight(UpperPagesHeight);
    PageControl->setIconSize(QSize(64, 64));
    PageControl->setDocumentMode(true);
    PageControl->setUsesScrollButtons(false);
    // Five 64-pixel pictures with their captions fit the window's minimum width; with the
    // sixth (display shown beside rotation) the captions give way, never a picture.
    PageControl->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 2px 3px; }"));
    PageControl->setElideMode(Qt::ElideRight);
    panelLayout->addWidget(PageControl);

    PageConfig = Named(new QTabWidget(Panel1), "PageConfig");
    PageConfig->setTabPosition(QTabWidget::South);
    panelLayout->addWidget(PageConfig, 1);

    StatusBar = Named(new QStatusBar(this), "StatusBar");
    StatusBar->setSizeGripEnabled(true);
    // The bar keeps the system's colours, as the panel does: on the window's black its
    // black texts would not be seen.
    StatusBar->setAutoFillBackground(true);
    const int widths[3] = {250, 100, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[static_cast<size_t>(i)] = new StatusPanel(StatusBar);
        StatusPanels[static_cast<size_t>(i)]->setFixedWidth(widths[i]);
        StatusBar->addWidget(StatusPanels[static_cast<size_t>(i)]);
    }
    // Archive k of n while a scan or a repack runs, at the right end; hidden otherwise.
    JobProgress = Named(new QProgressBar(StatusBar), "JobProgress");
    JobProgress->setFixedWidth(160);
    JobProgress->setFormat(QStringLiteral("%v of %m"));
    JobProgress->hide();
    StatusBar->addPermanentWidget(JobProgress);
    setStatusBar(StatusBar);
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
              "cGametype");
    cGametype->setItemIndex(0);
    grid->addWidget(cGametype, 0, 0, 4, 2);

    cTimelimit = Spin(p, "cTimelimit");
    cFraglimit = Spin(p, "cFraglimit");
    cCapturelimit = Spin(p, "cCapturelimit");
    cDoWarmup = Check(p, "cDoWarmup", QStringLiteral("warmup"));
    cWarmup = Spin(p, "cWarmup");
    cMaxGameClients = Spin(p, "cMaxGameClients");
    cWeaponRespawn = Spin(p, "cWeaponRespawn");
    cWeaponTeamRespawn = Spin(p, "cWeaponTeamRespawn");
    cForceRespawn = Spin(p, "cForceRespawn");
    cDevmap = Check(p, "cDevmap", QStringLiteral("cheats"));
    cPure = Check(p, "cPure", QStringLiteral("pure"));
    cDedicated = Check(p, "cDedicated", QStringLiteral("dedicated"));
    cRconPassword = Named(new QLineEdit(ToQt(settings::RconPlaceholder), p), "cRconPassword");
    cFriendlyFire = Check(p, "cFriendlyFire", QStringLiteral("friendly fire"));
    cCom_HunkMegs = Spin(p, "cCom_HunkMegs");
    cAllowDownload = Check(p, "cAllowDownload", QStringLiteral("allow download"));
    cInactivity = Spin(p, "cInactivity");

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
    // Shown while a dedicated server would take a guessable remote-console password.
    cRconWarning = Named(new QLabel(QStringLiteral("anyone who knows this password controls "
                                                   "the server"),
                                    p),
                         "cRconWarning");
    cRconWarning->setStyleSheet(QStringLiteral("color: red;"));
    cRconWarning->setWordWrap(true);
    grid->addWidget(cRconWarning, 6, 4, 1, 2, Qt::AlignTop);
    grid->setRowStretch(6, 1);
    // The captions take the room the option controls leave: the spin edits (every one of
    // them is on this page) and the password keep a fixed width.
    cRconPassword->setFixedWidth(OptionWidth);
    cGametype->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    // Room beyond what the page needs goes to an empty last column, so that the captions stay
    // beside their fields in a wider window.
    grid->setColumnStretch(6, 1);
    PageControl->addTab(TabGameOptions, QIcon(PagePicture(0)), QStringLiteral("game options"));
}

void T_Main::BuildMapPage() {
    TabMap = Named(new QWidget, "TabMap");
    QWidget* p = TabMap;
    auto* row = new QHBoxLayout(p);
    row->setContentsMargins(4, 2, 4, 2);

    // Rows of their own, so that the captions do not widen one another's columns: the
    // level shot beside them must stay whole at the window's minimum width.
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    auto* modRow = new QHBoxLayout;
    cMod = Named(new QComboBox(p), "cMod", QStringLiteral("fs_game"));
    cMod->setEditable(false);
    cMod->setMinimumContentsLength(6);
    cMod->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    btnRescanModes = Named(FlatButton(QStringLiteral("rescan mods"), p), "btnRescanModes");
    modRow->addWidget(Caption(QStringLiteral("mod"), cMod, p));
    modRow->addWidget(cMod, 1);
    modRow->addWidget(btnRescanModes);
    left->addLayout(modRow);

    cMap = Named(new ListGrid({QStringLiteral("map"), QStringLiteral("mod")}, p), "cMap",
                 QStringLiteral("map (devmap)"));
    cMap->SetEmptyHint(QStringLiteral("no maps yet: press rescan mods, then rescan maps"));
    cMap->SetSortKey(catalogue::AppendNameKey);
    // The map column keeps 112 and takes the width the mod column leaves beyond its 127: a
    // wider window widens the map names.
    cMap->SetStretchColumn(cMapMap, 112, 127);
    left->addWidget(Caption(QStringLiteral("map"), cMap, p));
    left->addWidget(cMap, 1);

    auto* selectedRow = new QHBoxLayout;
    cSelectedMap = Named(new QLineEdit(p), "cSelectedMap");
    cSelectedMap->setMinimumWidth(60);
    selectedRow->addWidget(Caption(QStringLiteral("selected map"), cSelectedMap, p));
    selectedRow->addWidget(cSelectedMap, 1);
    left->addLayout(selectedRow);
    row->addLayout(left, 3);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    btnRescanMaps = Named(FlatButton(QStringLiteral("rescan maps"), p), "btnRescanMaps");
    btnShowModMaps = Named(FlatButton(QStringLiteral("show mod maps"), p), "btnShowModMaps");
    btnShowAllMaps = Named(FlatButton(QStringLiteral("show all maps"), p), "btnShowAllMaps");
    btnRepackMaps = Named(FlatButton(QStringLiteral("repack maps"), p), "btnRepackMaps",
                          QStringLiteral("repack selected maps to single .pk3 file"));
    cRepackSmallest = Check(
        p, "cRepackSmallest", QStringLiteral("smallest"),
        QStringLiteral("pack the repacked .pk3 file as small as it goes (several times slower)"));
    cErrorLoadMapInfo =
        Named(new QLabel(QStringLiteral("this map cannot be\nloaded in this mod"), p),
              "cErrorLoadMapInfo");
    cErrorLoadMapInfo->setAlignment(Qt::AlignCenter);
    cErrorLoadMapInfo->setStyleSheet(QStringLiteral("color: red;"));
    for (QWidget* w :
         {static_cast<QWidget*>(btnRescanMaps), static_cast<QWidget*>(btnShowModMaps),
          static_cast<QWidget*>(btnShowAllMaps), static_cast<QWidget*>(btnRepackMaps),
          static_cast<QWidget*>(cRepackSmallest), static_cast<QWidget*>(cErrorLoadMapInfo)}) {
        buttons->addWidget(w);
    }
    buttons->addStretch(1);
    row->addLayout(buttons, 1);

    MapImage = Named(new QLabel(p), "MapImage");
    MapImage->setFixedSize(306, 221);
    MapImage->setScaledContents(true);
    ImageNone = Named(new QLabel(p), "ImageNone");
    ImageNone->setFixedSize(128, 128);
    ImageNone->setPixmap(PlaceholderPicture(QStringLiteral("no level shot")));
    BotIconNone = PlaceholderPicture(QStringLiteral("no icon"));
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

    cBot = Named(new ListGrid({QStringLiteral("bot"), QStringLiteral("mod")}, p), "cBot");
    cBot->SetEmptyHint(QStringLiteral("no bots yet: press rescan mods, then rescan"));
    cBot->SetSortKey(catalogue::AppendNameKey);
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
              "cDisplayMode");
    cDisplayMode->setItemIndex(4);
    grid->addWidget(cDisplayMode, 1, 0, 6, 1);
    cFullscreen = Check(p, "cFullscreen", QStringLiteral("fullscreen"));
    cLightmap = Check(p, "cLightmap", QStringLiteral("lightmap (no texture)"));
    cDynamiclight = Check(p, "cDynamiclight", QStringLiteral("dynamic light"));
    cFastsky = Check(p, "cFastsky", QStringLiteral("fast sky"));
    cVertexLight = Check(p, "cVertexLight", QStringLiteral("vertex light"));
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
              "cDefragGametype");
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
    // The movement items are long: their group spans the page so that none is cut.
    grid->addWidget(cMovement, 2, 0, 1, 3);
    grid->addWidget(cDefragGametype, 3, 0, 3, 1);
    cUseQ3sdc = Check(p, "cUseQ3sdc", QStringLiteral("use q3sdc demo record"));
    grid->addWidget(cUseQ3sdc, 3, 1);
    RxLabel1 = Named(new QLabel(QStringLiteral("Fraglane 1.7"), p), "RxLabel1");
    Label30 = Named(new QLabel(QStringLiteral("<u>Web Site</u>"), p), "Label30");
    for (QLabel* l : {RxLabel1, Label30}) {
        l->setStyleSheet(QStringLiteral("color: #6F6F6F;"));
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);
    }
    Label30->setCursor(Qt::PointingHandCursor);
    grid->addWidget(RxLabel1, 4, 2, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(Label30, 5, 2, Qt::AlignRight | Qt::AlignTop);
    // The engine that start runs, where it runs one: in the free cell beside the defrag
    // group, so that nothing else moves or shrinks.
    cEngine = Named(new QLineEdit(p), "cEngine",
                    QStringLiteral("the server program that start runs on Linux, with any words "
                                   "of its own"));
    btnEngine = Named(FlatButton(QStringLiteral("..."), p), "btnEngine");
    btnEngine->setToolTip(cEngine->toolTip());
    btnEngine->setFixedWidth(28);
    QLabel* engineCaption = Caption(QStringLiteral("engine"), cEngine, p);
    auto* engineRow = new QHBoxLayout;
    engineRow->addWidget(engineCaption);
    engineRow->addWidget(cEngine, 1);
    engineRow->addWidget(btnEngine);
    grid->addLayout(engineRow, 5, 1, Qt::AlignBottom);
    // In the free cell below "use q3sdc demo record", as the engine it is about.
    cCrashRestart = Check(p, "cCrashRestart", QStringLiteral("restart after a crash"),
                          QStringLiteral("start the server again when it crashes, after a "
                                         "growing pause; not after 5 crashes in 10 minutes"));
    grid->addWidget(cCrashRestart, 4, 1, Qt::AlignTop);
    for (QWidget* w : {static_cast<QWidget*>(engineCaption), static_cast<QWidget*>(cEngine),
                       static_cast<QWidget*>(btnEngine), static_cast<QWidget*>(cCrashRestart)})
        w->setVisible(platform::StartsEngineItself());
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    PageControl->addTab(TabAdvanced, QIcon(PagePicture(4)), QStringLiteral("advanced"));
}

void T_Main::BuildRotationPage() {
    TabRotation = Named(new QWidget, "TabRotation");
    QWidget* p = TabRotation;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(2);
    cRotate = Check(p, "cRotate", QStringLiteral("rotate maps"));
    cRotationMaps = Named(new QListWidget(p), "cRotationMaps");
    cRotationMaps->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnAddRotation = Named(FlatButton(QStringLiteral("add selected maps"), p), "btnAddRotation");
    btnDelRotation = Named(FlatButton(QStringLiteral("remove"), p), "btnDelRotation");
    btnRotationUp = Named(FlatButton(QStringLiteral("up"), p), "btnRotationUp");
    btnRotationDown = Named(FlatButton(QStringLiteral("down"), p), "btnRotationDown");
    cRotationWarning =
        Named(new QLabel(QStringLiteral("this map cannot be\nloaded in this mod"), p),
              "cRotationWarning");
    cRotationWarning->setAlignment(Qt::AlignCenter);
    cRotationWarning->setStyleSheet(QStringLiteral("color: red;"));
    cRotationWarning->hide();
    grid->addWidget(cRotate, 0, 0);
    grid->addWidget(Caption(QStringLiteral("maps in turn"), cRotationMaps, p), 1, 0);
    grid->addWidget(cRotationMaps, 2, 0, 6, 1);
    int row = 2;
    for (QWidget* w : {static_cast<QWidget*>(btnAddRotation), static_cast<QWidget*>(btnDelRotation),
                       static_cast<QWidget*>(btnRotationUp), static_cast<QWidget*>(btnRotationDown),
                       static_cast<QWidget*>(cRotationWarning)}) {
        grid->addWidget(w, row++, 1);
    }
    grid->setRowStretch(7, 1);
    grid->setColumnStretch(0, 1);
    PageControl->addTab(TabRotation, QIcon(PagePicture(5)), QStringLiteral("rotation"));
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
    // Beside the cfg name's caption, in the room that row has to spare: the page asks nothing
    // of it, so nothing moves when it shows.
    cCfgWarning = Named(new CellLabel(p), "cCfgWarning");
    cCfgWarning->setStyleSheet(QStringLiteral("color: red;"));
    cCfgWarning->hide();
    grid->addWidget(cCfgWarning, 2, 3);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    PageConfig->addTab(ready, QStringLiteral("ready"));

    TabSheetCfg = Named(new QWidget, "TabSheetCfg");
    cLoadedCfg = Named(new QPlainTextEdit(TabSheetCfg), "cLoadedCfg");
    cLoadedCfg->setReadOnly(true);
    cLoadedCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    cLoadedCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cLoadedCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (new QVBoxLayout(TabSheetCfg))->addWidget(cLoadedCfg);
    TabSheetBat = Named(new QWidget, "TabSheetBat");
    cLoadedBat = Named(new QPlainTextEdit(TabSheetBat), "cLoadedBat");
    cLoadedBat->setReadOnly(true);
    cLoadedBat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (new QVBoxLayout(TabSheetBat))->addWidget(cLoadedBat);
    PageConfig->addTab(TabSheetCfg, QString());
    PageConfig->addTab(TabSheetBat, QString());
    // Pages of report lines: one a line, never wrapped.
    const auto addReportPage = [this](const char* page, const char* memo, const char* caption,
                                      QWidget*& pageField, QPlainTextEdit*& memoField) {
        pageField = Named(new QWidget, page);
        memoField = Named(new QPlainTextEdit(pageField), memo);
        memoField->setReadOnly(true);
        memoField->setLineWrapMode(QPlainTextEdit::NoWrap);
        (new QVBoxLayout(pageField))->addWidget(memoField);
        PageConfig->addTab(pageField, QString::fromLatin1(caption));
    };
    addReportPage("TabSheetReport", "cRepackReport", "repack report", TabSheetReport,
                  cRepackReport);
    addReportPage("TabSheetLeftOut", "cLeftOut", "left out", TabSheetLeftOut, cLeftOut);

    PopupDir = Named(new QMenu(this), "PopupDir");
}

void T_Main::SetTabOrder() {
    // Each page in reading order: down each column, then the next column.
    // A page a line reads better than a control a line.
    // clang-format off
    const std::vector<QWidget*> order = {
        cGametype, cDevmap, cDedicated, cPure, cFriendlyFire, cTimelimit, cFraglimit,
        cCapturelimit, cDoWarmup, cWarmup, cMaxGameClients, cCom_HunkMegs, cWeaponRespawn,
        cWeaponTeamRespawn, cForceRespawn, cInactivity, cRconPassword, cAllowDownload,
        cMod, btnRescanModes, cMap, cSelectedMap, btnRescanMaps, btnShowModMaps, btnShowAllMaps,
        btnRepackMaps, cRepackSmallest,
        cBot, btnRescanBotes, cSkill, cTeam, btnAddBot, btnDelBots, cSelectedBots,
        cDisplayMode, cFullscreen, cLightmap, cDynamiclight, cFastsky, cVertexLight,
        cPre, cPost, cMovement, cDefragGametype, cUseQ3sdc, cEngine, btnEngine, cCrashRestart,
        cRotate, cRotationMaps, btnAddRotation, btnDelRotation, btnRotationUp, btnRotationDown,
        cBat, cCfg, cBatName, cCfgName, btnSaveBat, btnSaveCfg, btnStart, cMinOnRun,
        btnStopServer, btnRestartServer, cServerLog, cConsole};
    // clang-format on
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void T_Main::BuildServerPage() {
    TabServer = Named(new QWidget, "TabServer");
    QWidget* p = TabServer;
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    cServerStatus = Named(new QLabel(QStringLiteral("stopped"), p), "cServerStatus");
    cServerStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cServerStatus->setTextFormat(Qt::PlainText);  // it carries the server's own words
    btnStopServer = Named(FlatButton(QStringLiteral("stop"), p), "btnStopServer");
    btnRestartServer = Named(FlatButton(QStringLiteral("restart"), p), "btnRestartServer");
    cServerLog = Named(new QPlainTextEdit(p), "cServerLog");
    cServerLog->setReadOnly(true);
    cServerLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    cServerLog->setMaximumBlockCount(1000);  // the log's last 1,000 lines
    cConsole = Named(new QLineEdit(p), "cConsole",
                     QStringLiteral("a console command for the running server, sent as rcon "
                                    "with the stored password (Enter sends it)"));
    cConsole->setPlaceholderText(QStringLiteral("rcon command: status, kick NAME, map NAME..."));
    grid->addWidget(cServerStatus, 0, 0);
    grid->addWidget(btnStopServer, 0, 1);
    grid->addWidget(btnRestartServer, 0, 2);
    grid->addWidget(cServerLog, 1, 0, 1, 3);
    grid->addWidget(cConsole, 2, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    PageConfig->addTab(TabServer, QStringLiteral("server"));
}

}  // namespace fraglane::app
