// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/command_line.h"
#include "ui/form1_window.h"
#include "ui/settings.h"
#include "ui/timing_log.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <cstdio>

namespace {

// The folder of the files the game reads: beside the program where it was
// built or unpacked, in share/games/bopatron where it is installed.
QString dataFolder() {
    const QDir program(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(program.filePath(QStringLiteral(BOPATRON_DATA_RELATIVE)));
    return QFileInfo(installed).isDir() ? installed : program.path();
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

    // The player's remembered choices, each overridden for this run by its option.
    const ui::Settings saved = ui::readSettings(ui::playerSettings());
    const int fits = ui::largestWindowScale(QApplication::primaryScreen()->availableGeometry().size());
    ui::Form1Window window(dataFolder());
    window.setScale(ui::startScale(command.scale, saved.scale, fits));
    window.setFullscreen(command.fullscreen.value_or(saved.fullscreen));
    window.setMuted(command.mute.value_or(saved.mute));
    window.onPlayerChoice = [](const char* key, int value) { ui::remember(ui::playerSettings(), key, value); };
    // A failed load has queued its message; the loop shows it and ends with status 1.
    if (!window.load()) return QApplication::exec();
    window.show();
    return QApplication::exec();
}
