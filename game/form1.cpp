// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "game/form1.h"

#include "runtime/basic.h"
#include "scores/printscore.h"
#include "sound/cues.h"

#include <string>

namespace bopatron::game {

using runtime::add16;
using runtime::intOf;
using runtime::mul16;
using runtime::sub16;
using runtime::toInteger;

namespace {

constexpr std::int16_t kSinkPenalty = 20;
constexpr std::int16_t kLastWhackedPos = 14;
constexpr std::int16_t kWhackedPace = 10;
constexpr std::int16_t kLowestDifficulty = -32737;  // 30 - difficulty must fit 16 bits
constexpr std::int16_t kHardest = 8;

// Int(Rnd * n) as a 16-bit integer.
std::int16_t roll(runtime::Host& host, double n) { return toInteger(intOf(host.rnd() * n)); }

}  // namespace

std::int16_t difficultyFromAnswer(const std::string& answer) {
    const double value = runtime::val(answer);
    if (value > kHardest) return kHardest;
    if (value < kLowestDifficulty) return kLowestDifficulty;
    return toInteger(value);
}

Form1::Form1(runtime::Host& host, draw::Surfaces& surfaces) : host_(host), surfaces_(surfaces) {}

void Form1::Form_Load() {
    host_.randomize();
    draw::restoreBackground(surfaces_);
    host_.setClockEnabled(false);
    host_.setPointer(runtime::kPointerDefault);

    const std::string path = runtime::programPath(host_.programFolder(), draw::kSpriteFile);
    const std::size_t found = draw::loadSpriteTable(path, s_.spr);
    if (found < draw::kSpriteBytes) {
        // The game still starts, but rats whose frames are missing cannot be seen or hit.
        host_.reportDamage(path, found == 0 ? "is missing or empty: rats cannot be seen or hit"
                                            : "holds only " + std::to_string(found) + " of its " +
                                                  std::to_string(draw::kSpriteBytes) +
                                                  " bytes: some rats cannot be seen or hit");
    }

    for (std::int16_t col = 0; col <= 2; ++col) {
        for (std::int16_t row = 0; row <= 2; ++row) {
            stickrat(row, col, kHoleX[row][col], kHoleY[row][col], 0);
        }
    }
}

void Form1::stickrat(std::int16_t row, std::int16_t col, std::int16_t X, std::int16_t Y,
                     std::int16_t pos) {
    s_.holeX[row][col] = X;
    s_.holeY[row][col] = Y;
    s_.ratPos[row][col] = pos;
}

void Form1::Command1_Click() {
    s_.ticks = 0;
    s_.score = 0;
    s_.difficulty = difficultyFromAnswer(host_.inputBox(kDifficultyPrompt, std::nullopt));
    host_.setClockEnabled(true);
    host_.setPointer(runtime::kPointerCustom);
    s_.dice = roll(host_, 4);
    sound::playCue(host_, sound::kOpeningCues.at(static_cast<std::size_t>(s_.dice)));
}

void Form1::Timer1_Timer() {
    draw::restoreBackground(surfaces_);
    const draw::SheetPair sheets = draw::selectSheets(surfaces_, s_.ratKind);
    s_.ticks = add16(s_.ticks.value_or(0), 1);
    popuprats();
    draw::drawStatusText(surfaces_, s_.score, *s_.ticks);
    if (*s_.ticks == kRoundTicks) {
        scores::printscore(host_, surfaces_.Picbuf, s_.score);
        host_.setClockEnabled(false);
        host_.setPointer(runtime::kPointerDefault);
    }
    for (std::int16_t col = 0; col <= 2; ++col) {
        for (std::int16_t row = 0; row <= 2; ++row) {
            draw::drawarat(surfaces_, s_.spr, s_.holeX[row][col], s_.holeY[row][col],
                           s_.ratPos[row][col], sheets);
            updateRat(sheets, row, col);
        }
    }
    draw::drawhand(surfaces_, s_.handX, s_.handY, s_.handDown, sheets);
    draw::present(surfaces_);
}

void Form1::popuprats() {
    const double r1 = host_.rnd();
    const std::int16_t n = sub16(static_cast<std::int16_t>(kSpawnBase), s_.difficulty);
    if (intOf(r1 * n) != 1) return;
    const std::int16_t row = roll(host_, kHolePick);
    const std::int16_t col = roll(host_, kHolePick);
    if (s_.ratPos[row][col] != 0) return;
    s_.ratPos[row][col] = kPopUpPos;
    const std::int16_t m = sub16(kPaceBase, s_.difficulty);
    s_.ratPace[row][col] = add16(roll(host_, m), 1);
}

bool Form1::onPace(std::int16_t row, std::int16_t col) const {
    const std::int16_t pace = s_.ratPace[row][col];
    if (pace == 0) throw runtime::RuntimeError(11, "Division by zero");
    return s_.ticks.value_or(0) % pace == 0;
}

void Form1::updateRat(draw::SheetPair /*sheets*/, std::int16_t row, std::int16_t col) {
    std::int16_t& pos = s_.ratPos[row][col];
    if (pos >= 1 && pos <= kPopUpPos) {
        if (onPace(row, col)) {
            pos = sub16(pos, 1);
            if (pos == 0) s_.score = sub16(s_.score, kSinkPenalty);
        }
    } else if (pos > kPopUpPos) {
        if (onPace(row, col)) {
            pos = add16(pos, 1);
            if (pos > kLastWhackedPos) {
                pos = 0;
                characterChange();
            }
        }
    }
}

void Form1::characterChange() {
    s_.ratKind = roll(host_, 3);
    s_.firstKind = s_.ratKind == 0 ? 1 : 0;
    s_.dice = roll(host_, 7);
    if (s_.dice >= 4) {
        const auto kind = static_cast<std::size_t>(s_.ratKind);
        const auto remark = static_cast<std::size_t>(s_.dice - 4);
        sound::playCue(host_, sound::kRemarkCues.at(kind).at(remark));
    }
}

void Form1::Form_MouseMove(std::int16_t, std::int16_t, float X, float Y) {
    s_.handX = toInteger(X - 15.0f);
    s_.handY = toInteger(Y - 40.0f);
}

void Form1::Form_MouseUp(std::int16_t, std::int16_t, float, float) { s_.handDown = 0; }

void Form1::Form_MouseDown(std::int16_t, std::int16_t, float X, float Y) {
    if (s_.handDown == 0) s_.handDown = 1;
    const draw::SpriteTable& t = s_.spr;
    for (std::int16_t col = 0; col <= 2; ++col) {
        for (std::int16_t row = 0; row <= 2; ++row) {
            const std::int16_t f = s_.ratPos[row][col];
            if (f < 1 || f > kPopUpPos) continue;
            const std::int16_t left = add16(s_.holeX[row][col], t.sprOffX[f]);
            const std::int16_t right = add16(left, t.sprW[f]);
            const std::int16_t top = add16(s_.holeY[row][col], t.sprOffY[f]);
            const std::int16_t bottom = add16(top, t.sprH[f]);
            const bool hit = static_cast<float>(left) < X && X < static_cast<float>(right) &&
                             static_cast<float>(top) < Y && Y < static_cast<float>(bottom);
            if (!hit) continue;
            s_.score = add16(s_.score, mul16(3, f));
            s_.dice = roll(host_, 6);
            std::string_view cue;
            switch (s_.dice) {
                case 0:
                case 1:
                case 2:
                    cue = s_.firstKind == 1 ? sound::kWhackPop : sound::kWhackPop3;
                    break;
                case 3:
                    cue = sound::kWhackPop2;
                    break;
                case 4:
                    cue = sound::kPlink;
                    break;
                default:
                    cue = sound::kBoink;
                    break;
            }
            sound::playCue(host_, cue);
            s_.ratPos[row][col] = kWhackedPos;
            s_.ratPace[row][col] = kWhackedPace;
        }
    }
}

void Form1::Form_Paint() { draw::present(surfaces_); }

}  // namespace bopatron::game
