// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// One tick with a rat in every hole, the hand and the status text; each of its
// drawing operations; and the floor: one plain copy of the back buffer.

#include "bench/bench_host.h"
#include "bench/floor_reporter.h"
#include "draw/compositor.h"
#include "game/form1.h"
#include "ui/field_view.h"
#include "ui/pictures.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace bopatron::bench {
namespace {

constexpr std::int16_t kRisen = 12;          // a rat fully out of its hole
constexpr std::int16_t kNeverMoves = 30000;  // a pace no tick of a round is a multiple of

// The shipped pictures and sprite table, a loaded game and a rat in every hole.
struct Field {
    Field() : host(BOPATRON_PROGRAM_DIR), form(host, surfaces) {
        ui::loadPictures(surfaces, host, QStringLiteral(BOPATRON_PROGRAM_DIR));
        form.Form_Load();
        game::GameState& s = form.state();
        for (auto& row : s.ratPos) std::fill(std::begin(row), std::end(row), kRisen);
        for (auto& row : s.ratPace) std::fill(std::begin(row), std::end(row), kNeverMoves);
        s.ticks = 1;
        s.score = -1234;
        s.handX = 180;
        s.handY = 80;
        sheets = draw::selectSheets(surfaces, 0);
    }

    BenchHost host;
    draw::Surfaces surfaces;
    game::Form1 form;
    draw::SheetPair sheets;
};

Field& field() {
    static Field f;
    return f;
}

void FloorMemcpyBackBuffer(benchmark::State& state) {
    const std::size_t bytes = std::size_t{ui::kFieldWidth} * ui::kFieldHeight * 4;
    std::vector<unsigned char> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(FloorMemcpyBackBuffer)->Name(kFloorName);

void TickFull(benchmark::State& state) {
    Field& f = field();
    for (auto _ : state) {
        f.form.state().ticks = 1;  // every iteration is the same second tick of a round
        f.form.Timer1_Timer();
    }
    state.counters["transfers/tick"] =
        benchmark::Counter(static_cast<double>(f.surfaces.transfers), benchmark::Counter::kAvgIterations);
    f.surfaces.transfers = 0;
}
BENCHMARK(TickFull)->Name(kTickName);

// The block transfers of the same tick without its rules and text.
void TickCompositingOnly(benchmark::State& state) {
    Field& f = field();
    const game::GameState& s = f.form.state();
    for (auto _ : state) {
        draw::restoreBackground(f.surfaces);
        const draw::SheetPair sheets = draw::selectSheets(f.surfaces, s.ratKind);
        for (int col = 0; col <= 2; ++col) {
            for (int row = 0; row <= 2; ++row) {
                draw::drawarat(f.surfaces, s.spr, s.holeX[row][col], s.holeY[row][col], s.ratPos[row][col],
                               sheets);
            }
        }
        draw::drawhand(f.surfaces, s.handX, s.handY, s.handDown, sheets);
        draw::present(f.surfaces);
    }
}
BENCHMARK(TickCompositingOnly)->Name(kCompositingName);

void RestoreBackground(benchmark::State& state) {
    Field& f = field();
    for (auto _ : state) draw::restoreBackground(f.surfaces);
}
BENCHMARK(RestoreBackground)->Name("Compositor/restoreBackground");

void SelectSheets(benchmark::State& state) {
    Field& f = field();
    std::int16_t kind = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(draw::selectSheets(f.surfaces, kind));
        kind = static_cast<std::int16_t>((kind + 1) % 3);
    }
}
BENCHMARK(SelectSheets)->Name("Compositor/selectSheets");

void DrawStatusText(benchmark::State& state) {
    Field& f = field();
    for (auto _ : state) draw::drawStatusText(f.surfaces, -1234, 567);
}
BENCHMARK(DrawStatusText)->Name("Compositor/drawStatusText");

void DrawARat(benchmark::State& state) {
    Field& f = field();
    const game::GameState& s = f.form.state();
    for (auto _ : state) draw::drawarat(f.surfaces, s.spr, s.holeX[1][1], s.holeY[1][1], kRisen, f.sheets);
}
BENCHMARK(DrawARat)->Name("Compositor/drawarat");

void DrawHand(benchmark::State& state) {
    Field& f = field();
    const auto handDown = static_cast<std::int16_t>(state.range(0));
    for (auto _ : state) draw::drawhand(f.surfaces, 180, 80, handDown, f.sheets);
}
BENCHMARK(DrawHand)->Name("Compositor/drawhand")->ArgName("handDown")->Arg(0)->Arg(1);

void Present(benchmark::State& state) {
    Field& f = field();
    for (auto _ : state) draw::present(f.surfaces);
}
BENCHMARK(Present)->Name("Compositor/present");

// The window's paint: the shown frame drawn onto a window-sized backing image.
void WindowPaint(benchmark::State& state) {
    Field& f = field();
    QImage backing(ui::kFieldWidth, ui::kFieldHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&backing);
        painter.drawImage(0, 0, ui::imageOf(f.surfaces.window));
    }
}
BENCHMARK(WindowPaint)->Name("Window/paint");

// A tick whose hand and score change, and then what the window does to show
// it at a scale: find the changed tiles and paint them, magnified, onto a
// window-sized backing image. "naive" paints the whole field every tick.
void PresentAtScale(benchmark::State& state, QSize window, int scale, bool fullscreen, bool naive) {
    Field& f = field();
    game::GameState& s = f.form.state();
    const ui::FieldView view = ui::viewFor(window, scale, fullscreen);
    QImage backing(window, QImage::Format_RGB32);
    QImage shown = ui::imageOf(f.surfaces.window).copy();
    long i = 0;
    for (auto _ : state) {
        s.ticks = 1;
        s.handX = i % 2 == 0 ? 180 : 200;
        s.score = static_cast<std::int16_t>(i % 2 == 0 ? 10 : 20);
        ++i;
        f.form.Timer1_Timer();
        const QImage frame = ui::imageOf(f.surfaces.window);
        const QRegion changed =
            naive ? QRegion(view.fieldInWindow()) : view.toWindow(ui::changedTiles(frame, shown));
        std::memcpy(shown.bits(), frame.constBits(), static_cast<std::size_t>(frame.sizeInBytes()));
        QPainter painter(&backing);
        ui::paintField(painter, changed, view, frame, QColor(240, 240, 240));
    }
}
const QSize kUhd(3840, 2160);
BENCHMARK_CAPTURE(PresentAtScale, 1x, QSize(437, 284), 1, false, false)->Name(kPresentOneName);
BENCHMARK_CAPTURE(PresentAtScale, 2x, QSize(874, 568), 2, false, false)->Name("Present/2x");
BENCHMARK_CAPTURE(PresentAtScale, 4x, QSize(1748, 1136), 4, false, false)->Name("Present/4x");
BENCHMARK_CAPTURE(PresentAtScale, full, kUhd, 1, true, false)->Name(kPresentLargestName);
BENCHMARK_CAPTURE(PresentAtScale, naive, kUhd, 1, true, true)->Name("Present/naive: whole field at 3840x2160");

}  // namespace
}  // namespace bopatron::bench
