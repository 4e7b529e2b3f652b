#pragma once

#include "link/Frame.h"

#include <QByteArray>
#include <QByteArrayView>

#include <span>

class Form1;

// The replies the window acts on, one row each: the reply code, the data
// sizes it takes (counted from DataAt, the characters of the frame text
// before the data; no sizes: any size) and the handler, which reads the reply
// with its pure reader and shows what it read. Every other code, and every
// modem line, needs no action.
struct ReplyRoute {
    QByteArrayView Code;
    int DataAt = 0;
    std::span<const int> Sizes;
    void (*Handle)(Form1& form, const QByteArray& s) = nullptr;
};

// The route of a reply frame's code, or null.
const ReplyRoute* FindReplyRoute(const Frame& frame);

// A bit scan of a size the window takes into the grid.
bool IsAcceptedScan(const Frame& frame);
