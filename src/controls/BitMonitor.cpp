#include "controls/BitMonitor.h"

#include "controls/VbControls.h"

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

BitMonitor::BitMonitor(const QString& control, QWidget* parent)
    : QWidget(parent), Grey(Colors::MenuBackground()) {
    setObjectName(control);
    setAccessibleName(control);
    setMouseTracking(true);
    // The monitor paints every pixel of its area itself (the gaps between the
    // cells in the window colour), so Qt need not repaint the frame beneath it
    // for each changed cell.
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < kCells; ++i) {
        MonitorCell& cell = Cells[static_cast<std::size_t>(i)];
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
    for (int i = 0; i < kCells; ++i) {
        const auto at = static_cast<std::size_t>(i);
        Cells[at].Rect = rects[at].translated(-all.topLeft());
    }
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
    for (const QRect& r : region) {
        painter.fillRect(r, palette().window());
    }
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
    // The second press of a double-click is no new click: its release must
    // not send the cell's command again.
    PressedCell = -1;
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
