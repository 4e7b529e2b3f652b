// Every caption and every value the window shows fits its element with the
// font the element really uses. The suite runs once at 96 DPI and once at
// 144 DPI (ZEL_TEST_DPR names the device pixel ratio the run expects).
#include "FormFixture.h"
#include "controls/TextFit.h"
#include "decode/UnitRecord.h"

#include <QGroupBox>
#include <QScreen>
#include <QSet>
#include <QStyleOptionButton>

namespace {

// Why the text does not fit the element, or an empty string when it does.
QString Overflow(QWidget* element, const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    const QFontMetricsF fm(element->font(), element);
    // Where the text starts and how wide it may run, in the element.
    double left = 0;
    double room = element->width();
    bool centred = false;
    QRect contents = element->rect(); // the text is centred in it vertically
    if (auto* label = qobject_cast<QLabel*>(element)) {
        const int indent = label->indent() >= 0 ? label->indent()
                           : label->frameWidth() > 0
                               ? label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                               : 0;
        contents = label->contentsRect();
        left = contents.left() + label->margin() + indent;
        room = label->contentsRect().width() - indent - 2 * label->margin();
    } else if (auto* button = qobject_cast<QAbstractButton*>(element)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
        contents = button->style()->subElementRect(radio ? QStyle::SE_RadioButtonContents
                                                         : QStyle::SE_PushButtonContents,
                                                   &option, button);
        left = contents.left();
        room = contents.width();
        centred = !radio;
    } else if (qobject_cast<QGroupBox*>(element) != nullptr) {
        left = 8; // the title sits inside the frame's corners, on its top line
        room = element->width() - 16;
        contents = QRect(0, 0, element->width(), static_cast<int>(fm.height()) + 1);
    }
    const double width = fm.horizontalAdvance(text);
    const double ink = fm.tightBoundingRect(text).height();
    if (centred) {
        left += (room - width) / 2;
    }
    // A sibling created later lies on top: the text must not run under it.
    // (Half a pixel of antialiased edge may touch a neighbour.)
    const double textRight = element->x() + left + width - 0.5;
    const double inkTop = element->y() + contents.top() + (contents.height() - fm.height()) / 2 +
                          fm.ascent() + fm.tightBoundingRect(text).top() + 0.5;
    const double inkBottom = inkTop + ink - 1;
    QString coveredBy;
    const QObjectList& siblings = element->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(element) + 1; i < siblings.size(); ++i) {
        const auto* sibling = qobject_cast<const QWidget*>(siblings.at(i));
        if (sibling != nullptr && sibling->geometry().intersects(element->geometry()) &&
            sibling->x() > element->x() + left && sibling->x() < textRight &&
            sibling->y() < inkBottom && sibling->y() + sibling->height() > inkTop) {
            coveredBy = sibling->objectName();
        }
    }
    if (width <= room && ink <= element->height() && coveredBy.isEmpty()) {
        return {};
    }
    return QStringLiteral("%1 \"%2\": %3 of %4 px wide, ink %5 of %6 px high (%7 %8 pt) %9")
        .arg(element->objectName(), text)
        .arg(width, 0, 'f', 1)
        .arg(room, 0, 'f', 1)
        .arg(ink, 0, 'f', 1)
        .arg(element->height())
        .arg(QFontInfo(element->font()).family())
        .arg(element->font().pointSizeF())
        .arg(coveredBy.isEmpty() ? QString() : QStringLiteral("under ") + coveredBy);
}

QString CaptionOf(QWidget* element) {
    if (auto* label = qobject_cast<QLabel*>(element)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(element)) {
        return button->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(element)) {
        return box->title();
    }
    return {};
}

// Every text the record decoding can give a channel cell: each type over
// records whose bytes all hold one value and whose values run from 0 to the
// largest 12-bit value.
QSet<QString> ChannelTexts() {
    QSet<QString> texts;
    auto st = std::make_unique<CheckerState>();
    st->ScanBitLast = 255;
    for (int type = 0; type < UnitTypeCaptions().size(); ++type) {
        for (int byte = 0; byte <= 255; ++byte) {
            for (int value : {0, 1, 99, 999, 1000, 1625, 2047, 4095}) {
                st->UnitData[1][0] = type;
                st->ScanBytes.fill(byte);
                st->ScanValues.fill(static_cast<int16_t>(value));
                for (const CellText& cell : DecodeUnitRecord(*st, 1)) {
                    texts.insert(cell.Text);
                }
            }
        }
    }
    return texts;
}

} // namespace

class TestCaptionsFit : public QObject {
    Q_OBJECT
private slots:
    void theRunHasTheScreenItNames() {
        const double expected = qEnvironmentVariableIsSet("ZEL_TEST_DPR")
                                    ? qEnvironmentVariable("ZEL_TEST_DPR").toDouble()
                                    : 1.0;
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), expected);
    }

    void everyCaptionFitsItsElement() {
        FormFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        QStringList overflows;
        int looked = 0;
        for (QWidget* element : f->ClientArea()->findChildren<QWidget*>()) {
            const QString caption = CaptionOf(element);
            looked += caption.isEmpty() ? 0 : 1;
            if (const QString why = Overflow(element, caption); !why.isEmpty()) {
                overflows << why;
            }
        }
        QCOMPARE(looked, 91); // every element with a caption of its own
        QVERIFY2(overflows.isEmpty(), qPrintable(overflows.join('\n')));
    }

    // The value displays with the widest texts they can show.
    void everyValueFitsItsDisplay() {
        FormFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
        struct ValueDisplay {
            VbLabel* Element;
            QStringList Widest;
        };
        const QList<ValueDisplay> displays = {
            {f->Label2(1), {"LUPTAB13   99-11-26", "RAV-B13    00-03-14", "ZEL10-13   01-07-02"}},
            {f->Label2(2), {"256", "128"}},
            {f->Label2(3), {"9999", "0"}},
            {f->Label2(4), {"255", "200", "FF", "C8"}},
            {f->Label2(5), {"16777215"}},
            {f->Label2(6), {"2028/08/28"}},
            {f->Label2(8), {"08:08:08", "20:00:00"}},
            {f->Label2(10), {"停止", "自動"}},
            {f->Label2(11), {"4000", "1000"}},
            {f->Label2(12), {"FF", "DD"}},
            {f->Label2(13), {"FF", "DD"}},
            {f->Label22(9), {"10"}},
            {f->Label22(10), {"255", "100"}},
            {f->Label22(11), {"31", "28"}},
        };
        QStringList overflows;
        for (const ValueDisplay& d : displays) {
            for (const QString& text : d.Widest) {
                if (const QString why = Overflow(d.Element, text); !why.isEmpty()) {
                    overflows << why;
                }
            }
        }
        const QSet<QString> channelTexts = ChannelTexts();
        QVERIFY(channelTexts.contains("16777215") && channelTexts.contains("660:20:15"));
        for (int u = 1; u <= 10; ++u) {
            for (const QString& type : UnitTypeCaptions()) {
                if (const QString why = Overflow(f->UnitRow(u)(0), type); !why.isEmpty()) {
                    overflows << why;
                }
            }
            for (int k = 1; k <= 8; ++k) {
                for (const QString& text : channelTexts) {
                    if (const QString why = Overflow(f->UnitRow(u)(k), text); !why.isEmpty()) {
                        overflows << why;
                        break;
                    }
                }
            }
        }
        QVERIFY2(overflows.isEmpty(), qPrintable(overflows.join('\n')));
    }

    // One fitter for many elements gives each the font it gets when fitted
    // alone: elements with the same texts in other widths, heights or fonts
    // (bold, another size, another resolution's screen) do not share results.
    void aFitterForManyElementsFitsEachAsAlone() {
        const QList<QStringList> textSets = {
            {"16777215"}, {"999:59:59", "-3.95"}, {"Imd", "4-20"}, {"ビット数/Scan"}};
        const QList<QSize> sizes = {{22, 14}, {34, 14}, {44, 14}, {58, 14}, {44, 7}, {90, 14}};
        QWidget together;
        QWidget alone;
        QList<QPair<QLabel*, QLabel*>> pairs;
        QList<QStringList> texts;
        for (const QStringList& set : textSets) {
            for (const QSize& size : sizes) {
                for (bool bold : {false, true}) {
                    for (double points : {9.0, 7.5}) {
                        QFont font(QStringLiteral("IPAPGothic"));
                        font.setPointSizeF(points);
                        font.setBold(bold);
                        auto* a = new QLabel(set.first(), &together);
                        auto* b = new QLabel(set.first(), &alone);
                        for (QLabel* label : {a, b}) {
                            label->setFont(font);
                            label->resize(size);
                        }
                        pairs.append(qMakePair(a, b));
                        texts.append(set);
                    }
                }
            }
        }
        TextFitter fitter;
        int narrowed = 0;
        for (qsizetype i = 0; i < pairs.size(); ++i) {
            const QFont before = pairs[i].first->font();
            QCOMPARE(fitter.Fit(pairs[i].first, texts[i]), FitTexts(pairs[i].second, texts[i]));
            QCOMPARE(pairs[i].first->font(), pairs[i].second->font());
            narrowed += pairs[i].first->font() == before ? 0 : 1;
        }
        // The table holds elements that keep their font and ones that do not.
        QVERIFY2(narrowed > 10 && narrowed < pairs.size() - 10,
                 qPrintable(QString::number(narrowed)));
    }
};

QTEST_MAIN(TestCaptionsFit)
#include "test_captions_fit.moc"
