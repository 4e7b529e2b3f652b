#include "sim/UnitTypes.h"

QString UnitFamilyName(UnitFamily family) {
    switch (family) {
    case UnitFamily::Lup:
        return QStringLiteral("LUP");
    case UnitFamily::Rav:
        return QStringLiteral("RAV");
    case UnitFamily::Zel:
        break;
    }
    return QStringLiteral("ZEL");
}

bool ParseUnitFamily(QStringView text, UnitFamily* family) {
    for (UnitFamily f : {UnitFamily::Lup, UnitFamily::Rav, UnitFamily::Zel}) {
        if (text.compare(UnitFamilyName(f), Qt::CaseInsensitive) == 0) {
            *family = f;
            return true;
        }
    }
    return false;
}

QByteArray UnitRomName(UnitFamily family) {
    switch (family) {
    case UnitFamily::Lup:
        return "LUPTAB13";
    case UnitFamily::Rav:
        return "RAV-B13";
    case UnitFamily::Zel:
        break;
    }
    return "ZEL10-13";
}

bool IsValidScanBits(int bits) {
    return bits == 32 || bits == 64 || bits == 128 || bits == 256;
}
