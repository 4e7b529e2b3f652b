#include "sim/FrameDamage.h"

#include <algorithm>

QString DamageKindName(DamageKind kind) {
    switch (kind) {
    case DamageKind::FlippedBit:
        return QStringLiteral("flipped bit");
    case DamageKind::DroppedByte:
        return QStringLiteral("dropped byte");
    case DamageKind::Pause:
        return QStringLiteral("pause");
    case DamageKind::None:
        break;
    }
    return QStringLiteral("none");
}

namespace {

// A number 0..n-1 from the generator, the same on every platform for a seed
// (the standard distributions are not).
int Below(std::mt19937& rng, int n) {
    return static_cast<int>(rng() % static_cast<uint32_t>(n));
}

} // namespace

FrameDamage ChooseDamage(qsizetype size, const DamageSettings& settings, std::mt19937& rng) {
    FrameDamage damage;
    if (settings.Percent <= 0 || size < 2) {
        return damage;
    }
    // Draw in hundredths of a percent so 0.5 % means one frame in two hundred.
    const int hundredths = static_cast<int>(settings.Percent * 100.0 + 0.5);
    if (Below(rng, 10000) >= hundredths) {
        return damage;
    }
    const int n = static_cast<int>(size);
    switch (Below(rng, 3)) {
    case 0:
        damage.Kind = DamageKind::FlippedBit;
        damage.Position = Below(rng, n);
        damage.Bit = Below(rng, 8);
        break;
    case 1:
        damage.Kind = DamageKind::DroppedByte;
        damage.Position = Below(rng, n);
        break;
    default: {
        damage.Kind = DamageKind::Pause;
        damage.PauseMs = std::max(0, settings.PauseMs);
        const int wanted = 1 + Below(rng, std::max(1, settings.MaxPauses));
        // Places between bytes: before byte 1 .. before byte n-1.
        const int count = std::min(wanted, n - 1);
        while (damage.PauseAt.size() < count) {
            const int at = 1 + Below(rng, n - 1);
            if (!damage.PauseAt.contains(at)) {
                damage.PauseAt.append(at);
            }
        }
        std::sort(damage.PauseAt.begin(), damage.PauseAt.end());
        break;
    }
    }
    return damage;
}

OutgoingFrame ApplyDamage(const QByteArray& frame, const FrameDamage& damage) {
    OutgoingFrame out{frame, damage};
    const bool inFrame = damage.Position >= 0 && damage.Position < frame.size();
    if (damage.Kind == DamageKind::FlippedBit && inFrame) {
        out.Bytes[damage.Position] =
            static_cast<char>(out.Bytes[damage.Position] ^ (1 << (damage.Bit & 7)));
    } else if (damage.Kind == DamageKind::DroppedByte && inFrame) {
        out.Bytes.remove(damage.Position, 1);
    } else if (damage.Kind != DamageKind::Pause) {
        out.Damage = {};
    }
    return out;
}

QString DescribeDamage(const FrameDamage& damage) {
    switch (damage.Kind) {
    case DamageKind::FlippedBit:
        return QStringLiteral("flipped bit %1 of byte %2").arg(damage.Bit).arg(damage.Position);
    case DamageKind::DroppedByte:
        return QStringLiteral("dropped byte %1").arg(damage.Position);
    case DamageKind::Pause: {
        QStringList at;
        for (int i : damage.PauseAt) {
            at << QString::number(i);
        }
        return QStringLiteral("%1 x %2 ms pause before byte %3")
            .arg(damage.PauseAt.size())
            .arg(damage.PauseMs)
            .arg(at.join(QLatin1Char(',')));
    }
    case DamageKind::None:
        break;
    }
    return QStringLiteral("none");
}
