// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The real Form1 window on the offscreen platform: its controls, the clock,
// the pointer, the modal input box and the rule that ticks never re-enter.
#include "scores/score_file.h"
#include "ui/command_line.h"
#include "ui/form1_window.h"
#include "ui/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace bopatron::ui {
namespace {

// Answers the next input box once it has been open for delayMs, calling whileOpen first.
void answerNextInputBox(const QString& text, int delayMs = 0, std::function<void()> whileOpen = {}) {
    auto* poll = new QTimer(qApp);  // until the box opens
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            QTimer::singleShot(delayMs, box, [=] {
                if (whileOpen) whileOpen();
                box->setTextValue(text);
                box->accept();
            });
        }
    });
    poll->start(5);
}

class Form1WindowTest : public ::testing::Test {
protected:
    Form1WindowTest() {
        // The shipped pictures and sprite table, and a table of this test's own.
        const QDir program(QStringLiteral(BOPATRON_PROGRAM_DIR));
        for (const QString& name : program.entryList({"*.png", "*.spr"})) QFile::copy(program.filePath(name), dir.filePath(name));
        runtime::replaceFile(dir.filePath("Scores.txt").toStdString(), scores::initialScoresText());
        window = std::make_unique<Form1Window>(dir.path());
    }
    void loadAndShow() {
        ASSERT_TRUE(window->load());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // Presses "New Game" and answers the difficulty box.
    void newGame(const char* answer) {
        answerNextInputBox(QString::fromLatin1(answer));
        QTest::mouseClick(window->Command1(), Qt::LeftButton);
    }
    game::GameState& state() { return window->form().state(); }

    QTemporaryDir dir;
    std::unique_ptr<Form1Window> window;
};

TEST_F(Form1WindowTest, CreatedWithItsControlsThenLoadedWithTheArrowAndTheFocusOnTheButton) {
    QPushButton* button = window->Command1();
    EXPECT_EQ(std::tuple(window->windowTitle(), window->size(), button->text(), button->geometry()),
              std::tuple(QStringLiteral("Bopatron"), QSize(437, 284), QStringLiteral("New Game"), QRect(6, 6, 72, 33)));
    EXPECT_EQ(std::tuple(window->Timer1().interval(), window->Timer1().isActive()), std::tuple(20, false));
    EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor) << "the invisible pointer until load";
    EXPECT_EQ(button->cursor().shape(), Qt::ArrowCursor);
    loadAndShow();
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    window->activateWindow();
    QTest::qWait(20);
    EXPECT_TRUE(button->hasFocus());
}

TEST_F(Form1WindowTest, NewGameByClickOrSpaceAsksInAModalBoxThenRunsTheClockBehindTheInvisiblePointer) {
    loadAndShow();
    bool wasModal = false;
    answerNextInputBox(QStringLiteral("8"), 0, [&wasModal] { wasModal = QApplication::activeModalWidget()->isModal(); });
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(state().difficulty, 8);
    EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor);
    QTest::qWait(200);
    EXPECT_GE(*state().ticks, 3);
    EXPECT_EQ(window->ticksRun(), *state().ticks);
    answerNextInputBox(QStringLiteral("3"));
    QTest::keyClick(window->Command1(), Qt::Key_Space);
    EXPECT_EQ(std::tuple(state().difficulty, window->Timer1().isActive()), std::tuple(3, true));
}

TEST_F(Form1WindowTest, TicksArrivingWhileTheHighScoreBoxIsOpenAreDropped) {
    loadAndShow();
    state().ticks = 998;
    state().score = 5000;
    window->Timer1().start();
    long ranBeforeClose = -1;
    answerNextInputBox(QStringLiteral("WIN"), 300, [&] { ranBeforeClose = window->ticksRun(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Timer1().isActive(); }, 5000));
    EXPECT_EQ(ranBeforeClose, 1) << "tick 999 done, tick 1000 waiting in the box, no other";
    QTest::qWait(100);
    EXPECT_EQ(*state().ticks, 1000) << "no tick 1001";
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(runtime::readFile(dir.filePath("Scores.txt").toStdString(), 4096).text.substr(0, 12), "\"WIN\",5000\r\n");
}

// The clock keeps running while a box that a click opened is open; its ticks must not enter the game.
TEST_F(Form1WindowTest, TicksArrivingWhileTheDifficultyBoxIsOpenMidRoundAreDropped) {
    loadAndShow();
    newGame("0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ticksRun() >= 2; }, 5000));
    const long ranBefore = window->ticksRun();
    long ranInside = -1, droppedInside = -1;
    answerNextInputBox(QStringLiteral("5"), 200, [&] {
        ranInside = window->ticksRun();
        droppedInside = window->droppedTicks();
    });
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_EQ(ranInside, ranBefore);
    EXPECT_GE(droppedInside, 5);
    EXPECT_EQ(state().difficulty, 5);
    EXPECT_LE(*state().ticks, 1);
}

// Sent to a world table, a round's first tick waits while the world client says so (its
// value is on its way), and the value is written before it. Which answer belongs to which
// round is the world client's to say (its own tests).
TEST_F(Form1WindowTest, AWorldRoundsFirstTickWaitsForItsValue) {
    std::string lines;
    std::function<void(std::optional<std::uint64_t>)> answer;
    bool waiting = true;
    int pressed = 0;
    DemoPlan plan;
    plan.onLine = [&](const std::string& line) { lines += line; };
    plan.seed = 42;
    plan.newGame = [&] { ++pressed; };
    plan.askRoundValue = [&](std::function<void(std::optional<std::uint64_t>)> done) { answer = std::move(done); };
    plan.tickMayRun = [&] { return !waiting; };
    window = std::make_unique<Form1Window>(dir.path(), plan);
    loadAndShow();
    newGame("0");
    ASSERT_TRUE(answer);
    EXPECT_EQ(pressed, 1);
    QTest::qWait(100);
    EXPECT_EQ(*state().ticks, 0) << "no tick before the value";
    waiting = false;
    answer(77);
    ASSERT_TRUE(QTest::qWaitFor([&] { return *state().ticks >= 2; }, 2000));
    EXPECT_NE(lines.find("click\nanswer \"0\"\nvalue 77\ntick\n"), std::string::npos) << lines.substr(0, 200);
}

TEST_F(Form1WindowTest, MouseOverTheFieldMovesTheHandAndPressesWhackButNotOverTheButton) {
    loadAndShow();
    QTest::mouseMove(window.get(), QPoint(200, 150));
    QTest::qWait(10);
    EXPECT_EQ(std::tuple(state().handX, state().handY), std::tuple(185, 110));
    QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(state().handDown, 1);
    QTest::mouseRelease(window.get(), Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(state().handDown, 0);
    newGame("0");
    EXPECT_EQ(state().handDown, 0) << "a press on the button is the button's";
    EXPECT_TRUE(window->Timer1().isActive());
}

TEST_F(Form1WindowTest, AnEnlargedWindowShowsTheFieldAtItsCornerAndButtonFaceAroundIt) {
    loadAndShow();
    window->resize(600, 400);
    QTest::qWait(20);
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(shot.pixel(300, 200), window->surfaces().Picbak.pixel(300, 200));
    EXPECT_EQ(QColor(shot.pixel(550, 350)), window->palette().color(QPalette::Button));
}

TEST(DamagedData, OneBoxAtStartUpNamesEachFileAndWhatThePlayerWillSee) {
    QTemporaryDir empty;  // no pictures, no sprite table
    Form1Window window(empty.path());
    ASSERT_TRUE(window.load());
    window.show();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = window.findChild<QMessageBox*>()) && box->isVisible(); }));
    for (const char* expected : {"whack_img.spr is missing or empty: rats cannot be seen or hit",
                                 "Picbak.png cannot be read: the field is bare, without holes", "Picmsk3.png cannot be read"})
        EXPECT_TRUE(box->text().contains(QString::fromLatin1(expected))) << expected << " in " << box->text().toStdString();
    EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(empty.filePath(QStringLiteral("whack_img.spr"))));
    box->accept();
}

TEST_F(Form1WindowTest, PressesReachTheRulesInFieldPixelsAtEveryScale) {
    loadAndShow();
    // A rat at frame 12 of hole (0, 0) spans field pixels 193 to 236 across: a
    // press on its left edge misses, one a fraction inside hits. (scale,
    // fullscreen, window pixels right of the edge; the offscreen screen is 800
    // wide, so fullscreen shows the field at 1x, centred.)
    const std::tuple<int, bool, double> cases[] = {{1, false, 0}, {1, false, 1}, {2, false, 0}, {2, false, 0.5},
                                                   {3, false, 0}, {3, false, 1}, {3, true, 0},   {3, true, 1}};
    state().spr.sprOffX[12] = 6;
    state().spr.sprOffY[12] = 12;
    state().spr.sprW[12] = 44;
    state().spr.sprH[12] = 45;
    for (const auto& [scale, fullscreen, dx] : cases) {
        window->setScale(scale);
        window->setFullscreen(fullscreen);
        QTest::qWait(20);
        const int n = fullscreen ? 1 : scale;
        const QPoint origin = fullscreen ? QPoint((window->width() - 437) / 2, (window->height() - 284) / 2) : QPoint();
        EXPECT_EQ(window->Command1()->geometry(), QRect(origin + QPoint(6, 6) * n, QSize(72, 33) * n));
        if (!fullscreen) {
            EXPECT_EQ(window->size(), QSize(437, 284) * scale);
        }
        state().ratPos[0][0] = 12;
        state().score = 0;
        const QPointF at = QPointF(origin) + QPointF(193 * n + dx, 80 * n);
        QMouseEvent press(QEvent::MouseButtonPress, at, window->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(window.get(), &press);
        EXPECT_EQ(state().score, dx > 0 ? 36 : 0) << "scale " << scale << " +" << dx;
    }
}

TEST_F(Form1WindowTest, KeysChooseScaleFullscreenAndMuteAndAreRemembered) {
    loadAndShow();
    std::vector<std::pair<std::string, int>> chosen;
    window->onPlayerChoice = [&chosen](const char* key, int value) { chosen.emplace_back(key, value); };
    window->activateWindow();
    QTest::qWait(20);
    window->setScale(3);
    const std::tuple<int, Qt::KeyboardModifier, int, bool, bool> keys[] = {  // key, then scale, muted, fullscreen
        {Qt::Key_Minus, Qt::ControlModifier, 2, false, false}, {Qt::Key_0, Qt::ControlModifier, 1, false, false},
        {Qt::Key_Equal, Qt::ControlModifier, 1, false, false},  // 2x does not fit the 800 x 600 screen
        {Qt::Key_M, Qt::ControlModifier, 1, true, false},      {Qt::Key_F11, Qt::NoModifier, 1, true, true},
        {Qt::Key_Return, Qt::AltModifier, 1, true, false}};
    for (const auto& [key, modifier, scale, muted, fullscreen] : keys) {
        QTest::keyClick(window.get(), Qt::Key(key), modifier);
        EXPECT_EQ(std::tuple(window->scale(), window->muted(), window->isFullScreen()), std::tuple(scale, muted, fullscreen))
            << key;
    }
    EXPECT_EQ(chosen, (std::vector<std::pair<std::string, int>>{
                          {"scale", 2}, {"scale", 1}, {"mute", 1}, {"fullscreen", 1}, {"fullscreen", 0}}));
}

TEST_F(Form1WindowTest, TogglingFullscreenDuringARoundNeitherLosesNorDoublesATickAndMutedStartsNoCue) {
    loadAndShow();
    window->setMuted(true);
    newGame("0");
    for (int i = 0; i < 6; ++i) {
        window->setFullscreen(i % 2 == 0);
        QTest::qWait(45);
    }
    ASSERT_TRUE(window->Timer1().isActive());
    EXPECT_GE(window->ticksRun(), 10);
    EXPECT_EQ(std::tuple(long(*state().ticks), window->droppedTicks()), std::tuple(window->ticksRun(), 0));
    EXPECT_EQ(window->startedCues(), 0) << "muted";
    window->setMuted(false);
    newGame("4");
    EXPECT_EQ(std::tuple(state().difficulty, window->startedCues()), std::tuple(4, 1))
        << "only the unmuted round's opening line";
}

TEST(Presenting, OneChangedPixelAnywhereInATileSendsExactlyThatTile) {
    QImage before(kFieldWidth, kFieldHeight, QImage::Format_RGB32);
    before.fill(Qt::white);
    EXPECT_TRUE(changedTiles(before, before).isEmpty());
    // Each corner of a whole tile, the right half of a row, and the last, partial tiles.
    const std::pair<QPoint, QRect> cases[] = {
        {{0, 0}, {0, 0, 16, 16}},        {{15, 0}, {0, 0, 16, 16}},       {{0, 15}, {0, 0, 16, 16}},
        {{15, 15}, {0, 0, 16, 16}},      {{40, 21}, {32, 16, 16, 16}},    {{436, 100}, {432, 96, 5, 16}},
        {{200, 283}, {192, 272, 16, 12}}, {{436, 283}, {432, 272, 5, 12}}};
    for (const auto& [pixel, tile] : cases) {
        QImage now = before.copy();
        now.setPixel(pixel, qRgb(0, 0, 0));
        EXPECT_EQ(changedTiles(now, before), QRegion(tile)) << pixel.x() << "," << pixel.y();
    }
    EXPECT_EQ(changedTiles(QImage(10, 10, QImage::Format_RGB32), before), QRegion(0, 0, 10, 10)) << "another size: all of it";
}

TEST(QtHostTable, ALockLeftByACrashedGameIsTakenOverThenReleased) {
    QTemporaryDir dir;
    QTimer clock;
    QWidget parent;
    QtHost host(parent, clock, dir.path());
    const std::string table = dir.filePath("Scores.txt").toStdString();
    QFile lock(QString::fromStdString(table + ".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));  // a game that no longer runs held it
    lock.write("2147483646\nbopatron\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(host.lockTable(table));
    EXPECT_LT(waited.elapsed(), 1000) << "taken over at once";
    EXPECT_EQ(host.replaceTable(table, "\"ME \",1\r\n"), "");
    host.unlockTable(table);
    EXPECT_FALSE(lock.exists()) << "released";
    EXPECT_EQ(runtime::readFile(table, 4096).text, "\"ME \",1\r\n");
}

TEST(Settings, RememberedChoicesReadBackAndAnythingElseGivesTheDefaults) {
    QTemporaryDir dir;
    const auto read = [&dir](const char* name, const QByteArray& text) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        if (!text.isEmpty() && file.open(QIODevice::WriteOnly)) file.write(text);
        file.close();
        QSettings settings(file.fileName(), QSettings::IniFormat);
        const Settings s = readSettings(settings);
        return std::tuple(s.scale, s.fullscreen, s.mute);
    };
    const auto defaults = std::tuple(1, false, false);
    EXPECT_EQ(read("none.conf", {}), defaults);
    EXPECT_EQ(read("chosen.conf", "[General]\nscale=3\nfullscreen=1\nmute=1\n"), std::tuple(3, true, true));
    EXPECT_EQ(read("wild.conf", "[General]\nscale=9\nfullscreen=2\nmute=yes\n"), defaults);
    EXPECT_EQ(read("low.conf", "[General]\nscale=0\n"), defaults);
    EXPECT_EQ(read("junk.conf", QByteArray("\x00\xff[[[=\n", 8)), defaults);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.conf")));
    EXPECT_EQ(read("folder.conf", {}), defaults);
    {
        QSettings file(dir.filePath(QStringLiteral("kept.conf")), QSettings::IniFormat);
        remember(file, kScaleKey, 4);
        remember(file, kMuteKey, 1);
    }
    EXPECT_EQ(read("kept.conf", {}), std::tuple(4, false, true));
    // Starting: a remembered scale is reduced to what fits; an option is honoured as given.
    EXPECT_EQ(std::tuple(startScale({}, 5, 3), startScale({}, 2, 3), startScale(kScaleAuto, 1, 3), startScale(6, 1, 3)),
              std::tuple(3, 2, 3, 6));
}

}  // namespace
}  // namespace bopatron::ui

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Bopatron"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
