// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The browser host: the game's core over the page's canvas, dialog, Web Audio
// and site storage. The page (app.js) owns the clock, the pointer events and
// the pictures' decoding; it calls the functions exported here, and the game
// reaches the page through the Bopatron object that app.js defines.
#include "demo/session.h"
#include "demo/world_stream.h"
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

// One session on the page: the player's own, recorded as it goes, or a demo shown.
struct Page {
    WebHost host;
    std::string recorded;
    // With the world table on, every line also goes to the stream the page sends.
    bool toWorld = false;
    demo::WorldStream world;
    demo::WorldStream::Batch sending;
    demo::Recorder recorder{[this](const std::string& line) {
        recorded += line;
        if (toWorld) world.add(line);
    }};
    demo::RecordingHost recording{host, recorder};
    demo::Demo shown;
    std::unique_ptr<demo::ReplayHost> replay;
    demo::Outcome outcome;
    draw::Surfaces surfaces;
    std::unique_ptr<game::Form1> form;
    std::unique_ptr<demo::Session> session;
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
// worldSeed, a decimal number, is the seed a world table gave the session: the game draws from
// it instead of the clock, and its lines are kept for the page to send (web_world_*).
EMSCRIPTEN_KEEPALIVE int web_start(const char* demoPath, const char* worldSeed) {
    page = new Page;
    runtime::Host* host = &page->recording;
    if (demoPath == nullptr && worldSeed != nullptr) {
        page->toWorld = true;
        // The demo's first line is written as the recorder is made: it goes first.
        for (std::size_t at = 0, end; (end = page->recorded.find('\n', at)) != std::string::npos; at = end + 1)
            page->world.add(page->recorded.substr(at, end + 1 - at));
        page->recording.fixedSeed = std::strtoull(worldSeed, nullptr, 10);
        page->recording.onTable = [] { page->world.tableStep(page->form->state().score); };
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
    page->form = std::make_unique<game::Form1>(*host, page->surfaces);
    page->session = std::make_unique<demo::Session>(*page->form, page->surfaces, page->replay ? nullptr : &page->recorder);
    const auto cue = [](const std::string& path) { page->session->cueStarted(path); };
    page->recording.onCue = cue;
    if (page->replay) page->replay->onCue = cue;
    // The load event, then the window's first paint event.
    const int ok = handle([] {
        page->session->load();
        page->form->Form_Paint();
    });
    present();
    return ok;
}

EMSCRIPTEN_KEEPALIVE int web_click() { return handle([] { page->session->click(); }); }

EMSCRIPTEN_KEEPALIVE int web_tick() {
    const int ok = handle([] { page->session->tick(); });
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

// The world table's stream. web_world_next takes the next batch: its lines (returned) and,
// through web_world_batch, its first line's number (0), the number after its last (1), the
// round and score it claims (2, 3; 0 and 0 when none) and the bytes of its lines (4).
EMSCRIPTEN_KEEPALIVE const char* web_world_next() {
    page->sending = page->world.next();
    return page->sending.text.c_str();
}

EMSCRIPTEN_KEEPALIVE double web_world_batch(int field) {
    const demo::WorldStream::Batch& b = page->sending;
    const long values[] = {b.from, b.upTo, b.claim ? b.claim->round : 0, b.claim ? b.claim->score : 0,
                           static_cast<long>(b.text.size())};
    return field >= 0 && field < 5 ? static_cast<double>(values[field]) : 0;
}

// The server answered the batch: it now holds this many lines.
EMSCRIPTEN_KEEPALIVE void web_world_taken(double lines) { page->world.taken(page->sending, static_cast<long>(lines)); }
// The server expects this line next.
EMSCRIPTEN_KEEPALIVE void web_world_expect(double line) { page->world.expect(static_cast<long>(line)); }
// 1: something should go out at once; 2: lines or a claim wait to be sent.
EMSCRIPTEN_KEEPALIVE int web_world_state() {
    if (page == nullptr || !page->toWorld) return 0;
    return (page->world.urgent() ? 1 : 0) | (page->world.waiting() ? 2 : 0);
}
EMSCRIPTEN_KEEPALIVE int web_world_rounds() { return page->world.roundsEnded(); }

}  // extern "C"
