// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/form1_window.h"

#include "runtime/basic.h"
#include "sound/cues.h"
#include "ui/pictures.h"
#include "ui/settings.h"
#include "ui/timing_log.h"

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QShortcut>

#include <cmath>
#include <cstring>

namespace bopatron::ui {

namespace {

// The mouse button and shift state as the game's handlers receive them.
std::int16_t buttonCode(Qt::MouseButtons buttons) {
    std::int16_t code = 0;
    if (buttons & Qt::LeftButton) code |= 1;
    if (buttons & Qt::RightButton) code |= 2;
    if (buttons & Qt::MiddleButton) code |= 4;
    return code;
}

std::int16_t shiftCode(Qt::KeyboardModifiers modifiers) {
    std::int16_t code = 0;
    if (modifiers & Qt::ShiftModifier) code |= 1;
    if (modifiers & Qt::ControlModifier) code |= 2;
    if (modifiers & Qt::AltModifier) code |= 4;
    return code;
}

// The host the game sees: the demo when one is shown, the window's own host
// behind a recorder when the session is recorded, else the window's host.
// How long a box of a demo stays on screen with its answer.
constexpr int kDemoBoxMs = 900;

// A whole number of device pixels per window pixel: field pixels then map
// onto whole device pixels and a partial repaint leaves no seams.
bool wholeRatio(qreal ratio) { return ratio == std::floor(ratio); }

}  // namespace

Form1Window::Form1Window(const QString& programFolder, DemoPlan plan, QWidget* parent)
    : QWidget(parent),
      host_(*this, timer1_, programFolder),
      recorder_(plan.record || plan.onLine
                    ? std::make_unique<demo::Recorder>([file = plan.record, onLine = plan.onLine](const std::string& line) {
                          if (file) {
                              std::fwrite(line.data(), 1, line.size(), file);
                              std::fflush(file);  // a game killed now leaves every line written so far
                          }
                          if (onLine) onLine(line);
                      })
                    : nullptr),
      replay_(plan.play ? std::make_unique<demo::ReplayHost>(*plan.play, host_.programFolder(), &host_) : nullptr),
      recording_(recorder_ ? std::make_unique<demo::RecordingHost>(host_, *recorder_) : nullptr),
      game_(host_, surfaces_, recording_.get(), replay_.get(), recorder_.get(), recorder_ || replay_) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(QIcon(QDir(programFolder).filePath(QStringLiteral("bopatron.png"))));
    resize(kFieldWidth, kFieldHeight);
    setMouseTracking(true);
    // Outside the play field the window shows the button-face colour.
    QPalette face = palette();
    face.setColor(QPalette::Window, QColor::fromRgb(draw::kButtonFace));
    setPalette(face);
    // paintEvent covers every pixel itself: the field, and the face colour around it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Pointer code 99 until the load event sets 0.
    host_.setPointer(runtime::kPointerCustom);

    loadPictures(surfaces_, host_, programFolder);

    command1_ = new QPushButton(QString::fromLatin1(kNewGame), this);
    command1_->setGeometry(6, 6, 72, 33);
    command1_->setCursor(Qt::ArrowCursor);  // the button keeps the system arrow
    command1_->setFocusPolicy(Qt::StrongFocus);
    command1_->setFocus();
    setFocusProxy(command1_);
    buttonFont_ = command1_->font();
    connect(command1_, &QPushButton::clicked, this, [this] {
        if (replay_) return;
        // A value still on its way belongs to the round this press abandons: it must not
        // land inside this press's box, between its lines.
        if (plan_.newGame) plan_.newGame();
        if (!handle([this] { session_.click(); }) || !plan_.askRoundValue || !timer1_.isActive()) return;
        // The round's rats come from the world table's value: its first tick waits for it.
        plan_.askRoundValue([this](std::optional<std::uint64_t> value) {
            if (value) session_.roundValue(*value);
            if (timer1_.isActive()) timer1_.start();  // the first tick one period after the value
        });
    });

    timer1_.setInterval(kTickMs);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &Form1Window::onTick);

    shown_ = imageOf(surfaces_.window).copy();
    addShortcuts();

    if (recording_) {
        recording_->fixedSeed = plan.seed;
        if (plan.onTableStep) recording_->onTable = [this, step = plan.onTableStep] { step(form_.state().score); };
        plan_ = plan;
    }
    if (replay_) {
        setWindowTitle(QStringLiteral("%1 (demo)").arg(QString::fromLatin1(kTitle)));
        replay_->showBox = [this](const std::string& prompt, const std::optional<std::string>& title,
                                  const std::string& answer, bool cancelled) {
            showDemoBox(prompt, title, answer, cancelled);
        };
        demoClock_.setInterval(kTickMs);
        demoClock_.setTimerType(Qt::PreciseTimer);
        connect(&demoClock_, &QTimer::timeout, this, &Form1Window::stepDemo);
    }
}

void Form1Window::stepDemo() {
    // A box of the demo is open: the clock waits, as the game's clock does.
    if (running_ > 0) return;
    bool more = false;
    if (handle([this, &more] { more = demo::playEvents(*replay_, session_, demoOutcome_, true); })) {
        presented_ = true;
        showChanges();
    }
    if (!more) {
        demoClock_.stop();
        setWindowTitle(QStringLiteral("%1 (demo ended)").arg(QString::fromLatin1(kTitle)));
    }
}

void Form1Window::showDemoBox(const std::string& prompt, const std::optional<std::string>& title,
                              const std::string& answer, bool cancelled) {
    QInputDialog box(this);
    box.setWindowTitle(title ? QString::fromStdString(*title) : QString::fromLatin1(kTitle));
    box.setLabelText(QString::fromStdString(prompt).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    box.setTextValue(QString::fromStdString(answer));
    QTimer::singleShot(kDemoBoxMs, &box, [&box, cancelled] { cancelled ? box.reject() : box.accept(); });
    box.exec();
}

void Form1Window::addShortcuts() {
    // Keys the original never handled; each works wherever the focus is in the window.
    const auto bind = [this](const QList<QKeySequence>& keys, auto action) {
        for (const QKeySequence& key : keys) {
            connect(new QShortcut(key, this), &QShortcut::activated, this, action);
        }
    };
    // Each key changes one option and tells onPlayerChoice, which remembers it.
    const auto scaleTo = [this](int scale) {
        setScale(scale);
        if (onPlayerChoice) onPlayerChoice(kScaleKey, scale_);
    };
    bind({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, [this, scaleTo] {
        if (scale_ < largestWindowScale(screen()->availableGeometry().size())) scaleTo(scale_ + 1);
    });
    bind({QKeySequence::ZoomOut}, [this, scaleTo] {
        if (scale_ > 1) scaleTo(scale_ - 1);
    });
    bind({QKeySequence(Qt::CTRL | Qt::Key_0)}, [scaleTo] { scaleTo(1); });
    bind({QKeySequence(Qt::Key_F11), QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)},
         [this] {
             setFullscreen(!isFullScreen());
             if (onPlayerChoice) onPlayerChoice(kFullscreenKey, isFullScreen() ? 1 : 0);
         });
    bind({QKeySequence(Qt::CTRL | Qt::Key_M)}, [this] {
        setMuted(!muted());
        if (onPlayerChoice) onPlayerChoice(kMuteKey, muted() ? 1 : 0);
    });
}

void Form1Window::setScale(int scale) {
    scale_ = std::clamp(scale, 1, kMaxScale);
    if (!isFullScreen()) resize(kFieldWidth * scale_, kFieldHeight * scale_);
    layoutField();
}

void Form1Window::setFullscreen(bool on) {
    if (on == isFullScreen()) return;
    if (on) {
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        resize(kFieldWidth * scale_, kFieldHeight * scale_);
    }
    layoutField();
}

void Form1Window::resizeEvent(QResizeEvent*) { layoutField(); }

void Form1Window::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) layoutField();
    QWidget::changeEvent(event);
}

void Form1Window::layoutField() {
    view_ = viewFor(size(), scale_, isFullScreen());
    const int n = view_.scale;
    command1_->setGeometry(QRect(view_.origin + QPoint(6, 6) * n, QSize(72, 33) * n));
    QFont font = buttonFont_;
    if (buttonFont_.pixelSize() > 0) {
        font.setPixelSize(buttonFont_.pixelSize() * n);
    } else {
        font.setPointSizeF(buttonFont_.pointSizeF() * n);
    }
    command1_->setFont(font);
    update();
}

bool Form1Window::load() {
    if (!handle([this] { session_.load(); })) return false;
    if (replay_) demoClock_.start();
    if (!host_.damage().empty()) {
        // Said once, before the first round, without stopping the game.
        QString text = QStringLiteral("Some of the game's files are missing or damaged. The game runs without them:\n");
        for (const std::string& line : host_.damage()) text += QStringLiteral("\n") + QString::fromStdString(line);
        auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kTitle), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QTimer::singleShot(0, box, [box] { box->open(); });
    }
    return true;
}

bool Form1Window::handle(const std::function<void()>& handler) {
    if (failed_) return false;
    // Counted while it runs, however it ends.
    struct Running {
        int& count;
        explicit Running(int& c) : count(++c) {}
        ~Running() { --count; }
    } running(running_);
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        fail(error.what());
    } catch (...) {
        fail("Unexpected error");
    }
    return false;
}

void Form1Window::fail(const char* message) {
    failed_ = true;
    timer1_.stop();
    // The box waits for the player; it is never opened inside a paint event.
    const QString text = QString::fromUtf8(message);
    QTimer::singleShot(0, this, [this, text] {
        QMessageBox::critical(this, QString::fromLatin1(kTitle), text);
        QCoreApplication::exit(1);
    });
}

bool Form1Window::idle() const { return !timer1_.isActive() && running_ == 0 && !replay_; }

void Form1Window::onTick() {
    if (plan_.tickMayRun && !plan_.tickMayRun()) return;  // the round has not started: its value is on its way
    if (running_ > 0) {
        ++droppedTicks_;
        return;
    }
    const std::int64_t start = TimingLog::instance().start();
    if (handle([this] {
            if (plan_.partBeforeTick)
                if (const auto part = plan_.partBeforeTick()) session_.roundValue(*part);
            session_.tick();
        })) {
        ++ticksRun_;
        TimingLog::instance().noteSpan("tick", form_.state().ticks.value_or(0), start);
        presented_ = true;
        showChanges();
    }
}

void Form1Window::showChanges() {
    const QImage frame = imageOf(surfaces_.window);
    if (!wholeRatio(devicePixelRatioF())) {
        update(view_.fieldInWindow());
    } else {
        update(view_.toWindow(changedTiles(frame, shown_)));
    }
    if (shown_.size() == frame.size()) {
        std::memcpy(shown_.bits(), frame.constBits(), static_cast<std::size_t>(frame.sizeInBytes()));
    } else {
        shown_ = frame.copy();
    }
}

void Form1Window::paintEvent(QPaintEvent* event) {
    const std::int64_t start = TimingLog::instance().start();
    // A repaint that no tick asked for is the window's paint event.
    if (!presented_) handle([this] { form_.Form_Paint(); });
    presented_ = false;
    QPainter painter(this);
    paintField(painter, event->region(), view_, imageOf(surfaces_.window), palette().color(QPalette::Window));
    painter.end();
    if (!cuesLoaded_) {
        // Cues are loaded once, before the first round but after the first frame.
        cuesLoaded_ = true;
        QTimer::singleShot(0, this, [this] {
            for (std::string_view cue : sound::kAllCues) {
                host_.sounds().preload(runtime::programPath(host_.programFolder(), cue));
            }
        });
    }
    TimingLog::instance().noteSpan("paint", ticksRun_, start);
}

void Form1Window::mousePressEvent(QMouseEvent* event) {
    if (replay_) return;  // a demo being shown ignores the player's mouse
    const QPointF p = view_.toField(event->position());
    handle([&] {
        session_.mouseDown(buttonCode(event->button()), shiftCode(event->modifiers()),
                             static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

void Form1Window::mouseMoveEvent(QMouseEvent* event) {
    if (replay_) return;  // a demo being shown ignores the player's mouse
    const QPointF p = view_.toField(event->position());
    handle([&] {
        session_.mouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()),
                             static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

void Form1Window::mouseReleaseEvent(QMouseEvent* event) {
    if (replay_) return;  // a demo being shown ignores the player's mouse
    const QPointF p = view_.toField(event->position());
    handle([&] {
        session_.mouseUp(buttonCode(event->button()), shiftCode(event->modifiers()),
                           static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

}  // namespace bopatron::ui
