#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QWidget>

#include <array>
#include <vector>

class BitMonitor;

// One cell of the bit monitor: white, red or grey (the menu background). The
// cell is no widget of its own; the monitor keeps its colour and paints it.
// It is a light object of the monitor all the same, named "Picture1_n" like
// the panel's other elements, so tools and assistive technology can find it
// and read its state.
class MonitorCell : public QObject {
    Q_OBJECT
public:
    int Index() const { return ElementIndex; }
    QColor BackColor() const { return Back; }
    void SetBackColor(const QColor& color);
    void SetGrey();
    bool IsGrey() const { return Grey; }
    // What the cell shows, as text: "1" (red), "0" (white) or "grey".
    QString StateText() const;
    // How many times a colour has been set; the monitor refresh is judged by it.
    int ColorWrites() const { return ColorWriteCount; }
    // The cell's place in the monitor's parent, where a separate cell would lie.
    QRect geometry() const;
    // The cell's place on the screen.
    QRect ScreenRect() const;
    BitMonitor* Monitor() const { return Owner; }

private:
    friend class BitMonitor;
    void Paint(const QColor& color, bool grey);
    BitMonitor* Owner = nullptr;
    int ElementIndex = 0;
    QRect Rect; // in the monitor's own coordinates
    QColor Back;
    bool Grey = false;
    int ColorWriteCount = 0;
};

// The 16 x 16 cells of the bit monitor in one widget. It paints the cells from
// their colours, repaints only the cells whose colour changed, and reports a
// click or a mouse move with the index of the cell under the mouse. Cells may
// overlap by their border; the higher index lies on top, as it is painted
// last. The widget covers its cells only: the gaps between the blocks belong
// to whatever lies beneath (the frame, the labels in the gap), which shows
// and takes the mouse there. Two quick presses make a double-click only on
// one and the same cell.
class BitMonitor : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCells = 256;

    BitMonitor(const QString& control, QWidget* parent);

    // Places the cells at the given rectangles of the parent's coordinates;
    // the monitor then spans them all.
    void PlaceCells(const std::array<QRect, kCells>& rects);
    MonitorCell* Cell(int index);
    const MonitorCell* Cell(int index) const;
    // The cell under a point of the monitor's coordinates, or -1.
    int CellAt(QPoint point) const;
    // The middle of a cell in the monitor's coordinates.
    QPoint CellCenter(int index) const;
    // The menu background colour that grey cells show, looked up once and
    // again when the application's palette changes.
    QColor GreyColor() const { return Grey; }
    // Cells drawn by paint events so far.
    qint64 CellsPainted() const { return CellPaintCount; }

signals:
    void Click(int index);
    void MouseMove(int index);
    // Raised at the end of each paint that drew cells: the point where a
    // timing run takes the moment the cells reached the window's buffer.
    void Painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class MonitorCell;
    void CellChanged(const MonitorCell& cell);
    // A cell of this colour and size with its sunken border, drawn once and
    // then copied for every cell that shows it.
    const QPixmap& CellPicture(const QColor& color, QSize size);

    struct Picture {
        QRgb Color;
        QSize Size;
        QPixmap Pixmap;
    };
    std::vector<Picture> Pictures;
    std::array<MonitorCell, kCells> Cells;
    QColor Grey;
    int PressedCell = -1;
    qint64 CellPaintCount = 0;
};
