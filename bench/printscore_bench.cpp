// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The end of a round with the shipped five-record table: a score that is not
// placed (read and show) and one that is (read, ask, rewrite and show); and
// the same with those five records followed by 10 MB more, which must cost
// no more.

#include "bench/bench_host.h"
#include "scores/printscore.h"
#include "scores/score_file.h"
#include "draw/compositor.h"
#include "draw/pictures.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace bopatron::bench {
namespace {

void Printscore(benchmark::State& state) {
    const auto score = static_cast<std::int16_t>(state.range(0));
    QTemporaryDir dir;
    BenchHost host(dir.path().toStdString());
    const std::string path = scores::scoresPath(host);
    std::string table = scores::initialScoresText();
    if (state.range(1) != 0) {
        while (table.size() < 10'000'000) table += "\"JNK\",1\r\n";
    }
    if (!runtime::replaceFile(path, table).empty()) {
        state.SkipWithError("cannot write the table");
        return;
    }
    draw::Surface Picbuf(draw::kFieldWidth, draw::kFieldHeight, draw::kButtonFace);
    for (auto _ : state) {
        Picbuf.text.currentX = 0;
        Picbuf.text.currentY = 0;
        scores::printscore(host, Picbuf, score);
        if (score != 0) {  // a placed score rewrote it: the next round meets the same table
            state.PauseTiming();
            runtime::replaceFile(path, table);
            state.ResumeTiming();
        }
    }
    if (!host.lastMessage.empty()) state.SkipWithError(host.lastMessage.c_str());
}
BENCHMARK(Printscore)
    ->Name("Scores/printscore")
    ->ArgNames({"score", "huge"})
    ->Args({0, 0})
    ->Args({600, 0})
    ->Args({0, 1})
    ->Args({600, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bopatron::bench
