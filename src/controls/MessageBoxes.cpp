#include "controls/MessageBoxes.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>

void QtMessageBoxes::Information(const QString& title, const QString& text) {
    QMessageBox::information(Parent, title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const QString& title, const QString& text) {
    // No is the default button on purpose: an Enter pressed by habit must not
    // stop the unit and end the program.
    return QMessageBox::question(Parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtMessageBoxes::InformationFor(const QString& title, const QString& text, int seconds) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, Parent);
    QTimer::singleShot(seconds * 1000, &box, &QMessageBox::accept);
    box.exec();
}

namespace {
void PrintBox(const QString& title, const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    std::fprintf(stderr, "zel_checker: [%s] %s\n", qPrintable(title), qPrintable(shown));
}
} // namespace

void UnattendedMessageBoxes::Information(const QString& title, const QString& text) {
    PrintBox(title, text);
}

bool UnattendedMessageBoxes::Question(const QString& title, const QString& text) {
    PrintBox(title, text + QStringLiteral(" (answered No)"));
    return false;
}

void UnattendedMessageBoxes::InformationFor(const QString& title, const QString& text,
                                            int /*seconds*/) {
    PrintBox(title, text);
}
