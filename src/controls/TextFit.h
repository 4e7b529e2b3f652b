#pragma once

#include <QRect>
#include <QStringList>

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
