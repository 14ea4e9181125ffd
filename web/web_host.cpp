// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The browser host: the game's core over the page's canvas, dialog, Web Audio
// and site storage. The page (app.js) owns the clock, the pointer events and
// the pictures' decoding; it calls the functions exported here, and the game
// reaches the page through the Bopatron object that app.js defines.
#include "demo/session.h"
#include "demo/timedemo.h"
#include "demo/wired_game.h"
#include "world/client.h"
#include "draw/compositor.h"
#include "draw/pictures.h"
#include "game/form1.h"
#include "runtime/host.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace bopatron;

constexpr char kProgramFolder[] = "/game";  // the sprite table lies here, written by the page
constexpr char kScoresFolder[] = "site storage";

// Bytes from the page: a buffer it allocated with malloc, taken over here;
// a length below 0 means up to the terminating zero.
std::string takeBytes(char* data, int length) {
    if (data == nullptr) return {};
    std::string bytes(data, length < 0 ? std::strlen(data) : static_cast<std::size_t>(length));
    std::free(data);
    return bytes;
}

}  // namespace

// The page's side of the host.
EM_JS(void, pageSetClock, (int on), { Bopatron.setClock(on !== 0); });
EM_JS(void, pageSetPointer, (int code), { Bopatron.setPointer(code); });
EM_ASYNC_JS(char*, pageInputBox, (const char* prompt, const char* title, int* cancelled), {
    const answer = await Bopatron.inputBox(UTF8ToString(prompt), title ? UTF8ToString(title) : null);
    HEAP32[cancelled >> 2] = answer === null ? 1 : 0;
    const text = answer === null ? "" : answer;
    const size = lengthBytesUTF8(text) + 1;
    const out = _malloc(size);
    stringToUTF8(text, out, size);
    return out;
});
EM_ASYNC_JS(void, pageShowAnswer, (const char* prompt, const char* title, const char* answer, int cancelled), {
    await Bopatron.showAnswer(UTF8ToString(prompt), title ? UTF8ToString(title) : null, UTF8ToString(answer),
                              cancelled !== 0);
});
EM_JS(void, pagePlayCue, (const char* path), { Bopatron.playCue(UTF8ToString(path)); });
EM_JS(void, pageMessage, (const char* text), { Bopatron.message(UTF8ToString(text)); });
// The table as one byte a character: status 0 read, 1 missing, 2 unreadable (text is the reason).
EM_ASYNC_JS(char*, pageReadTable, (int* status, int* length), {
    const read = await Bopatron.readTable();
    HEAP32[status >> 2] = read.status;
    HEAP32[length >> 2] = read.text.length;
    const out = _malloc(read.text.length + 1);
    for (let i = 0; i < read.text.length; ++i) HEAPU8[out + i] = read.text.charCodeAt(i) & 0xff;
    return out;
});
EM_ASYNC_JS(char*, pageReplaceTable, (const char* data, int length), {
    let text = "";
    for (let i = 0; i < length; ++i) text += String.fromCharCode(HEAPU8[data + i]);
    const error = await Bopatron.replaceTable(text);
    if (!error) return 0;
    const size = lengthBytesUTF8(error) + 1;
    const out = _malloc(size);
    stringToUTF8(error, out, size);
    return out;
});
EM_ASYNC_JS(int, pageLockTable, (), { return (await Bopatron.lockTable()) ? 1 : 0; });
EM_JS(void, pageUnlockTable, (), { Bopatron.unlockTable(); });
EM_JS(void, pagePresent, (const std::uint8_t* rgba, int width, int height), {
    Bopatron.present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});

namespace {

class WebHost : public runtime::Host {
public:
    void setClockEnabled(bool enabled) override { pageSetClock(enabled ? 1 : 0); }
    void setPointer(std::int16_t code) override { pageSetPointer(code); }
    std::string inputBox(const std::string& prompt, const std::optional<std::string>& title) override {
        int cancelled = 0;
        std::string answer = takeBytes(pageInputBox(prompt.c_str(), title ? title->c_str() : nullptr, &cancelled), -1);
        cancelled_ = cancelled != 0;
        return answer;
    }
    bool lastBoxCancelled() const override { return cancelled_; }
    void randomize() override { random_.seedFromClock(); }
    double rnd() override { return random_.next(); }
    std::string programFolder() override { return kProgramFolder; }
    std::string scoresFolder() override { return kScoresFolder; }
    void playSoundAsync(const std::string& path) override { pagePlayCue(path.c_str()); }
    void messageBox(const std::string& text) override { pageMessage(text.c_str()); }
    void reportDamage(const std::string& file, const std::string& effect) override {
        pageMessage((file + " " + effect + ".").c_str());
    }
    runtime::FileText readTable(const std::string&, std::size_t limit) override {
        int status = 0, length = 0;
        char* data = pageReadTable(&status, &length);
        std::string text = takeBytes(data, length);
        if (status == 1) return {};
        if (status == 2) return {runtime::FileText::Status::Unreadable, {}, text};
        runtime::keepWholeLines(text, limit);  // as from a file
        return {runtime::FileText::Status::Read, text, {}};
    }
    std::string replaceTable(const std::string&, std::string_view text) override {
        const std::string bytes(text);
        char* error = pageReplaceTable(bytes.data(), static_cast<int>(bytes.size()));
        return takeBytes(error, -1);
    }
    bool lockTable(const std::string&) override { return pageLockTable() != 0; }
    void unlockTable(const std::string&) override { pageUnlockTable(); }

private:
    runtime::RandomSource random_;
    bool cancelled_ = false;
};

// The pictures the page decoded, by file name.
std::map<std::string, draw::Surface> decoded;

std::optional<draw::Surface> decodedPicture(const std::string& path) {
    const auto found = decoded.find(path.substr(path.find_last_of('/') + 1));
    if (found == decoded.end()) return std::nullopt;
    return found->second;
}

// The world table's client: the page carries its requests (world.js).
world::Client worldClient;
std::optional<std::uint64_t> worldSeed;

// A request as the page reads it: method, path, content type and time limit on a line each, then the body.
const char* requestText(const world::Request& r) {
    static std::string text;
    text = r.method + "\n" + r.path + "\n" + r.contentType + "\n" + std::to_string(r.timeoutMs) + "\n" + r.body;
    return text.c_str();
}

// One session on the page: the player's own, recorded as it goes, or a demo shown.
struct Page {
    WebHost host;
    std::string recorded;
    // With the world table on, every line also goes to the world client.
    bool toWorld = false;
    demo::Recorder recorder{[this](const std::string& line) {
        recorded += line;
        if (toWorld) worldClient.add(line);
    }};
    demo::RecordingHost recording{host, recorder};
    demo::Demo shown;
    std::unique_ptr<demo::ReplayHost> replay;
    demo::Outcome outcome;
    draw::Surfaces surfaces;
    std::unique_ptr<demo::WiredGame> game;
    demo::Session* session = nullptr;
    std::vector<std::uint8_t> rgba;
};
Page* page = nullptr;

void present() {
    const draw::Surface& frame = page->surfaces.window;
    page->rgba.resize(frame.pixels().size() * 4);
    std::uint8_t* out = page->rgba.data();
    for (const std::uint32_t pixel : frame.pixels()) {
        *out++ = static_cast<std::uint8_t>(pixel >> 16);
        *out++ = static_cast<std::uint8_t>(pixel >> 8);
        *out++ = static_cast<std::uint8_t>(pixel);
        *out++ = 0xff;
    }
    pagePresent(page->rgba.data(), frame.width(), frame.height());
}

// Runs one handler; an error of the run time is said on the page and ends the game.
template <typename Handler> int handle(Handler handler) {
    try {
        handler();
        return 1;
    } catch (const std::exception& error) {
        pageMessage(error.what());
    } catch (...) {
        pageMessage("Unexpected error");
    }
    pageSetClock(0);
    return 0;
}

}  // namespace

extern "C" {

// A picture the page decoded: width x height pixels of red, green, blue and alpha.
EMSCRIPTEN_KEEPALIVE void web_picture(const char* name, int width, int height, const std::uint8_t* rgba) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i, rgba += 4)
        pixels[i] = 0xff000000u | std::uint32_t{rgba[0]} << 16 | std::uint32_t{rgba[1]} << 8 | rgba[2];
    decoded[name] = draw::Surface(width, height, std::move(pixels));
}

// Starts the game: the player's session, or with demoPath the demo in that file (shown at the
// game's pace by web_step). Returns 0 when the demo cannot be used; its error is said on the page.
// With a world session taken (web_world_begin), the game draws from its seed instead of
// the clock, and its lines go to the world client for the page to send (web_world_*).
EMSCRIPTEN_KEEPALIVE int web_start(const char* demoPath) {
    page = new Page;
    runtime::Host* host = &page->recording;
    if (demoPath == nullptr && worldSeed) {
        page->toWorld = true;
        // The demo's first line is written as the recorder is made: it goes first.
        for (std::size_t at = 0, end; (end = page->recorded.find('\n', at)) != std::string::npos; at = end + 1)
            worldClient.add(page->recorded.substr(at, end + 1 - at));
        page->recording.fixedSeed = worldSeed;
        page->recording.onTable = [] { worldClient.tableStep(page->game->form.state().score); };
    }
    if (demoPath != nullptr) {
        page->shown = demo::readDemo(demoPath);
        if (!page->shown.error.empty()) {
            pageMessage(page->shown.error.c_str());
            return 0;
        }
        page->replay = std::make_unique<demo::ReplayHost>(page->shown, kProgramFolder, &page->host);
        page->replay->showBox = [](const std::string& prompt, const std::optional<std::string>& title,
                                   const std::string& answer, bool cancelled) {
            pageShowAnswer(prompt.c_str(), title ? title->c_str() : nullptr, answer.c_str(), cancelled ? 1 : 0);
        };
        host = page->replay.get();
    }
    draw::loadPictures(page->surfaces, *host, kProgramFolder, decodedPicture);
    page->game = std::make_unique<demo::WiredGame>(page->host, page->surfaces, &page->recording, page->replay.get(),
                                                   page->replay ? nullptr : &page->recorder);
    page->session = &page->game->session;
    // The load event, then the window's first paint event.
    const int ok = handle([] {
        page->session->load();
        page->game->form.Form_Paint();
    });
    present();
    return ok;
}

// The game clock's interval, for the page's timer.
EMSCRIPTEN_KEEPALIVE int web_tick_ms() { return game::kTickMs; }
EMSCRIPTEN_KEEPALIVE int web_click() { return handle([] { page->session->click(); }); }

EMSCRIPTEN_KEEPALIVE int web_tick() {
    const int ok = handle([] {
        // A round sent to the world table mixes in each part of its randomness as its second begins.
        if (page->toWorld)
            if (const auto part = worldClient.partBeforeTick()) page->session->roundValue(*part);
        page->session->tick();
    });
    present();
    return ok;
}

// kind: 0 move, 1 down, 2 up; x and y in field pixels.
EMSCRIPTEN_KEEPALIVE int web_mouse(int kind, int button, int shift, float x, float y) {
    return handle([=] {
        const auto b = static_cast<std::int16_t>(button), s = static_cast<std::int16_t>(shift);
        if (kind == 0) page->session->mouseMove(b, s, x, y);
        if (kind == 1) page->session->mouseDown(b, s, x, y);
        if (kind == 2) page->session->mouseUp(b, s, x, y);
    });
}

// Plays the demo being shown up to and including its next tick. Returns 1 while it has more.
EMSCRIPTEN_KEEPALIVE int web_step() {
    int more = 0;
    handle([&more] { more = demo::playEvents(*page->replay, *page->session, page->outcome, true) ? 1 : 0; });
    present();
    return more;
}

// The session so far as a demo file, closed as if it ended now.
EMSCRIPTEN_KEEPALIVE const char* web_demo_text() {
    static std::string text;
    text = page->recorded + demo::formatEvent(page->session->summary(demo::Event::Kind::End)) + "\n";
    return text.c_str();
}

// Plays the demo file as fast as it goes; returns the timedemo line (and the
// first difference or the file's error on the next line), also printed on the console.
EMSCRIPTEN_KEEPALIVE const char* web_timedemo(const char* path) {
    static std::string text;
    std::FILE* out = std::tmpfile();
    demo::timedemoMain(path, kProgramFolder, decodedPicture, out, out);
    std::rewind(out);
    text.clear();
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    std::printf("%s", text.c_str());
    return text.c_str();
}

// The world table's client; the page carries what it asks (world.js). Requests are given
// as text: method, path, content type and time limit on a line each, then the body.

// Asks for a session at start-up.
EMSCRIPTEN_KEEPALIVE const char* web_world_session_request() { return requestText(world::Client::sessionRequest()); }
// The answer to it (status 0: none came). Returns 1 when the table took the session.
EMSCRIPTEN_KEEPALIVE int web_world_begin(int status, const char* body) {
    worldSeed = worldClient.sessionAnswered({status, body}, "the table");
    return worldSeed ? 1 : 0;
}
// "New Game" pressed: a value still on its way belongs to the round it abandons.
EMSCRIPTEN_KEEPALIVE void web_world_new_game() { worldClient.newGame(); }
// The round just started asks for its value (its first tick waits for it): the request, and
// in web_world_asked the number its answer goes back with; "" when the table takes no rounds.
static int lastAsk = 0;
EMSCRIPTEN_KEEPALIVE const char* web_world_value_request() {
    const auto ask = worldClient.askValue();
    lastAsk = ask ? ask->ask : 0;
    return ask ? requestText(ask->request) : "";
}
EMSCRIPTEN_KEEPALIVE int web_world_asked() { return lastAsk; }
// The answer to an ask (status 0: none came in time); a stale one changes nothing.
EMSCRIPTEN_KEEPALIVE void web_world_value(int ask, int status, const char* body) {
    const world::RoundValue round = worldClient.valueAnswered(ask, {status, body});
    if (round.value && page != nullptr && page->toWorld) handle([&] { page->session->roundValue(*round.value); });
}
// 0 while the round's value is on its way: no tick runs.
EMSCRIPTEN_KEEPALIVE int web_world_tick_may_run() { return worldClient.tickMayRun() ? 1 : 0; }
// A record whose initials the world's box asks once (0: none), the box's prompt and title,
// the request that sends what was typed, and what its answer means ("" when kept).
EMSCRIPTEN_KEEPALIVE double web_world_initials_to_ask() { return static_cast<double>(worldClient.initialsToAsk().value_or(0)); }
EMSCRIPTEN_KEEPALIVE const char* web_world_initials_prompt() { return world::kWorldInitialsPrompt; }
EMSCRIPTEN_KEEPALIVE const char* web_world_initials_title() { return world::kWorldInitialsTitle; }
EMSCRIPTEN_KEEPALIVE int web_world_initials_length() { return world::kWorldInitialsLength; }
EMSCRIPTEN_KEEPALIVE const char* web_world_initials_request(double record, const char* typed) {
    return requestText(worldClient.initialsRequest(static_cast<long long>(record), typed));
}
EMSCRIPTEN_KEEPALIVE const char* web_world_initials_answered(int status, const char* body) {
    static std::string said;
    said = world::Client::initialsAnswered({status, body});
    return said.c_str();
}
// The batch due now, or "" when none is.
EMSCRIPTEN_KEEPALIVE const char* web_world_due(double nowMs) {
    const auto request = page != nullptr && page->toWorld ? worldClient.due(static_cast<std::int64_t>(nowMs)) : std::nullopt;
    return request ? requestText(*request) : "";
}
EMSCRIPTEN_KEEPALIVE void web_world_answered(int status, const char* body, double nowMs) {
    worldClient.answered({status, body}, static_cast<std::int64_t>(nowMs));
}
// 1: a batch should go out at once; 2: lines or a claim wait to be sent; 4: the client is on.
EMSCRIPTEN_KEEPALIVE int web_world_state() {
    if (page == nullptr || !page->toWorld) return 0;
    return (worldClient.urgent() ? 1 : 0) | (worldClient.waiting() ? 2 : 0) | (worldClient.on() ? 4 : 0);
}
// What the player should be told, a line each: kind, round, placed (0 or 1), record and the
// notice as the player reads it, separated by tabs. Kinds: on, off, verdict, unsent, off-table.
EMSCRIPTEN_KEEPALIVE const char* web_world_notices() {
    static std::string text;
    static constexpr const char* kKinds[] = {"on", "off", "verdict", "unsent", "off-table"};
    text.clear();
    for (const world::Notice& n : worldClient.takeNotices())
        text += std::string(kKinds[static_cast<int>(n.kind)]) + "\t" + std::to_string(n.round) + "\t" +
                (n.placed ? "1" : "0") + "\t" + std::to_string(n.record) + "\t" + n.line() + "\n";
    return text.c_str();
}

}  // extern "C"
