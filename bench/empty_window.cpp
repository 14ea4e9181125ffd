// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// An empty Qt window of the game's size that notes its first paint in the
// timing log, as the game does: the floor that start-up is measured against.
#include "ui/timing_log.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class Empty : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        const std::int64_t start = bopatron::ui::TimingLog::instance().start();
        QPainter(this).fillRect(rect(), palette().window());
        bopatron::ui::TimingLog::instance().noteSpan("paint", 0, start);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    bopatron::ui::TimingLog::instance().note("main");
    QApplication app(argc, argv);
    Empty window;
    window.resize(437, 284);
    window.show();
    return QApplication::exec();
}
