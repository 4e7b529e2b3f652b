#include "decode/ReplyRead.h"

#include "link/HexText.h"

#include <algorithm>

bool IsAcceptedSize(std::span<const int> sizes, qsizetype count) {
    return std::find(sizes.begin(), sizes.end(), count) != sizes.end();
}

RomVersion ReadVersionReply(QByteArrayView s) {
    const int dateAt = Field(s, 6, 2) == "RA" ? 23 : 24;
    return {Field(s, 6, 8).toByteArray(), Field(s, dateAt, 8).toByteArray()};
}

int32_t ReadCounterReply(QByteArrayView s) {
    return static_cast<int32_t>(FieldHex(s, 5, 2) * 65536 + FieldHex(s, 7, 2) * 256 +
                                FieldHex(s, 9, 2));
}

SensorChannel ReadSensorChannelReply(QByteArrayView s) {
    SensorChannel r;
    r.Channel = static_cast<int>(FieldDecimal(s, 5, 1));
    r.Reading = FieldHexSigned16(s, 6);
    r.Flag = Field(s, 10, 1).toByteArray();
    r.Level = FieldHex(s, 11, 2);
    r.State = FieldHex(s, 13, 1);
    return r;
}

SensorReadings ReadSensorReply(QByteArrayView s) {
    SensorReadings r;
    for (int i = 0; i < 4; ++i) {
        r.Readings.at(static_cast<std::size_t>(i)) = FieldHexSigned16(s, 5 + 4 * i);
    }
    r.OutPort = Field(s, 21, 1).toByteArray();
    r.InPort = Field(s, 22, 1).toByteArray();
    return r;
}

PortStates ReadPortsReply(QByteArrayView s) {
    return {Field(s, 5, 1).toByteArray(), Field(s, 6, 1).toByteArray()};
}
