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
    // Information icon and OK, closing by itself after the given seconds if
    // nobody clicked: for a run that a script started and nobody attends.
    virtual void InformationFor(const QString& title, const QString& text, int seconds) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent) : Parent(parent) {}
    void Information(const QString& title, const QString& text) override;
    bool Question(const QString& title, const QString& text) override;
    void InformationFor(const QString& title, const QString& text, int seconds) override;
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
    void InformationFor(const QString& title, const QString& text, int seconds) override;
};

// For a run that a script started (the automatic unit check): every
// information box of the inner boxes closes by itself after a few seconds, so
// the script never waits for a click; questions are asked as they are.
class SelfClosingMessageBoxes : public MessageBoxes {
public:
    SelfClosingMessageBoxes(MessageBoxes& inner, int seconds) : Inner(inner), Seconds(seconds) {}
    void Information(const QString& title, const QString& text) override {
        Inner.InformationFor(title, text, Seconds);
    }
    bool Question(const QString& title, const QString& text) override {
        return Inner.Question(title, text);
    }
    void InformationFor(const QString& title, const QString& text, int seconds) override {
        Inner.InformationFor(title, text, seconds);
    }

private:
    MessageBoxes& Inner;
    int Seconds;
};
