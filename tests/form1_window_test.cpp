// The real Form1 window on the offscreen platform: its controls, the clock,
// the pointer, the modal input box and the rule that ticks never re-enter.
#include "scores/score_file.h"
#include "ui/form1_window.h"

#include <QApplication>
#include <QInputDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace bopatron::ui {
namespace {

// Answers the next input box once it has been open for delayMs, calling
// whileOpen first; the box must open within a few seconds.
void answerNextInputBox(const QString& text, int delayMs = 0, std::function<void()> whileOpen = {}) {
    auto poll = std::make_shared<std::function<void()>>();
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    *poll = [=] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (deadline->elapsed() < 5000) QTimer::singleShot(5, *poll);
            return;
        }
        QTimer::singleShot(delayMs, box, [=] {
            if (whileOpen) whileOpen();
            box->setTextValue(text);
            box->accept();
        });
    };
    QTimer::singleShot(0, *poll);
}

class Form1WindowTest : public ::testing::Test {
protected:
    Form1WindowTest() {
        scores::writeFileAtomically(dir.filePath("Scores.txt").toStdString(), scores::initialScoresText());
        window = std::make_unique<Form1Window>(dir.path());
    }
    void loadAndShow() {
        ASSERT_TRUE(window->load());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    game::GameState& state() { return window->form().state(); }

    QTemporaryDir dir;
    std::unique_ptr<Form1Window> window;
};

TEST_F(Form1WindowTest, WindowAndControlsAsCreated) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Bopatron"));
    EXPECT_EQ(window->size(), QSize(437, 284));
    QPushButton* button = window->Command1();
    EXPECT_EQ(button->text(), QStringLiteral("New Game"));
    EXPECT_EQ(button->geometry(), QRect(6, 6, 72, 33));
    EXPECT_EQ(window->Timer1().interval(), 20);
    EXPECT_EQ(window->Timer1().timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(window->Timer1().isActive());
    EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor) << "the invisible pointer until load";
    EXPECT_EQ(button->cursor().shape(), Qt::ArrowCursor);
    const draw::Surfaces& s = window->surfaces();
    EXPECT_EQ(s.Picbuf.image().size(), QSize(437, 284));
    EXPECT_EQ(s.Picbak.image().size(), QSize(436, 284));
    EXPECT_EQ(s.Picmsk.image().size(), QSize(275, 181));
    EXPECT_EQ(s.Picimg3.image().size(), QSize(275, 182));
}

TEST_F(Form1WindowTest, LoadShowsTheArrowAndTheButtonHoldsTheFocus) {
    loadAndShow();
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(window->Timer1().isActive());
    window->activateWindow();
    QTest::qWait(20);
    EXPECT_TRUE(window->Command1()->hasFocus());
}

TEST_F(Form1WindowTest, NewGameAsksInAModalBoxThenRunsTheClockBehindTheInvisiblePointer) {
    loadAndShow();
    bool wasModal = false;
    answerNextInputBox(QStringLiteral("8"), 0, [&wasModal] {
        wasModal = QApplication::activeModalWidget() != nullptr && QApplication::activeModalWidget()->isModal();
    });
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(state().difficulty, 8);
    EXPECT_TRUE(window->Timer1().isActive());
    EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor);
    QTest::qWait(200);
    EXPECT_GE(*state().ticks, 3);
    EXPECT_EQ(window->ticksRun(), *state().ticks);
}

TEST_F(Form1WindowTest, SpaceOnTheFocusedButtonPressesNewGame) {
    loadAndShow();
    answerNextInputBox(QStringLiteral("3"));
    QTest::keyClick(window->Command1(), Qt::Key_Space);
    EXPECT_EQ(state().difficulty, 3);
    EXPECT_TRUE(window->Timer1().isActive());
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
    EXPECT_EQ(*state().ticks, 1000);
    QTest::qWait(100);
    EXPECT_EQ(*state().ticks, 1000) << "no tick 1001";
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    const auto text = scores::readFile(dir.filePath("Scores.txt").toStdString());
    EXPECT_EQ(text->substr(0, 12), "\"WIN\",5000\r\n");
}

TEST_F(Form1WindowTest, TicksArrivingWhileTheDifficultyBoxIsOpenMidRoundAreDropped) {
    loadAndShow();
    answerNextInputBox(QStringLiteral("0"));
    QTest::mouseClick(window->Command1(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ticksRun() >= 2; }, 5000));
    const long ranBefore = window->ticksRun();
    long ranInside = -1;
    long droppedInside = -1;
    // The clock keeps running while the box is open; its ticks must not enter the game.
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

TEST_F(Form1WindowTest, MouseOverTheFieldMovesTheHandAndPressesWhackButNotOverTheButton) {
    loadAndShow();
    QTest::mouseMove(window.get(), QPoint(200, 150));
    QTest::qWait(10);
    EXPECT_EQ(state().handX, 185);
    EXPECT_EQ(state().handY, 110);
    QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(state().handDown, 1);
    QTest::mouseRelease(window.get(), Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(state().handDown, 0);
    answerNextInputBox(QStringLiteral("0"));
    QTest::mouseClick(window->Command1(), Qt::LeftButton, {}, QPoint(30, 15));
    EXPECT_EQ(state().handDown, 0) << "a press on the button is the button's";
    EXPECT_TRUE(window->Timer1().isActive());
}

TEST_F(Form1WindowTest, TheWindowShowsTheBackBufferAndButtonFaceOutsideIt) {
    loadAndShow();
    window->resize(600, 400);
    QTest::qWait(20);
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(shot.pixel(300, 200), window->surfaces().Picbak.image().pixel(300, 200));
    EXPECT_EQ(QColor(shot.pixel(550, 350)), window->palette().color(QPalette::Button));
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
