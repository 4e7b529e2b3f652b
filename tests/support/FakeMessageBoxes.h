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
    };
    void Information(const QString& title, const QString& text) override {
        Shown.append({false, title, text});
        if (OnBox) {
            OnBox();
        }
    }
    bool Question(const QString& title, const QString& text) override {
        Shown.append({true, title, text});
        if (OnBox) {
            OnBox();
        }
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }
    QList<Box> Shown;
    QList<bool> Answers;         // true for Yes; No when none is left
    std::function<void()> OnBox; // runs while the box would be open
};
