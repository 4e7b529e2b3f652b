#pragma once

// A window on the fake port, ready to receive: the one-second tick is stopped
// (it would clear the byte count and set the Connect lamp by the traffic) and
// the start-up version request is forgotten.
#include "FormFixture.h"

#include <QCoreApplication>

#include <array>

struct DispatchBench : FormFixture {
    DispatchBench() {
        Form->Timer2->SetEnabled(false);
        Serial.ClearWrites();
        State().ByteCount = 0;
    }

    // Delivers bytes from the unit and runs the receive event to its end,
    // including the waits of the dispatcher; returns the milliseconds taken.
    qint64 Deliver(const QByteArray& bytes) {
        Serial.Receive(bytes);
        return ElapsedMs([] { QCoreApplication::sendPostedEvents(); });
    }

    // Times of the writes, counted from the given moment of the fake's clock.
    QList<qint64> WriteTimesFrom(qint64 start) const {
        QList<qint64> times;
        for (const auto& w : Serial.Writes) {
            times.append(w.AtMs - start);
        }
        return times;
    }

    int GridColorWrites() const {
        int n = 0;
        for (const auto& [i, cell] : Form->Picture1) {
            n += cell->ColorWrites();
        }
        return n;
    }

    // The grid as one letter per cell: W white, R red, G grey, ? anything else.
    QByteArray GridPicture() const {
        QByteArray out;
        for (int i = 0; i < 256; ++i) {
            const MonitorCell* cell = Form->Picture1(i);
            if (cell->IsGrey()) {
                out += cell->BackColor() == Colors::MenuBackground() ? 'G' : '?';
            } else if (cell->BackColor() == Colors::kWhite) {
                out += 'W';
            } else if (cell->BackColor() == Colors::kRed) {
                out += 'R';
            } else {
                out += '?';
            }
        }
        return out;
    }
};

// Record bytes as the unit writes them in a data field: each byte as two hex
// digits, low digit first.
inline QByteArray LowDigitFirst(const std::array<int, 32>& bytes, int count = 32) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out;
    for (int c = 0; c < count; ++c) {
        out += digits[bytes.at(static_cast<std::size_t>(c)) & 15];
        out += digits[(bytes.at(static_cast<std::size_t>(c)) >> 4) & 15];
    }
    return out;
}

// The picture a line of bits gives on the grid up to last, grey beyond.
inline QByteArray ExpectedPicture(const std::array<int, 32>& bytes, int last) {
    QByteArray out;
    for (int i = 0; i < 256; ++i) {
        if (i > last) {
            out += 'G';
        } else {
            out += ((bytes.at(static_cast<std::size_t>(i / 8)) >> (i % 8)) & 1) != 0 ? 'R' : 'W';
        }
    }
    return out;
}

inline QByteArray QfReply(int line, const std::array<int, 32>& bytes) {
    return FakeSerialControl::Reply("Qf" + QByteArray::number(line) + "00" + LowDigitFirst(bytes));
}
