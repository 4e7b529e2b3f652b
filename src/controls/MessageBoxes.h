#pragma once

#include <QString>

class QWidget;

// The modal boxes the checker shows. The window gets an implementation from
// main(); tests pass a scripted one, since an unattended modal box would wait
// for ever.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Information icon, a single OK button.
    virtual void Information(const QString& title, const QString& text) = 0;
    // Question icon, Yes and No; true for Yes.
    virtual bool Question(const QString& title, const QString& text) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent) : Parent(parent) {}
    void Information(const QString& title, const QString& text) override;
    bool Question(const QString& title, const QString& text) override;
    void SetParent(QWidget* parent) { Parent = parent; }

private:
    QWidget* Parent;
};

// For a window nobody can answer (offscreen, an unattended unit check): each
// box is written to standard error instead, and a question gets its default
// answer, No.
class UnattendedMessageBoxes : public MessageBoxes {
public:
    void Information(const QString& title, const QString& text) override;
    bool Question(const QString& title, const QString& text) override;
};
