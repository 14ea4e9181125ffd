#include "ui/qt_host.h"

#include "ui/timing_log.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace bopatron::ui {

namespace {

// The custom pointer: 32 x 32 pixels, every one of them transparent.
QCursor invisiblePointer() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return QCursor(pixmap, 0, 0);
}

}  // namespace

QtHost::QtHost(QWidget& window, QTimer& clock, QString programFolder)
    : window_(window), clock_(clock), folder_(std::move(programFolder)) {}

void QtHost::setClockEnabled(bool enabled) {
    if (enabled) {
        if (!clock_.isActive()) clock_.start();
    } else {
        clock_.stop();
    }
}

void QtHost::setPointer(std::int16_t code) {
    if (code == runtime::kPointerCustom) {
        window_.setCursor(invisiblePointer());
    } else {
        window_.setCursor(Qt::ArrowCursor);
    }
}

std::string QtHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    QInputDialog dialog(&window_);
    // Without a title of its own the box carries the program's name.
    dialog.setWindowTitle(title ? QString::fromStdString(*title) : QCoreApplication::applicationName());
    // A lone carriage return starts a new line of the prompt.
    dialog.setLabelText(QString::fromStdString(prompt).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setModal(true);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    TimingLog::instance().note("answer");
    if (!accepted) return {};
    return dialog.textValue().toStdString();
}

void QtHost::randomize() { random_.seedFromClock(); }

double QtHost::rnd() { return random_.next(); }

std::string QtHost::programFolder() { return QDir::toNativeSeparators(folder_).toStdString(); }

std::string QtHost::scoresFolder() {
    // Writable means a file can really be made there: permissions, owner and
    // a read-only file system all count.
    QTemporaryFile probe(QDir(folder_).filePath(QStringLiteral(".bopatron-XXXXXX")));
    if (probe.open()) return programFolder();

    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString table = QDir(data).filePath(QStringLiteral("Scores.txt"));
    if (QDir().mkpath(data) && !QFile::exists(table)) {
        QFile::copy(QDir(folder_).filePath(QStringLiteral("Scores.txt")), table);
        QFile::setPermissions(table, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return QDir::toNativeSeparators(data).toStdString();
}

void QtHost::playSoundAsync(const std::string& path) {
    if (!muted_) sounds_.play(path);
}

void QtHost::messageBox(const std::string& text) {
    QMessageBox::warning(&window_, QCoreApplication::applicationName(), QString::fromStdString(text));
}

}  // namespace bopatron::ui
