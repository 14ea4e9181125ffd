// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "tools/bots/round.h"

#include "demo/recording_host.h"
#include "demo/session.h"
#include "demo/wired_game.h"
#include "game/form1.h"
#include "world/rounds.h"

namespace bopatron::bots {

namespace {

// The host under the recording: the difficulty typed, a full table of its own, no sound.
class QuietHost : public runtime::Host {
public:
    QuietHost(std::string program, std::string difficulty) : program_(std::move(program)), difficulty_(std::move(difficulty)) {}
    void setClockEnabled(bool enabled) override { clock = enabled; }
    void setPointer(std::int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>& title) override {
        return title ? std::string() : difficulty_;
    }
    void randomize() override {}
    double rnd() override { return 0; }
    std::string programFolder() override { return program_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string&) override {}
    runtime::FileText readTable(const std::string&, std::size_t) override {
        std::string table;
        for (int i = 0; i < 5; ++i) table += "\"TOP\",9999\r\n";
        return {runtime::FileText::Status::Read, table, {}};
    }
    std::string replaceTable(const std::string&, std::string_view) override { return {}; }
    bool clock = false;

private:
    std::string program_, difficulty_;
};

}  // namespace

void feed(demo::Session& session, const std::vector<Input>& inputs) {
    for (const Input& in : inputs) {
        switch (in.what) {
            case Input::What::Move: session.mouseMove(0, 0, in.x, in.y); break;
            case Input::What::Down: session.mouseDown(1, 0, in.x, in.y); break;
            case Input::What::Up: session.mouseUp(1, 0, in.x, in.y); break;
        }
    }
}

std::string playRound(const RoundPlan& plan, const std::string& program, const draw::Surfaces& pictures,
                      const std::function<void(const std::string&)>& line,
                      const std::function<void(long tick, std::int16_t score)>& ticked) {
    std::string text;
    demo::Recorder recorder([&](const std::string& l) {
        text += l;
        if (line) line(l);
    });
    QuietHost quiet(program, std::to_string(plan.difficulty));
    demo::RecordingHost host(quiet, recorder);
    host.fixedSeed = plan.seed;
    draw::Surfaces surfaces = pictures;
    demo::WiredGame game(host, surfaces, recorder);
    game::Form1& form = game.form;
    demo::Session& session = game.session;
    const std::unique_ptr<Bot> bot = makeBot(plan.kind, plan.botSeed);

    session.load();
    session.mouseMove(0, 0, 40.5f, 22.0f);  // over the button
    session.click();
    if (plan.value) session.roundValue(*plan.value);
    for (long tick = 0; tick < game::kRoundTicks && quiet.clock; ++tick) {
        feed(session, bot->between({form.state(), tick, &host.random()}));
        if (tick > 0 && tick % world::kTicksAPart == 0) {  // part k is mixed in before the first tick of its second
            const int k = static_cast<int>(tick / world::kTicksAPart) + 1;
            const auto part = static_cast<std::size_t>(k - 2) < plan.parts.size() ? std::optional(plan.parts[k - 2])
                              : plan.partOf                                      ? plan.partOf(k)
                                                                                 : std::nullopt;
            if (part) session.roundValue(*part);
        }
        session.tick();
        if (ticked) ticked(tick + 1, form.state().score);
    }
    session.close();
    return text;
}

}  // namespace bopatron::bots
