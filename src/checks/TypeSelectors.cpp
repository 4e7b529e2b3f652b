// Unit type selectors: a click on a row steps the unit's type forward, a
// click on its caption steps it back. The new type decodes the next record.
#include "core/Form1.h"
#include "decode/UnitRecord.h"
#include "decode/UnitTypeTable.h"

void Form1::UnitRow_Click(int unit) {
    if (unit < 1 || unit > 10) {
        return;
    }
    int32_t& code = State.UnitData[static_cast<std::size_t>(unit)][0];
    code = code >= UnitTypeCount() - 1 ? 0 : code + 1;
    UnitRow(unit)(0)->SetCaption(UnitTypeCaptions().at(code));
}

void Form1::Label12_Click(int index) {
    if (index < 0 || index > 9) {
        return; // "ScanMax" and "M-Code"
    }
    const int unit = index + 1;
    int32_t& code = State.UnitData[static_cast<std::size_t>(unit)][0];
    code = code <= 0 ? UnitTypeCount() - 1 : code - 1;
    UnitRow(unit)(0)->SetCaption(UnitTypeCaptions().at(code));
}
