#pragma once

#include <QFont>
#include <QHash>
#include <QRect>
#include <QStringList>

#include <vector>

class QWidget;

// Fonts that let the panel's texts fit their elements. The layout's Gothic
// face is wider on Linux than the face the panel was drawn for, so an element
// whose text would be cut gets a font of its own: narrower first, then
// smaller, until every text it shows fits.

// Where the element draws its text, in its own coordinates: the room after
// its frame, indent and the style's margins, cut short where a sibling lying
// on top of it (created after it) begins.
QRect TextRoom(const QWidget* element);

// Gives the element the widest of its fonts in which every text fits
// TextRoom: its own font when they fit already, otherwise its face narrowed
// in 5 % steps down to 70 %, then half a point smaller at a time. Returns
// false when even the smallest step leaves a text too wide.
bool FitTexts(QWidget* element, const QStringList& texts);

// Fits the texts of one element after another as FitTexts does, measuring
// each text in each font (at each resolution) only once: elements alike, such
// as the rows of a table, then cost one measuring between them.
class TextFitter {
public:
    bool Fit(QWidget* element, const QStringList& texts);

private:
    struct Extent {
        double Advance = 0;
        double TightHeight = -1; // not measured yet
    };
    // The texts measured in one font at one resolution.
    struct Measured {
        QFont Font;
        int DpiX;
        int DpiY;
        QHash<QString, Extent> Texts;
    };
    bool Fits(const QFont& font, const QWidget* element, const QRect& room,
              const QStringList& texts);
    QHash<QString, Extent>& ExtentsIn(const QFont& font, int dpiX, int dpiY);

    // A panel uses a few fonts: looked through in turn.
    std::vector<Measured> Fonts;
};
