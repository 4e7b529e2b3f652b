#include "link/PortNames.h"

#include <QRegularExpression>

QString PortNames::Device(int port) const {
    if (Mapped.contains(port)) {
        return Mapped.value(port);
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

bool PortNames::AddMapping(const QString& option, QString* error) {
    static const QRegularExpression pattern(QStringLiteral("^COM([1-4])=(.+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(option);
    if (!match.hasMatch()) {
        if (error != nullptr) {
            *error =
                QStringLiteral("expected COMk=DEVICE with k from 1 to 4, got \"%1\"").arg(option);
        }
        return false;
    }
    Mapped[match.captured(1).toInt()] = match.captured(2);
    return true;
}

bool ParseSettings(const QString& text, LineSettings* settings) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4 || parts[1].size() != 1) {
        return false;
    }
    bool okBaud = false;
    bool okData = false;
    bool okStop = false;
    LineSettings s;
    s.Baud = parts[0].toInt(&okBaud);
    s.Parity = parts[1].toUpper().at(0).toLatin1();
    s.DataBits = parts[2].toInt(&okData);
    s.StopBits = parts[3].toInt(&okStop);
    if (!okBaud || !okData || !okStop || QByteArray("NEO").indexOf(s.Parity) < 0) {
        return false;
    }
    *settings = s;
    return true;
}
