#include "unit/HelpTexts.h"

#include <QStringList>

QString HelpTitle() {
    return QStringLiteral("ヘルプ");
}

QString HelpText() {
    // The spaces after "1." and "2." and at the start of the last three lines
    // are ideographic spaces (U+3000).
    const QStringList lines = {
        QStringLiteral(
            "ZEL-03(CPU:10MHz)専用ROM「LUPTABxx」「RAV-Bxx」「ZEL10-xx」のチェッカーです。"),
        QString(),
        QStringLiteral(
            "1.\u3000サンプルパワーオンでROM名が表示され、コネクト窓が水色点灯すれば接続は"
            "ＯＫで待機状態となります。"),
        QStringLiteral("2.\u3000次の手順でチェックを行います。"),
        QStringLiteral("\u3000① 「Pattern1」→「Pattern2」→「Pattern3」をチェックします。"),
        QStringLiteral("\u3000② 最後に「Clear4]でメモリをクリアした後「Stop」ボタンで終了します。"),
        QStringLiteral("\u3000③ サンプルをパワーオフします。"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString VersionTitle() {
    return QStringLiteral("バージョン情報");
}

QString VersionText() {
    const QStringList lines = {
        QStringLiteral("       ZEL_Checker " ZEL_VERSION),
        QString(),
        // The maker and where it works, as generic names.
        QStringLiteral("Made by the bench tools group"),
        QStringLiteral("       at the unit test bench"),
    };
    return lines.join(QStringLiteral("\r\n"));
}
