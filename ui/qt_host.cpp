// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/qt_host.h"

#include "ui/timing_log.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QFileInfo>
#include <QInputDialog>
#include <QLockFile>
#include <QSaveFile>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace bopatron::ui {

namespace {

constexpr int kLockWaitMs = 3000;    // another game holds the lock for a read and a write only
constexpr int kStaleLockMs = 10000;  // a lock older than this was left by a game that crashed

// The custom pointer: 32 x 32 pixels, every one of them transparent.
QCursor invisiblePointer() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return QCursor(pixmap, 0, 0);
}

}  // namespace

QtHost::QtHost(QWidget& window, QTimer& clock, QString programFolder)
    : window_(window), clock_(clock), folder_(std::move(programFolder)) {}

QtHost::~QtHost() = default;

SoundPlayer& QtHost::sounds() {
    if (!sounds_) sounds_ = std::make_unique<SoundPlayer>();
    return *sounds_;
}

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
    cancelled_ = !accepted;
    if (!accepted) return {};
    return dialog.textValue().toStdString();
}

void QtHost::randomize() { random_.seedFromClock(); }

double QtHost::rnd() { return random_.next(); }

std::string QtHost::programFolder() { return QDir::toNativeSeparators(folder_).toStdString(); }

std::string QtHost::scoresFolder() {
    // Decided once per start: the table stays where the first round found it.
    if (scoresFolder_.empty()) scoresFolder_ = chooseScoresFolder();
    return scoresFolder_;
}

std::string QtHost::chooseScoresFolder() {
    // The program folder keeps the table when the game may rewrite it there:
    // not an installed game (whoever runs it, root included), and a table
    // that can be replaced, which takes a writable file and folder.
    const QDir program(folder_);
    const QFileInfo table(program.filePath(QStringLiteral("Scores.txt")));
    const bool installed = QFileInfo::exists(program.filePath(QString::fromLatin1(kInstalledMarker)));
    const bool folderWritable = QFileInfo(folder_).isWritable();
    if (!installed && folderWritable && (!table.exists() || table.isWritable())) return programFolder();

    // Otherwise each player keeps a table of their own, copied from the
    // program folder's the first time.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString own = QDir(data).filePath(QStringLiteral("Scores.txt"));
    if (QDir().mkpath(data) && !QFileInfo::exists(own) && QFile::copy(table.filePath(), own)) {
        QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return QDir::toNativeSeparators(data).toStdString();
}

void QtHost::playSoundAsync(const std::string& path) {
    if (!muted_) sounds().play(path);
}

void QtHost::reportDamage(const std::string& file, const std::string& effect) {
    Host::reportDamage(file, effect);
    damage_.push_back(file + " " + effect + ".");
}

void QtHost::messageBox(const std::string& text) {
    QMessageBox::warning(&window_, QCoreApplication::applicationName(), QString::fromStdString(text));
}

}  // namespace bopatron::ui

namespace bopatron::ui {

std::string QtHost::replaceTable(const std::string& path, std::string_view text) {
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered, so that a short write (a full disk) shows at once.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return file.errorString().toStdString();
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        const std::string error = file.errorString().toStdString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

bool QtHost::lockTable(const std::string& path) {
    lock_ = std::make_unique<QLockFile>(QString::fromStdString(path + ".lock"));
    lock_->setStaleLockTime(kStaleLockMs);
    return lock_->tryLock(kLockWaitMs);
}

void QtHost::unlockTable(const std::string&) { lock_.reset(); }

}  // namespace bopatron::ui
