#include "controls/TextFit.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <optional>

namespace {

constexpr int kNarrowestStretch = 70;
constexpr int kStretchStep = 5;
constexpr double kSmallestPoints = 5.0;
constexpr double kPointStep = 0.5;
constexpr int kGroupTitleInset = 8; // the title starts past the frame's corner

QRect OwnRoom(const QWidget* element) {
    if (const auto* label = qobject_cast<const QLabel*>(element)) {
        QRect r = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                 -label->margin());
        const int indent = label->indent() >= 0 ? label->indent()
                           : label->frameWidth() > 0
                               ? label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                               : 0;
        return r.adjusted(indent, 0, 0, 0);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(element)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
        return button->style()->subElementRect(radio ? QStyle::SE_RadioButtonContents
                                                     : QStyle::SE_PushButtonContents,
                                               &option, button);
    }
    if (qobject_cast<const QGroupBox*>(element) != nullptr) {
        return element->rect().adjusted(kGroupTitleInset, 0, -kGroupTitleInset, 0);
    }
    return element->rect();
}

} // namespace

QRect TextRoom(const QWidget* element) {
    QRect room = OwnRoom(element);
    const QWidget* parent = element->parentWidget();
    if (parent == nullptr) {
        return room;
    }
    // Siblings created later lie on top of the element; one that reaches
    // across the element's middle line would cover the text.
    const QObjectList& siblings = parent->children();
    const qsizetype own = siblings.indexOf(const_cast<QWidget*>(element));
    const QRect mine = element->geometry();
    const int middle = mine.center().y();
    for (qsizetype i = own + 1; i < siblings.size(); ++i) {
        const auto* sibling = qobject_cast<const QWidget*>(siblings.at(i));
        if (sibling == nullptr || sibling->isWindow() || !sibling->geometry().intersects(mine) ||
            sibling->geometry().top() > middle || sibling->geometry().bottom() < middle) {
            continue;
        }
        const int left = sibling->geometry().left() - mine.left();
        if (left > room.left() && left <= room.right()) {
            room.setRight(left - 1);
        }
    }
    return room;
}

QHash<QString, TextFitter::Extent>& TextFitter::ExtentsIn(const QFont& font, int dpiX, int dpiY) {
    for (Measured& m : Fonts) {
        if (m.DpiX == dpiX && m.DpiY == dpiY && m.Font == font) {
            return m.Texts;
        }
    }
    Fonts.push_back({font, dpiX, dpiY, {}});
    return Fonts.back().Texts;
}

bool TextFitter::Fits(const QFont& font, const QWidget* element, const QRect& room,
                      const QStringList& texts) {
    // A text's extent depends on the font and the resolution it is drawn at,
    // nothing else of the element.
    QHash<QString, Extent>& extents =
        ExtentsIn(font, element->logicalDpiX(), element->logicalDpiY());
    std::optional<QFontMetricsF> metrics;
    const auto fm = [&]() -> const QFontMetricsF& {
        if (!metrics) {
            metrics.emplace(font, const_cast<QWidget*>(element));
        }
        return *metrics;
    };
    for (const QString& text : texts) {
        auto it = extents.find(text);
        if (it == extents.end()) {
            it = extents.insert(text, {fm().horizontalAdvance(text), -1});
        }
        if (it->Advance > room.width()) {
            return false;
        }
        // The height only of a text that is narrow enough, as it costs more.
        if (it->TightHeight < 0) {
            it->TightHeight = fm().tightBoundingRect(text).height();
        }
        if (it->TightHeight > element->height()) {
            return false;
        }
    }
    return true;
}

bool TextFitter::Fit(QWidget* element, const QStringList& texts) {
    const QRect room = TextRoom(element);
    const QFont base = element->font();
    if (Fits(base, element, room, texts)) {
        return true;
    }
    QFont font = base;
    for (double points = base.pointSizeF(); points >= kSmallestPoints; points -= kPointStep) {
        for (int stretch = 100; stretch >= kNarrowestStretch; stretch -= kStretchStep) {
            font.setPointSizeF(points);
            font.setStretch(stretch);
            if (Fits(font, element, room, texts)) {
                element->setFont(font);
                return true;
            }
        }
    }
    element->setFont(font);
    return false;
}

bool FitTexts(QWidget* element, const QStringList& texts) {
    TextFitter fitter;
    return fitter.Fit(element, texts);
}
