#include "ui/form1_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(bopatron::ui::kTitle));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));

    bopatron::ui::Form1Window window(QCoreApplication::applicationDirPath());
    if (!window.load()) return 1;
    window.show();
    return QApplication::exec();
}
