// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// record_demos: plays scripted sessions with a bot and records each as a
// demo, the way a player's session is recorded: the game sees the recording
// host, the bot sees the game's state and aims its presses at the rats.
// Usage: record_demos PROGRAM_FOLDER OUT_FOLDER
//        record_demos PROGRAM_FOLDER --round SEED INITIALS FILE [VALUE] [--player=KIND]
//        record_demos PROGRAM_FOLDER --plan [--player=KIND]
//        record_demos PROGRAM_FOLDER --live BOT
// The golden demos in tests/demos were made by it once; they are never
// remade to let a change pass. --round records one round at difficulty 0
// with the given seed (and a world table's VALUE for it), as a world
// table's tests need: with INITIALS typed into the "Top 5" box, or with "-"
// against a local table it cannot enter, so that no box asks. --plan plays
// sessions on a world table for the load driver, which carries each request
// the game's world client makes and hands back its answer (below). --live
// plays one round on the seed, value and parts it reads, and writes the demo
// as it plays. --round, --plan and --live rounds are played by the model of a
// person (tools/bots), whose rounds the world table places; --player=instant
// (or another bot's name) plays them as no person can, for the rounds it must hold.

#include "demo/session.h"
#include "demo/wired_game.h"
#include "world/client.h"
#include "draw/compositor.h"
#include "draw/pictures.h"
#include "game/form1.h"
#include "scores/score_file.h"
#include "image/png_decoder.h"
#include "tools/bots/round.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace bopatron;

// An answer to type into a box, or a cancelled box.
struct Answer {
    std::string text;
    bool cancel = false;
};

// Where the bot presses inside a rat's frame.
enum class Aim { Middle, Edges, Overlaps };

struct Round {
    Answer difficulty;
    Answer initials;     // typed when the score is placed
    double skill = 0.9;  // the chance that the bot goes for a rat it sees
    Aim aim = Aim::Middle;
    int ticks = 1000;    // ticks before the next press of "New Game" (a press mid-round when < 1000)
    std::optional<std::uint64_t> value;  // a world table's value for the round
    // Who plays it instead of this bot (skill and aim unused): the world table holds
    // rounds no person could have played, so those meant to place are a person's.
    std::optional<bots::Kind> player;
};

struct Plan {
    std::string name;
    std::uint64_t seed;
    std::vector<Round> rounds;
    std::string table = scores::initialScoresText();  // the local table the session starts with
};

// The host the bot plays on: answers by box, a table of its own, no sound.
class BotHost : public runtime::Host {
public:
    BotHost(std::string program, std::string scores) : program_(std::move(program)), scores_(std::move(scores)) {}
    void setClockEnabled(bool enabled) override { clock = enabled; }
    void setPointer(std::int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>& title) override {
        std::deque<Answer>& queue = title ? initials : difficulties;
        const Answer answer = queue.empty() ? Answer{} : queue.front();
        if (!queue.empty()) queue.pop_front();
        cancelled_ = answer.cancel;
        return answer.cancel ? std::string() : answer.text;
    }
    bool lastBoxCancelled() const override { return cancelled_; }
    void randomize() override {}
    double rnd() override { return 0; }
    std::string programFolder() override { return program_; }
    std::string scoresFolder() override { return scores_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }

    bool clock = false;
    std::deque<Answer> difficulties;
    std::deque<Answer> initials;

private:
    std::string program_;
    std::string scores_;
    bool cancelled_ = false;
};

struct Frame {
    float left, top, right, bottom;
};

Frame frameOf(const game::GameState& s, int row, int col) {
    const std::int16_t f = s.ratPos[row][col];
    const float left = static_cast<float>(s.holeX[row][col] + s.spr.sprOffX[f]);
    const float top = static_cast<float>(s.holeY[row][col] + s.spr.sprOffY[f]);
    return {left, top, left + s.spr.sprW[f], top + s.spr.sprH[f]};
}

// The presses of one tick: where the bot whacks the rats it goes for.
std::vector<std::pair<float, float>> aimAt(const game::GameState& s, const Round& round, std::mt19937& dice) {
    std::vector<Frame> up;
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            if (s.ratPos[row][col] >= 1 && s.ratPos[row][col] <= 12 &&
                std::uniform_real_distribution<double>(0, 1)(dice) < round.skill)
                up.push_back(frameOf(s, row, col));
    std::vector<std::pair<float, float>> presses;
    for (std::size_t i = 0; i < up.size(); ++i) {
        const Frame& a = up[i];
        if (round.aim == Aim::Overlaps) {
            // Where two rats' frames overlap, one press whacks both.
            for (std::size_t j = i + 1; j < up.size(); ++j) {
                const Frame& b = up[j];
                const Frame both{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                                 std::min(a.bottom, b.bottom)};
                if (both.left < both.right && both.top < both.bottom)
                    presses.emplace_back((both.left + both.right) / 2, (both.top + both.bottom) / 2);
            }
        }
        if (round.aim == Aim::Edges) {
            // Just inside, exactly on, and just outside each edge in turn: a
            // frame's edges do not count as inside it.
            constexpr float kNear[] = {0.25f, 0.0f, -0.5f, 0.5f};
            const float d = kNear[dice() % 4];
            const float midX = (a.left + a.right) / 2, midY = (a.top + a.bottom) / 2;
            switch (dice() % 4) {
                case 0: presses.emplace_back(a.left + d, midY); break;
                case 1: presses.emplace_back(a.right - d, midY); break;
                case 2: presses.emplace_back(midX, a.top + d); break;
                default: presses.emplace_back(midX, a.bottom - d); break;
            }
        } else {
            presses.emplace_back((a.left + a.right) / 2, (a.top + a.bottom) / 2 + 3.5f);
        }
    }
    return presses;
}

// What a player's plan is told and asked as it plays: every line written, the
// round's value after "New Game" (the plan's own when not asked), the part to mix in
// right before each tick, each tick played, each table step's score.
struct Hooks {
    std::function<void(const std::string&)> write;
    std::function<std::optional<std::uint64_t>()> valueOf;
    std::function<std::optional<std::uint64_t>()> partBeforeTick;
    std::function<void()> ticked;
    std::function<void(int)> tabled;
};

// The pictures, decoded once: --plan plays many rounds, on several threads.
const draw::Surfaces& pictures(runtime::Host& host, const std::string& program) {
    static const draw::Surfaces loaded = [&] {
        draw::Surfaces s;
        draw::loadPictures(s, host, program, image::decodePng);
        return s;
    }();
    return loaded;
}

// Plays the plan with the bot, telling `hooks` as it goes.
void play(const Plan& plan, const std::string& program, const std::string& scores, const Hooks& hooks) {
    demo::Recorder recorder(hooks.write);
    BotHost bot(program, scores);
    demo::RecordingHost host(bot, recorder);
    host.fixedSeed = plan.seed;
    draw::Surfaces surfaces = pictures(bot, program);
    demo::WiredGame game(host, surfaces, recorder);
    game::Form1& form = game.form;
    demo::Session& session = game.session;
    if (hooks.tabled) host.onTable = [&] { hooks.tabled(form.state().score); };
    std::mt19937 dice(static_cast<std::uint32_t>(plan.seed));

    session.load();
    float x = 200, y = 150;
    for (const Round& round : plan.rounds) {
        bot.difficulties.push_back(round.difficulty);
        bot.initials.push_back(round.initials);
        session.mouseMove(0, 0, 40.5f, 22.0f);  // over the button
        session.click();
        if (bot.clock)
            if (const auto value = hooks.valueOf ? hooks.valueOf() : round.value) session.roundValue(*value);
        const std::unique_ptr<bots::Bot> player = round.player ? bots::makeBot(*round.player, dice()) : nullptr;
        for (int t = 0; t < round.ticks && bot.clock; ++t) {
            if (player) bots::feed(session, player->between({form.state(), t, &host.random()}));
            for (const auto& [px, py] : player ? std::vector<std::pair<float, float>>{} : aimAt(form.state(), round, dice)) {
                // The hand travels to the rat in two moves, then whacks.
                session.mouseMove(0, 0, (x + px) / 2, (y + py) / 2);
                x = px;
                y = py;
                session.mouseMove(0, 0, x, y);
                session.mouseDown(1, 0, x, y);
                session.mouseUp(1, 0, x, y);
            }
            if (hooks.partBeforeTick)
                if (const auto part = hooks.partBeforeTick()) session.roundValue(*part);
            session.tick();
            if (hooks.ticked) hooks.ticked();
        }
        bot.initials.clear();
    }
    session.close();
}

void record(const Plan& plan, const std::string& program, const std::string& out) {
    const std::string scores = out + "/scores-" + plan.name;
    std::filesystem::create_directories(scores);
    runtime::replaceFile(scores + "/Scores.txt", plan.table);
    std::FILE* file = std::fopen((out + "/" + plan.name + ".dem").c_str(), "wb");
    Hooks hooks;
    hooks.write = [file](const std::string& line) { std::fwrite(line.data(), 1, line.size(), file); };
    play(plan, program, scores, hooks);
    std::fclose(file);
    std::filesystem::remove_all(scores);
}

// A round for a load player: difficulty 0, played by `player`; with initials "-" against
// a local table it cannot enter, so that no box asks.
Plan loadRound(std::uint64_t seed, const std::string& initials, std::optional<std::uint64_t> value, bots::Kind player) {
    Plan plan{"round", seed, {{{"0"}, {initials}, 0.95, Aim::Middle, 1000, value, player}}};
    if (initials == "-") {
        plan.table.clear();
        for (int i = 0; i < 5; ++i) plan.table += "\"TOP\",9999\r\n";
    }
    return plan;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += c;
        else if (c == '\n') out += "\\n";
        else if (static_cast<unsigned char>(c) < 0x20) out += "?";
        else out += c;
    }
    return out + "\"";
}

// --plan: plays the sessions it is given at once, each on a thread of its own, as the
// game plays them on a world table: a line "SESSION SEED ROUNDS" starts one, whose
// player plays ROUNDS rounds one after the other at difficulty 0 (the first starting at
// 0 ms, a tick every 20 ms from its value on, each next round straight after). The
// session's world client decides every request, as the game's does: a JSON line for
// each, {"session": ..., "at": MS, "path": ..., "body": ...}, as soon as the play
// reaches it, so that the driver can send it at the game's pace; the play waits for its
// answer, a line "SESSION STATUS BODY" (status 0: none came), so that each round is
// played on the value and the parts the table gave. {"session": ..., "end": true} after
// the session's last request. The driver answers each session's requests in order.
class Inbox {
public:
    void put(world::Answer answer) {
        const std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
        ready_.notify_one();
    }
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_one();
    }
    world::Answer take() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !answers_.empty(); });
        if (answers_.empty()) return {};
        world::Answer a = std::move(answers_.front());
        answers_.pop_front();
        return a;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<world::Answer> answers_;
    bool closed_ = false;
};

std::mutex printing;
void print(const std::string& line) {
    const std::lock_guard lock(printing);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void playSession(const std::string& program, bots::Kind player, const std::string& session, std::uint64_t seed, int rounds,
                 Inbox& inbox) {
    const std::string scores = (std::filesystem::temp_directory_path() / ("record-demos-" + std::to_string(getpid()) + "-" + session)).string();
    std::filesystem::create_directories(scores);
    world::Client client;
    client.sessionAnswered({200, "{\"session\":\"" + session + "\",\"seed\":\"" + std::to_string(seed) + "\"}"}, "");
    Plan plan = loadRound(seed, "BOT", std::nullopt, player);
    for (int r = 1; r < rounds; ++r) plan.rounds.push_back(plan.rounds.front());
    runtime::replaceFile(scores + "/Scores.txt", plan.table);
    std::int64_t now = 0;
    const std::string tag = "{\"session\":" + jsonString(session);
    const auto carry = [&](const world::Request& r) {
        print(tag + ",\"at\":" + std::to_string(now) + ",\"path\":" + jsonString(r.path) + ",\"body\":" + jsonString(r.body) + "}\n");
        return inbox.take();
    };
    const auto sendDue = [&] {
        while (const auto r = client.due(now)) client.answered(carry(*r), now);
    };
    Hooks hooks;
    hooks.write = [&](const std::string& l) {
        // The session goes on after these rounds (the driver's next plays on): no closing line.
        if (l.rfind("end ", 0) != 0) client.add(l);
    };
    hooks.valueOf = [&]() -> std::optional<std::uint64_t> {
        client.newGame();
        const auto ask = client.askValue();
        return ask ? client.valueAnswered(ask->ask, carry(ask->request)).value : std::nullopt;
    };
    hooks.partBeforeTick = [&] { return client.partBeforeTick(); };
    hooks.ticked = [&] {
        now += 20;
        sendDue();
    };
    hooks.tabled = [&](int score) { client.tableStep(score); };
    play(plan, program, scores, hooks);
    now += 1000;  // what the round's close left is sent with the next batch
    sendDue();
    print(tag + ",\"end\":true}\n");
    std::filesystem::remove_all(scores);
}

int plans(const std::string& program, bots::Kind player) {
    BotHost host(program, {});
    pictures(host, program);
    std::map<std::string, Inbox> inboxes;  // a session's, kept until all end (the map never moves them)
    std::vector<std::thread> playing;
    std::string text;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            text += static_cast<char>(c);
            continue;
        }
        std::istringstream line(text);
        std::string session;
        std::uint64_t first = 0;
        line >> session >> first;
        if (!line) break;
        if (!inboxes.count(session)) {
            int rounds = 1;
            line >> rounds;
            playing.emplace_back(playSession, program, player, session, first, std::max(1, rounds), std::ref(inboxes[session]));
        } else {
            std::string body;
            std::getline(line >> std::ws, body);
            inboxes[session].put({static_cast<int>(first), body});
        }
        text.clear();
    }
    for (auto& [session, inbox] : inboxes) inbox.close();
    for (std::thread& t : playing) t.join();
    return 0;
}

// --live BOT: one round at difficulty 0 played by BOT (a tools/bots player), on the
// session's lines read from standard input: its "seed N" line, then "value N" for the
// round's value and each part after it. The demo's lines go to standard output as the
// game plays them, each tick's flushed; the play waits on standard input for each part
// as its second begins, and goes on without it once standard input has ended.
int live(const std::string& program, bots::Kind player) {
    const auto read = [](const char* word) -> std::optional<std::uint64_t> {
        char text[256];
        std::string name;
        std::uint64_t number = 0;
        if (!std::fgets(text, sizeof text, stdin)) return std::nullopt;
        std::istringstream line(text);
        if (!(line >> name >> number) || name != word) {
            std::fprintf(stderr, "record_demos: expected \"%s N\", read %s", word, text);
            std::exit(2);
        }
        return number;
    };
    const auto seed = read("seed");
    if (!seed) return 2;
    BotHost host(program, {});
    bots::RoundPlan plan;
    plan.kind = player;
    plan.seed = *seed;
    plan.value = read("value");
    plan.botSeed = static_cast<std::uint32_t>(*seed);
    plan.partOf = [&](int) { return read("value"); };
    bots::playRound(plan, program, pictures(host, program), [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        if (line == "tick\n") std::fflush(stdout);
    });
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // --player=KIND (last) plays --round and --plan with another of tools/bots' players.
    bots::Kind player = bots::Kind::Person;
    if (argc > 3 && std::string(argv[argc - 1]).rfind("--player=", 0) == 0) {
        const auto named = bots::kindNamed(std::string(argv[argc - 1]).substr(9));
        if (!named) {
            std::fprintf(stderr, "record_demos: no player called %s\n", argv[argc - 1] + 9);
            return 2;
        }
        player = *named;
        --argc;
    }
    if (argc == 3 && std::string(argv[2]) == "--plan") return plans(argv[1], player);
    if (argc == 4 && std::string(argv[2]) == "--live") {
        const auto named = bots::kindNamed(argv[3]);
        if (!named) {
            std::fprintf(stderr, "record_demos: no player called %s\n", argv[3]);
            return 2;
        }
        return live(argv[1], *named);
    }
    if ((argc == 6 || argc == 7) && std::string(argv[2]) == "--round") {
        const std::filesystem::path file = argv[5];
        Plan plan = loadRound(std::stoull(argv[3]), argv[4], argc == 7 ? std::optional(std::stoull(argv[6])) : std::nullopt, player);
        plan.name = file.stem().string();
        const std::string folder = file.parent_path().empty() ? "." : file.parent_path().string();
        record(plan, argv[1], folder);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: record_demos PROGRAM_FOLDER OUT_FOLDER\n"
                             "       record_demos PROGRAM_FOLDER --round SEED INITIALS|- FILE [VALUE] [--player=KIND]\n"
                             "       record_demos PROGRAM_FOLDER --plan [--player=KIND]\n"
                             "       record_demos PROGRAM_FOLDER --live BOT\n");
        return 2;
    }
    const std::vector<Plan> plans = {
        // Difficulty 0 played well and placed with typed initials, then a
        // second round at 4 straight after, with the rats left from the first,
        // played badly and not placed.
        {"two-rounds", 20261208,
         {{{"0"}, {"Zoë"}, 0.95, Aim::Middle}, {{"4"}, {"NOP"}, 0.02, Aim::Middle}}},
        // Difficulty 8 at the edges of the rats' frames; "New Game" pressed
        // mid-round and its box cancelled (difficulty 0), then whacks where
        // frames overlap; the "Top 5" box cancelled.
        {"edges-and-restart", 4242,
         {{{"8"}, {"ABC"}, 1.0, Aim::Edges, 430}, {{"", true}, {"", true}, 1.0, Aim::Overlaps}}},
        // Difficulty 4, then 12 (played as 8) and "New Game" pressed twice mid-round.
        {"hard-rounds", 777,
         {{{"4.5"}, {"DEF"}, 0.7, Aim::Middle, 250}, {{"12"}, {"GHI"}, 0.85, Aim::Overlaps, 120},
          {{" 8abc"}, {"J\"K,L"}, 0.9, Aim::Edges}}},
        // Recorded with a checkpoint after each round's last tick, as a world
        // table needs: "New Game" mid-round, then a round at 1 placed with
        // typed initials that ends off the 100-tick grid, then one at 6
        // played badly and not placed in the local table.
        {"world-rounds", 31337,
         {{{"2"}, {"NOT"}, 0.9, Aim::Middle, 333}, {{"1"}, {"ACE"}, 0.95, Aim::Middle},
          {{"6"}, {"LOW"}, 0.05, Aim::Middle}}},
        // A world table's session: each round on a value of the table's, folded
        // in before its first tick. "New Game" pressed mid-round (that round's
        // value goes unused), then a round at 2 placed with typed initials, then
        // one at 5 played badly.
        {"value-rounds", 8675309,
         {{{"3"}, {"NOT"}, 0.9, Aim::Middle, 400, 11400714819323198485u},
          {{"2"}, {"VAL"}, 0.95, Aim::Middle, 1000, 1311768467463790320u},
          {{"5"}, {"LOW"}, 0.05, Aim::Middle, 1000, 3735928559u}}},
        // The same shape played by the model of a person (whose rounds the
        // world table places): "New Game" mid-round, then a round at 2 placed
        // in a local table of low scores with typed initials, then one at 5
        // below them.
        {"person-rounds", 8675309,
         {{{"3"}, {"NOT"}, 0, Aim::Middle, 400, 11400714819323198485u, bots::Kind::Person},
          {{"2"}, {"PER"}, 0, Aim::Middle, 1000, 1311768467463790320u, bots::Kind::Person},
          {{"5"}, {"SON"}, 0, Aim::Middle, 1000, 3735928559u, bots::Kind::Person}},
         "\"LOW\",-100\r\n\"LOW\",-100\r\n\"LOW\",-100\r\n\"LOW\",-100\r\n\"LOW\",-100\r\n"},
    };
    for (const Plan& plan : plans) record(plan, argv[1], argv[2]);
    return 0;
}
