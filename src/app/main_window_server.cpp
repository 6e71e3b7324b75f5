// "start" where the program runs the engine itself (Linux), and the server page: the log as it
// grows, the status line, stop and restart.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdlib>

#include "app/qt_convert.h"
#include "app/server_watch.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/engine.h"

namespace fraglane::app {

namespace {

constexpr int TickMilliseconds = 250;
constexpr std::chrono::seconds QueryEvery{2};
constexpr size_t FailureLogLines = 20;

std::string PathVariable() {
    const char* path = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe): nobody sets it
    return path != nullptr ? path : "";
}

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
    m_server = std::make_unique<ServerWatch>(ExeDir);
    const bool runsEngine = platform::StartsEngineItself();
    PageConfig->setTabVisible(PageConfig->indexOf(TabServer), runsEngine);
    if (!runsEngine)
        return;
    connect(&m_server->timer, &QTimer::timeout, this,
            [this] { Guarded([this] { ServerTick(); }); });
    m_server->running = server::RunningServer(ExeDir);
    m_server->timer.start(TickMilliseconds);
    ServerTick();
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
    ServerWatch& w = *m_server;
    if (w.running && !platform::IsAlive(w.running->process))
        ServerEnded();
    if (!w.running)
        w.running = server::RunningServer(ExeDir);  // one started meanwhile from elsewhere
    if (!w.running) {
        StartServerNow();
        return;
    }
    if (w.stopSince) {  // stopping already: the new one follows
        w.startAfterStop = true;
        return;
    }
    if (m_desktop.Ask(this, QStringLiteral("A server is running (process %1). Stop it and start "
                                           "the new one?")
                                .arg(w.running->process.pid)))
        BeginServerStop(true);
}

void T_Main::btnStopServerClick() {
    if (m_server->running)
        BeginServerStop(false);
}

void T_Main::btnRestartServerClick() {
    btnSaveBatClick();
    if (m_server->running)
        BeginServerStop(true);
    else
        StartServerNow();
}

void T_Main::btnEngineClick() {
    const QString current = cEngine->text();
    const std::vector<std::string> words = server::SplitCommandWords(ToStd(current));
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

void T_Main::StartServerNow() {
    const std::vector<std::string> words =
        server::ServerWords(server::ResolveEngine(ToStd(cEngine->text()), ExeDir, PathVariable()),
                            m_texts.commandLine, server::NativeGameDirectory(ExeDir));
    ServerWatch& w = *m_server;
    w.running = server::StartServer(ExeDir, words);
    const ServerWatch::Clock::time_point now = ServerWatch::Clock::now();
    w.status.reset();
    w.queryOpen = false;
    w.lastQuery = now;
    w.proofUntil = now + server::StartProof;
    w.minimizeWhenProven = cMinOnRun->isChecked();
    PageConfig->setCurrentWidget(TabServer);
    ShowServerStatus();
}

void T_Main::BeginServerStop(bool restart) {
    ServerWatch& w = *m_server;
    w.startAfterStop = restart;
    if (!w.stopSince) {
        server::RequestStop(*w.running, false);
        w.stopSince = ServerWatch::Clock::now();
        w.killed = false;
    }
    ShowServerStatus();
}

void T_Main::ServerEnded() {
    ServerWatch& w = *m_server;
    const server::ServerRecord ended = *w.running;
    w.running.reset();
    w.status.reset();
    w.queryOpen = false;
    w.stopSince.reset();
    w.killed = false;
    server::ForgetServer(ExeDir, ended);
    if (w.proofUntil) {
        // A start that did not last: said with the end of the log, which says why.
        w.proofUntil.reset();
        w.minimizeWhenProven = false;
        w.startAfterStop = false;
        QString message =
            QStringLiteral("The server ended within %1 seconds.").arg(server::StartProof.count());
        const std::vector<std::string> lines = server::LogTail(ExeDir, FailureLogLines);
        if (!lines.empty()) {
            message += QStringLiteral("\n\n%1 ends:\n").arg(QLatin1String(server::LogFileName));
            message += ToQt(lines).join(u'\n');
        }
        ShowServerStatus();
        m_desktop.ShowError(this, message);
        return;
    }
    if (w.startAfterStop) {
        w.startAfterStop = false;
        StartServerNow();
    }
}

void T_Main::ServerTick() {
    ServerWatch& w = *m_server;
    const ServerWatch::Clock::time_point now = ServerWatch::Clock::now();
    const server::LogFollower::News news = w.log.Read();
    if (news.restarted)
        cServerLog->clear();
    for (const std::string& line : news.lines)
        cServerLog->appendPlainText(ToQt(line));
    if (w.running && !platform::IsAlive(w.running->process)) {
        ServerEnded();
    } else if (!w.running && now - w.lastQuery >= QueryEvery) {
        w.lastQuery = now;
        w.running = server::RunningServer(ExeDir);  // one started by the command-line tool
    }
    if (w.running) {
        if (w.proofUntil && now >= *w.proofUntil) {
            w.proofUntil.reset();
            if (w.minimizeWhenProven)
                showMinimized();
            w.minimizeWhenProven = false;
        }
        if (w.stopSince && !w.killed && now - *w.stopSince >= server::StopGrace) {
            server::RequestStop(*w.running, true);
            w.killed = true;
        }
        if (w.queryOpen) {
            if (const std::optional<std::string> answer = w.query.Receive(0)) {
                w.queryOpen = false;
                if (std::optional<server::ServerStatus> status = server::ParseStatusAnswer(*answer))
                    w.status = std::move(status);
            }
        }
        if (now - w.lastQuery >= QueryEvery) {
            w.lastQuery = now;
            w.queryOpen = w.query.Send(w.running->port, server::StatusQuery());
        }
    }
    ShowServerStatus();
}

void T_Main::ShowServerStatus() {
    const ServerWatch& w = *m_server;
    QString line = ToQt(server::StatusLine(w.running, w.status));
    if (w.running && w.stopSince)
        line = QStringLiteral("stopping: ") + line;
    cServerStatus->setText(line);
    btnStopServer->setEnabled(w.running.has_value() && !w.stopSince);
}

}  // namespace fraglane::app
