#include "controls/BitMonitor.h"

#include "controls/VbControls.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

void MonitorCell::Paint(const QColor& color, bool grey) {
    const bool changed = color != Back || grey != Grey;
    Back = color;
    Grey = grey;
    if (changed && Owner != nullptr) {
        Owner->CellChanged(*this);
    }
    if (changed && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QString MonitorCell::StateText() const {
    if (Grey) {
        return QStringLiteral("grey");
    }
    return Back == Colors::kRed ? QStringLiteral("1") : QStringLiteral("0");
}

void MonitorCell::SetBackColor(const QColor& color) {
    ++ColorWriteCount;
    Paint(color, false);
}

void MonitorCell::SetGrey() {
    ++ColorWriteCount;
    Paint(Owner != nullptr ? Owner->GreyColor() : Colors::MenuBackground(), true);
}

QRect MonitorCell::geometry() const {
    return Owner != nullptr ? Rect.translated(Owner->pos()) : Rect;
}

QRect MonitorCell::ScreenRect() const {
    return Owner != nullptr ? QRect(Owner->mapToGlobal(Rect.topLeft()), Rect.size()) : Rect;
}

namespace {

// The monitor to assistive technology: a group of 256 cells, each an element
// of its own with its name, place and state.
class MonitorAccessible : public QAccessibleWidget {
public:
    explicit MonitorAccessible(BitMonitor* monitor) : QAccessibleWidget(monitor) {}
    BitMonitor* Monitor() const { return static_cast<BitMonitor*>(widget()); }
    int childCount() const override { return BitMonitor::kCells; }
    QAccessibleInterface* child(int index) const override {
        MonitorCell* cell = Monitor()->Cell(index);
        return cell != nullptr ? QAccessible::queryAccessibleInterface(cell) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* cell = child != nullptr ? qobject_cast<MonitorCell*>(child->object()) : nullptr;
        return cell != nullptr && cell->Monitor() == Monitor() ? cell->Index() : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return child(Monitor()->CellAt(Monitor()->mapFromGlobal(QPoint(x, y))));
    }
};

class CellAccessible : public QAccessibleObject {
public:
    explicit CellAccessible(MonitorCell* cell) : QAccessibleObject(cell) {}
    MonitorCell* Cell() const { return static_cast<MonitorCell*>(object()); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(Cell()->Monitor());
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return Cell()->objectName();
        case QAccessible::Description:
        case QAccessible::Value:
            return Cell()->StateText();
        default:
            return {};
        }
    }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override {
        QAccessible::State s;
        const BitMonitor* monitor = Cell()->Monitor();
        s.invisible = monitor == nullptr || !monitor->isVisible();
        return s;
    }
    QRect rect() const override { return Cell()->ScreenRect(); }
};

QAccessibleInterface* MonitorAccessibility(const QString& className, QObject* object) {
    if (className == QLatin1String("BitMonitor")) {
        return new MonitorAccessible(static_cast<BitMonitor*>(object));
    }
    if (className == QLatin1String("MonitorCell")) {
        return new CellAccessible(static_cast<MonitorCell*>(object));
    }
    return nullptr;
}

} // namespace

BitMonitor::BitMonitor(const QString& control, QWidget* parent)
    : QWidget(parent), Grey(Colors::MenuBackground()) {
    static const bool accessible = [] {
        QAccessible::installFactory(MonitorAccessibility);
        return true;
    }();
    Q_UNUSED(accessible);
    setObjectName(control);
    setAccessibleName(control);
    setMouseTracking(true);
    WatchPresses();
    // The monitor paints every pixel of its cells itself, so Qt need not
    // repaint the frame beneath it for each changed cell.
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < kCells; ++i) {
        MonitorCell& cell = Cells[static_cast<std::size_t>(i)];
        cell.setParent(this);
        cell.setObjectName(ElementName(control, i));
        cell.Owner = this;
        cell.ElementIndex = i;
        cell.Back = Colors::kWhite;
    }
}

void BitMonitor::PlaceCells(const std::array<QRect, kCells>& rects) {
    QRect all;
    for (const QRect& r : rects) {
        all |= r;
    }
    setGeometry(all);
    QRegion covered;
    for (int i = 0; i < kCells; ++i) {
        const auto at = static_cast<std::size_t>(i);
        Cells[at].Rect = rects[at].translated(-all.topLeft());
        covered += Cells[at].Rect;
    }
    // Only the cells belong to the monitor: the frame shows through the gaps
    // between the blocks, and what lies there beneath the monitor takes the
    // mouse.
    setMask(covered);
    update();
}

MonitorCell* BitMonitor::Cell(int index) {
    return index >= 0 && index < kCells ? &Cells[static_cast<std::size_t>(index)] : nullptr;
}

const MonitorCell* BitMonitor::Cell(int index) const {
    return index >= 0 && index < kCells ? &Cells[static_cast<std::size_t>(index)] : nullptr;
}

int BitMonitor::CellAt(QPoint point) const {
    // From the top of the stack down: where borders overlap, the higher cell.
    for (int i = kCells - 1; i >= 0; --i) {
        if (Cells[static_cast<std::size_t>(i)].Rect.contains(point)) {
            return i;
        }
    }
    return -1;
}

QPoint BitMonitor::CellCenter(int index) const {
    const MonitorCell* cell = Cell(index);
    return cell != nullptr ? cell->Rect.center() : QPoint(-1, -1);
}

void BitMonitor::CellChanged(const MonitorCell& cell) {
    update(cell.Rect);
}

const QPixmap& BitMonitor::CellPicture(const QColor& color, QSize size) {
    const qreal ratio = devicePixelRatio();
    for (const Picture& p : Pictures) {
        if (p.Color == color.rgba() && p.Size == size && p.Pixmap.devicePixelRatio() == ratio) {
            return p.Pixmap;
        }
    }
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    QPainter painter(&pixmap);
    const QRect all(QPoint(0, 0), size);
    painter.fillRect(all, color);
    qDrawShadePanel(&painter, all, palette(), true, 1);
    painter.end();
    Pictures.push_back({color.rgba(), size, pixmap});
    return Pictures.back().Pixmap;
}

void BitMonitor::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRegion& region = event->region();
    int drawn = 0;
    // The cells cover the whole of the monitor's mask, the only place it paints.
    // Ascending order, so a higher cell's border lies over its neighbour's.
    for (const MonitorCell& cell : Cells) {
        if (!region.intersects(cell.Rect)) {
            continue;
        }
        painter.drawPixmap(cell.Rect.topLeft(), CellPicture(cell.Back, cell.Rect.size()));
        ++drawn;
    }
    CellPaintCount += drawn;
    if (drawn > 0) {
        emit Painted();
    }
}

void BitMonitor::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        PressedCell = CellAt(event->position().toPoint());
    }
    event->accept();
}

void BitMonitor::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const int pressed = PressedCell;
    PressedCell = -1;
    // A click is a press and a release on the same cell.
    if (pressed >= 0 && CellAt(event->position().toPoint()) == pressed) {
        emit Click(pressed);
    }
}

void BitMonitor::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double-click on a cell is no new click: its
    // release must not send the cell's command again. Quick presses on two
    // cells are a click on each, so a double-click whose first press landed
    // elsewhere is a plain press of this cell.
    if (event->button() == Qt::LeftButton) {
        const int cell = CellAt(event->position().toPoint());
        QPointF first;
        const bool same = PreviousPressAt(&first) && CellAt(mapFromGlobal(first).toPoint()) == cell;
        PressedCell = same ? -1 : cell;
    } else {
        PressedCell = -1;
    }
    event->accept();
}

void BitMonitor::mouseMoveEvent(QMouseEvent* event) {
    // While the button is held the pressed cell keeps the moves, as a cell
    // that captured the mouse would.
    int index = PressedCell;
    if (index < 0 || event->buttons() == Qt::NoButton) {
        index = CellAt(event->position().toPoint());
    }
    if (index < 0) {
        event->ignore(); // between the cells: the frame's own background
        return;
    }
    event->accept();
    emit MouseMove(index);
}

void BitMonitor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange ||
        event->type() == QEvent::PaletteChange) {
        Pictures.clear(); // the borders take their shades from the palette
        const QColor grey = Colors::MenuBackground();
        if (grey != Grey) {
            Grey = grey;
            for (MonitorCell& cell : Cells) {
                if (cell.Grey) {
                    cell.Back = grey;
                }
            }
            update();
        }
    }
    QWidget::changeEvent(event);
}
