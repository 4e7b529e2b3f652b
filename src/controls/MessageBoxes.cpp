#include "controls/MessageBoxes.h"

#include <QMessageBox>

void QtMessageBoxes::Information(const QString& title, const QString& text) {
    QMessageBox::information(Parent, title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const QString& title, const QString& text) {
    // No is the default button on purpose: an Enter pressed by habit must not
    // stop the unit and end the program.
    return QMessageBox::question(Parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
