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

namespace {

// A whole decimal number of one to three digits, nothing else; -1 otherwise.
int SmallNumber(QStringView digits) {
    if (digits.isEmpty() || digits.size() > 3) {
        return -1;
    }
    int value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return -1;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// A reply code as it stands after the opening CR LF of a reply: "Q" and one
// printable character ("QV", "Qf", "Q!").
bool IsReplyCode(QStringView code) {
    return code.size() == 2 && code[0] == u'Q' && code[1] > u' ' && code[1] < u'\x7F';
}

} // namespace

bool ParseUnitFault(QStringView text, UnitFaults* faults, QString* error) {
    const qsizetype equals = text.indexOf(u'=');
    const QStringView name = equals < 0 ? text : text.first(equals);
    const QStringView value = equals < 0 ? QStringView() : text.sliced(equals + 1);
    if (name == u"no-counter") {
        if (equals >= 0) {
            *error = QStringLiteral("fault \"no-counter\" takes no value");
            return false;
        }
        faults->NoCounter = true;
        return true;
    }
    if (name == u"stuck-bit") {
        const qsizetype at = value.indexOf(u'@');
        const QStringView cellAndState = at < 0 ? value : value.first(at);
        const int lineNumber = at < 0 ? 0 : SmallNumber(value.sliced(at + 1));
        const qsizetype colon = cellAndState.indexOf(u':');
        const int cell = SmallNumber(colon < 0 ? cellAndState : cellAndState.first(colon));
        const QStringView state = colon < 0 ? QStringView(u"1") : cellAndState.sliced(colon + 1);
        if (equals < 0 || cell < 0 || cell > 255 || (state != u"0" && state != u"1") ||
            (at >= 0 && (lineNumber < 1 || lineNumber > 4))) {
            *error = QStringLiteral("fault \"%1\": stuck-bit takes a cell 0..255, optionally "
                                    "followed by :0 or :1 and by @1..@4 for one line "
                                    "(stuck-bit=N, stuck-bit=N:V, stuck-bit=N:V@L)")
                         .arg(text);
            return false;
        }
        const int stuckValue = state == u"1" ? 1 : 0;
        const int stuckLine = at < 0 ? -1 : lineNumber - 1;
        if (faults->StuckCell >= 0 &&
            (faults->StuckCell != cell || faults->StuckValue != stuckValue ||
             faults->StuckLine != stuckLine)) {
            *error = QStringLiteral("fault \"%1\": the unit already has a stuck bit (cell %2)")
                         .arg(text)
                         .arg(faults->StuckCell);
            return false;
        }
        faults->StuckCell = cell;
        faults->StuckValue = stuckValue;
        faults->StuckLine = stuckLine;
        return true;
    }
    if (name == u"spoil-first" || name == u"drop-lf-first") {
        if (equals < 0 || !IsReplyCode(value)) {
            *error = QStringLiteral("fault \"%1\": %2 takes a reply code, \"Q\" and one more "
                                    "character (%2=QV)")
                         .arg(text, name);
            return false;
        }
        QByteArrayList& codes = name == u"spoil-first" ? faults->SpoilFirst : faults->DropLfFirst;
        const QByteArray code = value.toLatin1();
        if (!codes.contains(code)) {
            codes.append(code);
        }
        return true;
    }
    if (name == u"restart-on") {
        if (equals < 0 || !IsReplyCode(value)) {
            *error = QStringLiteral("fault \"%1\": restart-on takes a command code, \"Q\" and "
                                    "one more character (restart-on=QG)")
                         .arg(text);
            return false;
        }
        faults->RestartOn = value.toLatin1();
        return true;
    }
    if (name == u"bad-checksum") {
        const int percent = SmallNumber(value);
        if (equals < 0 || percent < 0 || percent > 100) {
            *error = QStringLiteral("fault \"%1\": bad-checksum takes a percentage 0..100 "
                                    "(bad-checksum=P)")
                         .arg(text);
            return false;
        }
        faults->BadChecksumPercent = percent;
        return true;
    }
    *error =
        QStringLiteral("unknown fault \"%1\" (stuck-bit=N[:0|:1][@L], no-counter, "
                       "bad-checksum=P, spoil-first=CODE, drop-lf-first=CODE or restart-on=CODE)")
            .arg(text);
    return false;
}
