// "start" where the program runs the engine itself (Linux), and the server page: the events of
// the server's supervisor shown (the log as it grows, the status line, a failed start, a
// crash), stop, restart and the console.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextCursor>

#include <deque>

#include "app/qt_convert.h"
#include "app/server_watch.h"
#include "launch/game_directory.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/engine.h"

namespace fraglane::app {

namespace {

constexpr int TickMilliseconds = 250;

using Clock = server::Supervisor::Clock;

// The text of a command line after its first word (the program), blanks included.
QString AfterFirstWord(const QString& line) {
    qsizetype i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    bool quoted = false;
    for (; i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t')); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
    }
    return line.mid(i);
}

}  // namespace

void T_Main::SetUpServerWatch() {
    m_server = std::make_unique<ServerWatch>(ExeDir, platform::OwnProgramPath());
    const bool runsEngine = platform::StartsEngineItself();
    PageConfig->setTabVisible(PageConfig->indexOf(TabServer), runsEngine);
    if (!runsEngine)
        return;
    connect(&m_server->timer, &QTimer::timeout, this,
            [this] { Guarded([this] { ServerTick(); }); });
    connect(cConsole, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { cConsoleReturn(); }); });
    m_server->timer.start(TickMilliseconds);
    ServerTick();
}

std::vector<std::string> T_Main::ServerStartWords() {
    return server::EngineWords(ToStd(cEngine->text()), m_texts.commandLine, ExeDir);
}

void T_Main::btnStartClick() {
    if (!platform::StartsEngineItself()) {
        if (cMinOnRun->isChecked())
            showMinimized();
        btnSaveBatClick();
        m_desktop.OpenFile(this, cBatName->text(), ToQt(platform::ToNative(ExeDir)));
        return;
    }
    btnSaveBatClick();
    const std::vector<std::string> words = ServerStartWords();  // "no map selected" first
    server::Supervisor& s = m_server->supervisor;
    const server::WatcherOptions options{server::StopGrace, cCrashRestart->isChecked()};
    m_server->minimizeWhenProven = cMinOnRun->isChecked();
    if (!s.running()) {
        s.Start(words, options, Clock::now());
        PageConfig->setCurrentWidget(TabServer);
    } else if (s.phase() == server::Supervisor::Phase::Stopping ||  // the new one follows
               m_desktop.Ask(this, QStringLiteral("A server is running (process %1). Stop it "
                                                  "and start the new one?")
                                       .arg(server::ShownPid(*s.running())))) {
        s.Restart(words, options, Clock::now());
    }
    ShowServerStatus();
}

void T_Main::btnStopServerClick() {
    m_server->supervisor.Stop(Clock::now());
    ShowServerStatus();
}

void T_Main::btnRestartServerClick() {
    btnSaveBatClick();
    m_server->minimizeWhenProven = false;
    m_server->supervisor.Restart(ServerStartWords(),
                                 {server::StopGrace, cCrashRestart->isChecked()}, Clock::now());
    ShowServerStatus();
}

void T_Main::cConsoleReturn() {
    const std::string command = ToStd(cConsole->text());
    if (command.empty())
        return;
    m_server->supervisor.Console(GatherOptions().rconPassword, command, Clock::now());
    ShowServerEvents({{server::SupervisorEvent::Kind::ConsoleAnswer, "> " + command}});
    cConsole->clear();
}

void T_Main::btnEngineClick() {
    const QString current = cEngine->text();
    const std::vector<std::string> words = launch::SplitCommandWords(ToStd(current));
    const QString folder = words.empty() || words.front().empty()
                               ? ToQt(server::NativeGameDirectory(ExeDir))
                               : ToQt(platform::ToNative(platform::ExtractFilePath(
                                     platform::FromNative(words.front()))));
    QString chosen = m_desktop.ChooseProgram(this, folder);
    if (chosen.isEmpty())
        return;
    if (chosen.contains(u' ') || chosen.contains(u'\t'))
        chosen = u'"' + chosen + u'"';
    cEngine->setText(chosen + AfterFirstWord(current));  // the engine's own words stay
}

void T_Main::ServerTick() {
    ShowServerEvents(m_server->supervisor.Tick(Clock::now()));
    ShowServerStatus();
}

void T_Main::ShowServerEvents(const std::vector<server::SupervisorEvent>& events) {
    using Kind = server::SupervisorEvent::Kind;
    // Lines go into the page only while it is shown, and the lines of a tick at once: laying
    // out text is what following a flooding log costs. Meanwhile the last 1,000 wait.
    std::deque<QString>& pending = m_server->pending;
    const auto flush = [&] {
        if (pending.empty() || !cServerLog->isVisible())
            return;
        // A page read at its end follows the log; one scrolled back stays where it is.
        QScrollBar* bar = cServerLog->verticalScrollBar();
        const bool follow = bar->value() >= bar->maximum() - 1;
        cServerLog->appendPlainText(QStringList(pending.begin(), pending.end()).join(u'\n'));
        pending.clear();
        if (follow) {
            cServerLog->moveCursor(QTextCursor::End);
            cServerLog->ensureCursorVisible();
        }
    };
    const auto add = [&](const QString& line) {
        pending.push_back(line);
        if (pending.size() > server::Supervisor::LogLines)
            pending.pop_front();
    };
    for (const server::SupervisorEvent& e : events) {
        if (e.kind == Kind::LogLine || e.kind == Kind::ConsoleAnswer) {
            add(ToQt(e.text));
            continue;
        }
        switch (e.kind) {
            case Kind::LogCleared:
                pending.clear();
                cServerLog->clear();
                break;
            case Kind::LogLine:
            case Kind::ConsoleAnswer:
                break;
            case Kind::Started:
                if (m_server->minimizeWhenProven)
                    showMinimized();
                m_server->minimizeWhenProven = false;
                break;
            case Kind::StartFailed:
                m_server->minimizeWhenProven = false;
                ShowServerStatus();
                m_desktop.ShowError(this, ToQt(e.text));
                break;
            case Kind::PortTaken:
            case Kind::Restarting:
            case Kind::Ended:
                add(QStringLiteral("[fraglane] ") + ToQt(e.text));
                break;
        }
    }
    flush();
}

void T_Main::ShowServerStatus() {
    const server::Supervisor& s = m_server->supervisor;
    cServerStatus->setText(ToQt(s.StatusLine()));
    btnStopServer->setEnabled(s.running().has_value() &&
                              s.phase() != server::Supervisor::Phase::Stopping);
    cConsole->setEnabled(s.phase() == server::Supervisor::Phase::Running);
    // The tab says what runs while another page is shown.
    QString caption = QStringLiteral("server");
    if (s.running())
        caption = QStringLiteral("server: running");
    else if (s.lastEnd() && server::IsCrash(*s.lastEnd()))
        caption = QStringLiteral("server: crashed");
    PageConfig->setTabText(PageConfig->indexOf(TabServer), caption);
}

}  // namespace fraglane::app
