#pragma once

#include <QAction>
#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <map>
#include <memory>

class Clock;
class ClockTimer;

// The small layer that gives Qt widgets the behaviour the checker's handlers
// expect of the panel's controls: captions and background colours that can be
// read back, click and mouse-move events that carry the element index of their
// control array, option buttons whose selection in code raises their click,
// and timers that never tick with an interval of 0.

namespace Colors {
inline const QColor kWhite{255, 255, 255};
inline const QColor kLightBlue{0, 255, 255};
inline const QColor kRed{255, 0, 0};
// The system's menu background colour, used for monitor cells beyond the scan.
QColor MenuBackground();
} // namespace Colors

// Elements of one control array by their index; indices may have gaps.
template <typename T> class ControlArray {
public:
    T* operator()(int index) const {
        auto it = Items.find(index);
        return it == Items.end() ? nullptr : it->second;
    }
    void Add(int index, T* item) { Items[index] = item; }
    int Count() const { return static_cast<int>(Items.size()); }
    bool Contains(int index) const { return Items.count(index) != 0; }
    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

private:
    std::map<int, T*> Items;
};

// Object names follow "ControlName_index" for array elements (Label2_3) and
// the plain control name for single controls (Label17).
QString ElementName(const QString& control, int index);

// Where the mouse was pressed before the press being delivered now, in
// global coordinates; false when the application has seen no earlier press.
// Qt reports the second of two quick presses close together as a
// double-click wherever the first one landed, so an element asks this to
// learn whether that first press was its own. Elements call WatchPresses()
// when they are built, which starts the watch once.
void WatchPresses();
bool PreviousPressAt(QPointF* global);

// The click of a label or a monitor cell: a left press and release over the
// element. The second press of a double-click arrives as a double-click event
// of its own, which the panel does not handle, so a double-click is one click
// (command and option buttons, by contrast, click on every press). A
// double-click event whose first press landed on another element is a plain
// press of this one.
class ClickRule {
public:
    // To be called from the element's mouseDoubleClickEvent, with whether the
    // press before this one landed on the same element.
    void DoubleClickPressed(const QMouseEvent* event, bool sameElement);
    // To be called from the element's mouseReleaseEvent: whether it is a click.
    bool IsClick(const QMouseEvent* release, const QRect& elementRect);

private:
    bool SecondPress = false;
};

class VbLabel : public QLabel {
    Q_OBJECT
public:
    VbLabel(const QString& control, int index, QWidget* parent);
    int Index() const { return ElementIndex; }
    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }
    QColor BackColor() const { return Back; }
    void SetBackColor(const QColor& color);
    // How many times a background colour has been set; the monitor refresh
    // is judged by it.
    int ColorWrites() const { return ColorWriteCount; }

signals:
    void Click(int index);
    void MouseMove(int index);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int ElementIndex;
    QColor Back;
    int ColorWriteCount = 0;
    ClickRule Clicks;
};

// An option button of a group kept exclusive by the layer. SetValue(true)
// from code raises Click like an operator's click does, also on the button
// already selected; SetValue(false) clears it without an event. Mouse moves
// over the button are its own, not its frame's.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    OptionButton(const QString& control, int index, const QString& caption, QWidget* parent);
    int Index() const { return ElementIndex; }
    bool Value() const { return isChecked(); }
    void SetValue(bool value);
    void SetGroup(const ControlArray<OptionButton>* group) { Group = group; }

signals:
    void Click(int index);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Select();
    int ElementIndex;
    const ControlArray<OptionButton>* Group = nullptr;
};

class CommandButton : public QPushButton {
    Q_OBJECT
public:
    CommandButton(const QString& control, int index, const QString& caption, QWidget* parent);
    int Index() const { return ElementIndex; }

signals:
    void Click(int index);

private:
    int ElementIndex;
};

// A frame that reports mouse movement over its own background.
class VbFrame : public QGroupBox {
    Q_OBJECT
public:
    VbFrame(const QString& control, const QString& caption, QWidget* parent);

signals:
    void MouseMove();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// Interval in milliseconds and an enabled flag; an interval of 0 never ticks.
// Setting the interval, or enabling a disabled timer, starts a fresh period;
// enabling an enabled timer changes nothing.
class VbTimer : public QObject {
    Q_OBJECT
public:
    VbTimer(const QString& name, Clock& clock, QObject* parent);
    ~VbTimer() override;
    int Interval() const { return IntervalMs; }
    void SetInterval(int ms);
    bool Enabled() const { return IsEnabled; }
    void SetEnabled(bool enabled);
    bool Running() const;

signals:
    void Tick();

private:
    void Apply();
    std::unique_ptr<ClockTimer> Timer;
    int IntervalMs = 0;
    bool IsEnabled = false;
};

// A menu item whose check mark only the handlers set: choosing it does not
// toggle the mark by itself.
class MenuItem : public QAction {
    Q_OBJECT
public:
    MenuItem(const QString& name, const QString& caption, QObject* parent);

signals:
    void Click();
};
