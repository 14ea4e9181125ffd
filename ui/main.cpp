#include "ui/command_line.h"
#include "ui/form1_window.h"
#include "ui/timing_log.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    using bopatron::ui::CommandLine;
    // Read before Qt starts, so that --version and --help need no display.
    const CommandLine command = bopatron::ui::parseCommandLine({argv + 1, argv + argc});
    if (command.action == CommandLine::Action::PrintAndExit) {
        std::fputs(command.text.c_str(), stdout);
        return 0;
    }
    if (command.action == CommandLine::Action::Fail) {
        std::fputs(command.text.c_str(), stderr);
        return 2;
    }

    bopatron::ui::TimingLog::instance().note("main");
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt's own event loop wakes the 20 ms clock on time; behind the GLib loop
    // ticks slipped to 35-50 ms now and then on an idle machine. A player who
    // sets QT_NO_GLIB keeps the choice.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(bopatron::ui::kTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(bopatron::ui::kVersion));

    bopatron::ui::Form1Window window(QCoreApplication::applicationDirPath());
    if (!window.load()) return 1;
    window.show();
    return QApplication::exec();
}
