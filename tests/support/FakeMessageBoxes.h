#pragma once

#include "controls/MessageBoxes.h"

#include <QList>
#include <functional>

// Records every box and answers questions as the test scripted.
class FakeMessageBoxes : public MessageBoxes {
public:
    struct Box {
        bool Question;
        QString Title;
        QString Text;
        int Seconds = 0; // a box that closes by itself: after how long; 0 waits for a click
    };
    void Information(const QString& title, const QString& text) override {
        Shown.append({false, title, text, 0});
        if (OnBox) {
            OnBox();
        }
    }
    void InformationFor(const QString& title, const QString& text, int seconds) override {
        Shown.append({false, title, text, seconds});
        if (OnBox) {
            OnBox();
        }
    }
    bool Question(const QString& title, const QString& text) override {
        Shown.append({true, title, text, 0});
        if (OnBox) {
            OnBox();
        }
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }
    QList<Box> Shown;
    QList<bool> Answers;         // true for Yes; No when none is left
    std::function<void()> OnBox; // runs while the box would be open
};
