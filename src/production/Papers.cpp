#include "Papers.h"

#include "ReportGrids.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <array>

namespace {

constexpr int kResolution = 300;           // dots per inch of the page
constexpr double kMm = kResolution / 25.4; // dots per millimetre
const QColor kPass(0x1e, 0x8c, 0x3a);
const QColor kFail(0xc6, 0x28, 0x28);
const QColor kOther(0x80, 0x80, 0x80);

QColor VerdictColour(const QString& verdict) {
    if (verdict == QLatin1String("PASS")) {
        return kPass;
    }
    return verdict == QLatin1String("FAIL") ? kFail : kOther;
}

// A writer on an A4 page, checked for being able to write the file.
struct Page {
    QPdfWriter Writer;
    QPainter Painter;
    explicit Page(const QString& file) : Writer(file) {
        Writer.setPageSize(QPageSize(QPageSize::A4));
        Writer.setResolution(kResolution);
        Writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    }
};

QString CannotWrite(const QString& file) {
    return QStringLiteral("cannot write %1").arg(file);
}

void SetFont(QPainter& p, double points, bool bold = false) {
    QFont font(QStringLiteral("IPAGothic"));
    font.setPointSizeF(points);
    font.setBold(bold);
    p.setFont(font);
}

// A 16 x 16 grid at (x, y), cells of `cell` dots, row r holding cells 16r..16r+15;
// a set bit is filled, a cell that differs from `other` is framed in red.
void DrawGrid(QPainter& p, double x, double y, double cell, const std::array<int, 256>& bits,
              const std::array<int, 256>& other, const QString& title) {
    SetFont(p, 10, true);
    p.setPen(Qt::black);
    p.drawText(QPointF(x, y - 2 * kMm), title);
    for (int i = 0; i < 256; ++i) {
        const QRectF box(x + (i % 16) * cell, y + (i / 16) * cell, cell, cell);
        p.setPen(QPen(Qt::gray, 0.2 * kMm));
        p.setBrush(bits[static_cast<std::size_t>(i)] != 0 ? QColor(0x20, 0x40, 0xa0) : Qt::white);
        p.drawRect(box);
        if (bits[static_cast<std::size_t>(i)] != other[static_cast<std::size_t>(i)]) {
            p.setPen(QPen(kFail, 0.8 * kMm));
            p.setBrush(Qt::NoBrush);
            p.drawRect(box.adjusted(0.4 * kMm, 0.4 * kMm, -0.4 * kMm, -0.4 * kMm));
        }
    }
    SetFont(p, 6);
    p.setPen(Qt::darkGray);
    for (int k = 0; k < 16; ++k) {
        const QString hex = QString::number(k, 16).toUpper();
        p.drawText(QRectF(x + k * cell, y + 16 * cell, cell, 4 * kMm), Qt::AlignCenter, hex);
        p.drawText(QRectF(x - 6 * kMm, y + k * cell, 5 * kMm, cell),
                   Qt::AlignRight | Qt::AlignVCenter, hex + QLatin1Char('0'));
    }
}

} // namespace

QString SheetFileName(const CheckResult& result) {
    QString serial;
    for (const QChar c : result.Serial) {
        const bool safe = c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_');
        serial += safe ? c : QLatin1Char('_');
    }
    if (serial.isEmpty()) {
        serial = QStringLiteral("unit");
    }
    return QStringLiteral("%1_%2.pdf")
        .arg(serial, result.Started.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString WriteUnitSheet(const CheckResult& result, const QString& file) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    Page page(file);
    if (!page.Painter.begin(&page.Writer)) {
        return CannotWrite(file);
    }
    QPainter& p = page.Painter;
    const double width = page.Writer.width();
    double y = 10 * kMm;
    SetFont(p, 20, true);
    p.setPen(Qt::black);
    p.drawText(QPointF(0, y), QStringLiteral("Unit %1").arg(result.Serial));
    SetFont(p, 28, true);
    p.setPen(VerdictColour(result.Verdict));
    p.drawText(QRectF(0, 0, width, 14 * kMm), Qt::AlignRight | Qt::AlignTop, result.Verdict);
    y += 10 * kMm;
    SetFont(p, 10);
    p.setPen(Qt::black);
    const QStringList facts{
        QStringLiteral("ROM: %1").arg(result.Rom.isEmpty() ? QStringLiteral("none") : result.Rom),
        QStringLiteral("Checked: %1 on %2, %3 (%4), %5 s")
            .arg(result.Started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), result.Bench,
                 result.Port, result.Device)
            .arg(static_cast<double>(result.Ms) / 1000.0, 0, 'f', 1),
        QStringLiteral("Operator: %1    Checker: %2").arg(result.Operator, result.CheckerVersion)};
    for (const QString& fact : facts) {
        p.drawText(QPointF(0, y), fact);
        y += 6 * kMm;
    }
    y += 4 * kMm;
    for (const ReportStep& step : ReportSteps(result.ReportJson)) {
        SetFont(p, 10, true);
        p.setPen(VerdictColour(step.Result));
        p.drawText(QPointF(0, y), step.Result);
        SetFont(p, 10);
        p.setPen(Qt::black);
        p.drawText(QPointF(16 * kMm, y), step.Name);
        // The reason wraps within its column; the next step starts below it.
        const QRectF reasonBox(48 * kMm, y - 4 * kMm, width - 48 * kMm, 40 * kMm);
        const QRectF used = p.boundingRect(reasonBox, Qt::TextWordWrap, step.Reason);
        p.drawText(reasonBox, Qt::TextWordWrap, step.Reason);
        y += std::max(6 * kMm, used.height() + 2 * kMm);
    }
    if (!result.FailedStep.isEmpty() && ReportSteps(result.ReportJson).isEmpty()) {
        p.drawText(QRectF(0, y - 4 * kMm, width, 12 * kMm), Qt::TextWordWrap,
                   QStringLiteral("%1: %2").arg(result.FailedStep, result.Reason));
        y += 12 * kMm;
    }
    const QList<PatternGrids> grids = FailedPatternGrids(result.ReportJson);
    if (!grids.isEmpty()) {
        // The first failed pattern: what was written and what came back.
        const PatternGrids& g = grids.first();
        y += 12 * kMm;
        SetFont(p, 12, true);
        p.drawText(QPointF(0, y), QStringLiteral("%1, Line%2: written and read (differing cells "
                                                 "framed in red)")
                                      .arg(g.Step)
                                      .arg(g.Line + 1));
        y += 12 * kMm;
        const double cell = 5 * kMm;
        DrawGrid(p, 8 * kMm, y, cell, g.Written, g.HasRead ? g.Read : g.Written,
                 QStringLiteral("Written"));
        if (g.HasRead) {
            DrawGrid(p, 8 * kMm + 16 * cell + 16 * kMm, y, cell, g.Read, g.Written,
                     QStringLiteral("Read"));
        }
    }
    return p.end() ? QString() : CannotWrite(file);
}

QString WriteDaySummary(const DaySummary& summary, const QString& day, const QString& file) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    Page page(file);
    if (!page.Painter.begin(&page.Writer)) {
        return CannotWrite(file);
    }
    QPainter& p = page.Painter;
    const double width = page.Writer.width();
    double y = 10 * kMm;
    SetFont(p, 20, true);
    p.drawText(QPointF(0, y), QStringLiteral("Day summary %1").arg(day));
    y += 12 * kMm;
    SetFont(p, 14);
    p.drawText(QPointF(0, y), QStringLiteral("%1 units checked, %2 passed, yield %3 %")
                                  .arg(summary.Checked)
                                  .arg(summary.Passed)
                                  .arg(summary.Yield(), 0, 'f', 1));
    y += 12 * kMm;

    // Yield as a bar: passed in green, failed in red.
    const double barWidth = width;
    const double barHeight = 8 * kMm;
    p.setPen(Qt::NoPen);
    p.setBrush(summary.Checked > 0 ? kFail : kOther);
    p.drawRect(QRectF(0, y, barWidth, barHeight));
    if (summary.Checked > 0) {
        p.setBrush(kPass);
        p.drawRect(QRectF(0, y, barWidth * summary.Passed / summary.Checked, barHeight));
    }
    y += barHeight + 14 * kMm;

    // Failures by step as horizontal bars.
    SetFont(p, 12, true);
    p.setPen(Qt::black);
    p.drawText(QPointF(0, y), QStringLiteral("Failures by step"));
    y += 6 * kMm;
    int most = 1;
    for (const auto& [step, count] : summary.FailuresByStep) {
        most = std::max(most, count);
    }
    SetFont(p, 10);
    const double labelWidth = 40 * kMm;
    for (const auto& [step, count] : summary.FailuresByStep) {
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y, labelWidth, 6 * kMm), Qt::AlignVCenter, step);
        p.setPen(Qt::NoPen);
        p.setBrush(kFail);
        const double length = (width - labelWidth - 15 * kMm) * count / most;
        p.drawRect(QRectF(labelWidth, y + 1 * kMm, length, 4 * kMm));
        p.setPen(Qt::black);
        p.drawText(QRectF(labelWidth + length + 2 * kMm, y, 13 * kMm, 6 * kMm), Qt::AlignVCenter,
                   QString::number(count));
        y += 7 * kMm;
    }
    if (summary.FailuresByStep.empty()) {
        p.drawText(QPointF(0, y + 4 * kMm), QStringLiteral("none"));
        y += 7 * kMm;
    }
    y += 10 * kMm;
    SetFont(p, 12, true);
    p.drawText(QPointF(0, y), QStringLiteral("Failures by bit position"));
    y += 6 * kMm;
    SetFont(p, 10);
    QStringList cells;
    for (const auto& [cell, count] : summary.FailuresByCell) {
        cells << QStringLiteral("%1: %2")
                     .arg(QStringLiteral("%1").arg(cell, 2, 16, QLatin1Char('0')).toUpper())
                     .arg(count);
    }
    p.drawText(QRectF(0, y, width, 20 * kMm), Qt::TextWordWrap,
               cells.isEmpty() ? QStringLiteral("none") : cells.join(QStringLiteral(",  ")));
    y += 14 * kMm;
    // The same on the 16 x 16 monitor grid: the more units, the darker the cell.
    int mostCells = 1;
    for (const auto& [cell, count] : summary.FailuresByCell) {
        mostCells = std::max(mostCells, count);
    }
    std::array<int, 256> counts{};
    for (const auto& [cell, count] : summary.FailuresByCell) {
        if (cell >= 0 && cell < 256) {
            counts[static_cast<std::size_t>(cell)] = count;
        }
    }
    const double cell = 5 * kMm;
    for (int i = 0; i < 256; ++i) {
        const int count = counts[static_cast<std::size_t>(i)];
        QColor fill = Qt::white;
        if (count > 0) {
            fill = kFail;
            fill.setAlphaF(0.25 + 0.75 * count / mostCells);
        }
        p.setPen(QPen(Qt::gray, 0.2 * kMm));
        p.setBrush(fill);
        p.drawRect(QRectF(8 * kMm + (i % 16) * cell, y + (i / 16) * cell, cell, cell));
    }
    SetFont(p, 6);
    p.setPen(Qt::darkGray);
    for (int k = 0; k < 16; ++k) {
        const QString hex = QString::number(k, 16).toUpper();
        p.drawText(QRectF(8 * kMm + k * cell, y + 16 * cell, cell, 4 * kMm), Qt::AlignCenter, hex);
        p.drawText(QRectF(2 * kMm, y + k * cell, 5 * kMm, cell), Qt::AlignRight | Qt::AlignVCenter,
                   hex + QLatin1Char('0'));
    }
    return p.end() ? QString() : CannotWrite(file);
}
