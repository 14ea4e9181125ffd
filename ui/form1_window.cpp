#include "ui/form1_window.h"

#include "runtime/basic.h"
#include "sound/cues.h"
#include "ui/pictures.h"
#include "ui/timing_log.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

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

}  // namespace

Form1Window::Form1Window(const QString& programFolder, QWidget* parent)
    : QWidget(parent), host_(*this, timer1_, programFolder), form_(host_, surfaces_) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(QIcon(QDir(programFolder).filePath(QStringLiteral("bopatron.png"))));
    resize(kFieldWidth, kFieldHeight);
    setMouseTracking(true);
    // Outside the play field the window shows the button-face colour.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    // Pointer code 99 until the load event sets 0.
    host_.setPointer(runtime::kPointerCustom);

    loadPictures(surfaces_, programFolder, palette().color(QPalette::Button));
    surfaces_.Picbuf.text.foreColor = palette().color(QPalette::ButtonText);

    command1_ = new QPushButton(QString::fromLatin1(kNewGame), this);
    command1_->setGeometry(6, 6, 72, 33);
    command1_->setCursor(Qt::ArrowCursor);  // the button keeps the system arrow
    command1_->setFocusPolicy(Qt::StrongFocus);
    command1_->setFocus();
    setFocusProxy(command1_);
    connect(command1_, &QPushButton::clicked, this, [this] { handle([this] { form_.Command1_Click(); }); });

    timer1_.setInterval(kTickMs);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &Form1Window::onTick);

    // Cues are loaded once, before the first round.
    for (std::string_view cue : sound::kAllCues) {
        host_.sounds().preload(runtime::programPath(host_.programFolder(), cue));
    }
}

bool Form1Window::load() { return handle([this] { form_.Form_Load(); }); }

bool Form1Window::handle(const std::function<void()>& handler) {
    if (failed_) return false;
    ++running_;
    try {
        handler();
    } catch (const std::exception& error) {
        --running_;
        fail(error);
        return false;
    }
    --running_;
    return true;
}

void Form1Window::fail(const std::exception& error) {
    failed_ = true;
    timer1_.stop();
    QMessageBox::critical(this, QString::fromLatin1(kTitle), QString::fromUtf8(error.what()));
    QCoreApplication::exit(1);
}

void Form1Window::onTick() {
    if (running_ > 0) {
        ++droppedTicks_;
        return;
    }
    const std::int64_t start = TimingLog::instance().start();
    if (handle([this] { form_.Timer1_Timer(); })) {
        ++ticksRun_;
        TimingLog::instance().noteSpan("tick", form_.state().ticks.value_or(0), start);
        presented_ = true;
        update();
    }
}

void Form1Window::paintEvent(QPaintEvent*) {
    const std::int64_t start = TimingLog::instance().start();
    // A repaint that no tick asked for is the window's paint event.
    if (!presented_) handle([this] { form_.Form_Paint(); });
    presented_ = false;
    QPainter painter(this);
    painter.drawImage(0, 0, surfaces_.window.image());
    painter.end();
    TimingLog::instance().noteSpan("paint", ticksRun_, start);
}

void Form1Window::mousePressEvent(QMouseEvent* event) {
    const QPointF p = event->position();
    handle([&] {
        form_.Form_MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()),
                             static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

void Form1Window::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = event->position();
    handle([&] {
        form_.Form_MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()),
                             static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

void Form1Window::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF p = event->position();
    handle([&] {
        form_.Form_MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()),
                           static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
}

}  // namespace bopatron::ui
