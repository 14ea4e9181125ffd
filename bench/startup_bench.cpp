// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Start-up inside a running application: the window is built (pictures read,
// cues loaded), its load event runs, and it is shown until its first paint ends.

#include "ui/form1_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <benchmark/benchmark.h>

#include <optional>

namespace bopatron::bench {
namespace {

// Notes the first paint event that reaches the window.
class PaintWatcher : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

void StartupToFirstFrame(benchmark::State& state) {
    std::optional<ui::Form1Window> window;
    for (auto _ : state) {
        PaintWatcher watcher;
        window.emplace(QStringLiteral(BOPATRON_PROGRAM_DIR));
        window->installEventFilter(&watcher);
        if (!window->load()) {
            state.SkipWithError("the load event failed");
            return;
        }
        window->show();
        // The filter sees the event before the window paints it; the paint
        // has ended by the time processEvents returns.
        while (!watcher.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.PauseTiming();
        window.reset();  // tearing down is not start-up
        state.ResumeTiming();
    }
}
BENCHMARK(StartupToFirstFrame)->Name("Startup/toFirstPaintedFrame")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bopatron::bench
