#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <random>

// Damage a bad cable or a struggling unit does to a frame on its way out: a
// flipped bit, a lost byte, or pauses in the middle of the frame. Off unless a
// share of frames is asked for; the choices come from a seeded generator so a
// run can be repeated.

enum class DamageKind { None, FlippedBit, DroppedByte, Pause };
inline constexpr int kDamageKinds = 4;

// "none", "flipped bit", "dropped byte" or "pause".
QString DamageKindName(DamageKind kind);

struct DamageSettings {
    double Percent = 0; // share of frames damaged, 0..100
    int PauseMs = 40;   // length of each pause
    int MaxPauses = 3;  // a paused frame stops 1..MaxPauses times
    uint32_t Seed = 1;
};

struct FrameDamage {
    DamageKind Kind = DamageKind::None;
    int Position = -1;  // the byte flipped or dropped
    int Bit = 0;        // the bit flipped, 0..7
    QList<int> PauseAt; // rising indices 1..size-1: the unit is quiet before these bytes
    int PauseMs = 0;
};

// A frame as the unit sends it: its bytes and where it stops for how long.
struct OutgoingFrame {
    QByteArray Bytes;
    FrameDamage Damage;
};

// Decides whether and how a frame of `size` bytes is damaged. Frames of fewer
// than two bytes are left alone (no byte to drop without emptying the frame,
// no place inside for a pause).
FrameDamage ChooseDamage(qsizetype size, const DamageSettings& settings, std::mt19937& rng);
// The frame as it goes out with that damage.
OutgoingFrame ApplyDamage(const QByteArray& frame, const FrameDamage& damage);
// One line for traces and logs, e.g. "flipped bit 3 of byte 17".
QString DescribeDamage(const FrameDamage& damage);
