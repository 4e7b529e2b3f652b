#include "controls/VbControls.h"
#include "controls/Clock.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>

QColor Colors::MenuBackground() {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

QString ElementName(const QString& control, int index) {
    return control + QLatin1Char('_') + QString::number(index);
}

static void Name(QWidget* w, const QString& name) {
    w->setObjectName(name);
    w->setAccessibleName(name);
}

namespace {

// Watches every mouse press the application delivers and keeps the last two.
// A press passed on from a widget to its parent, or from the window to the
// widget, is the same press: same time and place.
class PressWatch : public QObject {
public:
    explicit PressWatch(QObject* parent) : QObject(parent) {}
    bool Previous(QPointF* global) const {
        if (!HasPrevious) {
            return false;
        }
        *global = PreviousAt;
        return true;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            const auto* press = static_cast<const QMouseEvent*>(event);
            const QPointF at = press->globalPosition();
            if (!HasCurrent || press->timestamp() != CurrentTime || at != CurrentAt) {
                PreviousAt = CurrentAt;
                HasPrevious = HasCurrent;
                CurrentAt = at;
                CurrentTime = press->timestamp();
                HasCurrent = true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointF CurrentAt;
    quint64 CurrentTime = 0;
    bool HasCurrent = false;
    QPointF PreviousAt;
    bool HasPrevious = false;
};

QPointer<PressWatch> gPressWatch;

} // namespace

void WatchPresses() {
    if (gPressWatch == nullptr && QCoreApplication::instance() != nullptr) {
        gPressWatch = new PressWatch(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(gPressWatch);
    }
}

bool PreviousPressAt(QPointF* global) {
    return gPressWatch != nullptr && gPressWatch->Previous(global);
}

void ClickRule::DoubleClickPressed(const QMouseEvent* event, bool sameElement) {
    if (event->button() == Qt::LeftButton) {
        // Presses on two elements are a click on each.
        SecondPress = sameElement;
    }
}

bool ClickRule::IsClick(const QMouseEvent* release, const QRect& elementRect) {
    if (release->button() != Qt::LeftButton) {
        return false;
    }
    if (SecondPress) {
        SecondPress = false;
        return false; // the release that ends a double-click
    }
    return elementRect.contains(release->position().toPoint());
}

VbLabel::VbLabel(const QString& control, int index, QWidget* parent)
    : QLabel(parent), ElementIndex(index) {
    Name(this, index < 0 ? control : ElementName(control, index));
    setMouseTracking(true);
    WatchPresses();
}

void VbLabel::SetBackColor(const QColor& color) {
    Back = color;
    ++ColorWriteCount;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

void VbLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (Clicks.IsClick(event, rect())) {
        emit Click(ElementIndex);
    }
}

void VbLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first press was this label's if the label lay on top where it landed.
    QPointF first;
    const bool same = PreviousPressAt(&first) &&
                      window()->childAt(window()->mapFromGlobal(first).toPoint()) == this;
    Clicks.DoubleClickPressed(event, same);
    event->accept();
}

void VbLabel::mouseMoveEvent(QMouseEvent* event) {
    // Taken here: a move over an element is not a move over its frame.
    event->accept();
    emit MouseMove(ElementIndex);
}

OptionButton::OptionButton(const QString& control, int index, const QString& caption,
                           QWidget* parent)
    : QRadioButton(caption, parent), ElementIndex(index) {
    Name(this, ElementName(control, index));
    setAutoExclusive(false);
    setMouseTracking(true);
    // An operator's click selects the button (never clears it) and raises Click.
    connect(this, &QAbstractButton::clicked, this, [this] { SetValue(true); });
}

void OptionButton::Select() {
    if (Group != nullptr) {
        for (const auto& [i, other] : *Group) {
            if (other != this) {
                other->setChecked(false);
            }
        }
    }
    setChecked(true);
}

void OptionButton::SetValue(bool value) {
    if (value) {
        Select();
        emit Click(ElementIndex);
    } else {
        setChecked(false);
    }
}

void OptionButton::mouseMoveEvent(QMouseEvent* event) {
    QRadioButton::mouseMoveEvent(event);
    // Taken here: a move over the button is not a move over its frame.
    event->accept();
}

CommandButton::CommandButton(const QString& control, int index, const QString& caption,
                             QWidget* parent)
    : QPushButton(caption, parent), ElementIndex(index) {
    Name(this, index < 0 ? control : ElementName(control, index));
    connect(this, &QPushButton::clicked, this, [this] { emit Click(ElementIndex); });
}

VbFrame::VbFrame(const QString& control, const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent) {
    Name(this, control);
    setMouseTracking(true);
}

void VbFrame::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove();
    QGroupBox::mouseMoveEvent(event);
}

VbTimer::VbTimer(const QString& name, Clock& clock, QObject* parent)
    : QObject(parent), Timer(clock.NewTimer([this] { emit Tick(); })) {
    setObjectName(name);
}

VbTimer::~VbTimer() = default;

bool VbTimer::Running() const {
    return Timer->IsActive();
}

void VbTimer::SetInterval(int ms) {
    // A new interval starts a fresh countdown.
    IntervalMs = ms;
    Apply();
}

void VbTimer::SetEnabled(bool enabled) {
    // Enabling a running timer keeps its countdown: a poll is not put off by
    // a handler that re-enables polling while it already runs.
    if (enabled == IsEnabled) {
        return;
    }
    IsEnabled = enabled;
    Apply();
}

void VbTimer::Apply() {
    // A Qt timer with interval 0 would fire on every pass of the event loop.
    if (IsEnabled && IntervalMs > 0) {
        Timer->Start(IntervalMs);
    } else {
        Timer->Stop();
    }
}

MenuItem::MenuItem(const QString& name, const QString& caption, QObject* parent)
    : QAction(caption, parent) {
    setObjectName(name);
    setCheckable(true);
    connect(this, &QAction::triggered, this, [this](bool checked) {
        setChecked(!checked); // undo Qt's own toggle; the handler decides the mark
        emit Click();
    });
}
