// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/session.h"
#include "demo/timedemo.h"
#include "image/png_decoder.h"
#include "ui/command_line.h"
#include "ui/form1_window.h"
#include "ui/settings.h"
#include "ui/timing_log.h"
#include "ui/world_client.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QSocketNotifier>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// The folder of the files the game reads: beside the program where it was
// built or unpacked, in share/games/bopatron where it is installed.
QString dataFolder() {
    const QDir program(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(program.filePath(QStringLiteral(BOPATRON_DATA_RELATIVE)));
    return QFileInfo(installed).isDir() ? installed : program.path();
}

// A recorded session ended by a signal (Ctrl+C in its terminal, kill) still
// ends its demo with the closing line: the handler only wakes the event
// loop, which quits as if the window were closed.
int signalPipe[2] = {-1, -1};
void quitOnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
void quitOnSignals() {
    if (::pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, quitOnSignal);
}

}  // namespace

int main(int argc, char* argv[]) {
    using bopatron::ui::CommandLine;
    namespace ui = bopatron::ui;
    // Read before Qt starts, so that --version, --help and usage errors need no display.
    const CommandLine command = ui::parseCommandLine({argv + 1, argv + argc});
    if (command.action == CommandLine::Action::PrintAndExit) {
        std::fputs(command.text.c_str(), stdout);
        return 0;
    }
    if (command.action == CommandLine::Action::Fail) {
        std::fputs(command.text.c_str(), stderr);
        return 2;
    }

    if (!command.timedemo.empty()) {
        // No window, no sound, and no Qt but for finding the program's folder.
        QCoreApplication app(argc, argv);
        const QString folder = dataFolder();
        return bopatron::demo::timedemoMain(command.timedemo, QDir::toNativeSeparators(folder).toStdString(),
                                            bopatron::image::decodePng, stdout, stderr);
    }

    // A demo to show is read, and a file to record into created, before anything starts.
    bopatron::demo::Demo shown;
    if (!command.play.empty()) {
        shown = bopatron::demo::readDemo(command.play);
        if (!shown.error.empty()) {
            std::fprintf(stderr, "bopatron: %s\n", shown.error.c_str());
            return 2;
        }
    }
    std::FILE* record = nullptr;
    if (!command.record.empty() && (record = std::fopen(command.record.c_str(), "wb")) == nullptr) {
        std::fprintf(stderr, "bopatron: %s: cannot be written (%s)\n", command.record.c_str(), std::strerror(errno));
        return 2;
    }

    ui::TimingLog::instance().note("main");
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt's own event loop wakes the 20 ms clock on time; behind the GLib loop
    // ticks slipped to 35-50 ms now and then on an idle machine. A player who
    // sets QT_NO_GLIB keeps the choice.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ui::kTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(ui::kVersion));

    // The player's remembered choices, each overridden for this run by its
    // option; a demo being shown neither reads nor changes them.
    const bool showing = !command.play.empty();
    const ui::Settings saved = showing ? ui::Settings{} : ui::readSettings(ui::playerSettings());
    const int fits = ui::largestWindowScale(QApplication::primaryScreen()->availableGeometry().size());
    // A world table: the seed comes from it before the game starts, and the
    // session streams to it; without an answer in 2 s the game plays as ever.
    ui::DemoPlan plan{record, showing ? &shown : nullptr, {}, {}, {}, {}, {}, {}, {}};
    std::unique_ptr<ui::WorldClient> world;
    if (!command.world.empty()) {
        QString url = QString::fromStdString(command.world);
        if (!url.endsWith(QLatin1Char('/'))) url += QLatin1Char('/');
        world = std::make_unique<ui::WorldClient>(QUrl(url));
        plan.seed = world->start();
        if (plan.seed) {
            plan.onLine = [client = world.get()](const std::string& line) { client->addLine(line); };
            plan.onTableStep = [client = world.get()](int score) { client->tableStep(score); };
            plan.newGame = [client = world.get()] { client->newGame(); };
            plan.askRoundValue = [client = world.get()](std::function<void(std::optional<std::uint64_t>)> done) {
                client->askValue(std::move(done));
            };
            plan.tickMayRun = [client = world.get()] { return client->tickMayRun(); };
            plan.partBeforeTick = [client = world.get()] { return client->partBeforeTick(); };
        }
    }
    ui::Form1Window window(dataFolder(), plan);
    if (world) {
        const auto title = [&window](const QString& status) {
            window.setWindowTitle(QString::fromLatin1(ui::kTitle) + QStringLiteral(" \u2014 ") + status);
        };
        world->onStatus = title;
        world->askInitialsOver(&window, [&window] { return window.idle(); });
        title(world->on() ? QStringLiteral("world table on") : QStringLiteral("world table off: no answer from ") +
                                                                     QString::fromStdString(command.world));
    }
    window.setScale(ui::startScale(command.scale, saved.scale, fits));
    window.setFullscreen(command.fullscreen.value_or(saved.fullscreen));
    window.setMuted(command.mute.value_or(saved.mute));
    if (!showing) {
        window.onPlayerChoice = [](const char* key, int value) { ui::remember(ui::playerSettings(), key, value); };
    }
    // A failed load has queued its message; the loop shows it and ends with status 1.
    if (record != nullptr || world) quitOnSignals();
    if (window.load()) window.show();
    const int status = QApplication::exec();
    window.finishRecording();
    if (record != nullptr) std::fclose(record);
    // Closing the window sends what is left, for at most a few seconds.
    if (world) world->finish();
    return status;
}
