#include "controls/MessageBoxes.h"

#include <QMessageBox>

void QtMessageBoxes::Information(const QString& title, const QString& text) {
    QMessageBox::information(Parent, title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const QString& title, const QString& text) {
    return QMessageBox::question(Parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
