#include "labeladdress.h"

#include "valuecoding.h"

#include <limits>

namespace LabelAddress {

namespace {

// Tested in this order: the three-letter texts before their single letters,
// "R" before "D", "D" before the discrete letters. So "DR7" is an R register
// and "MR5" too.
struct AreaText
{
    const char *text;
    Area area;
};
constexpr AreaText areaTexts[] = {
    {"TMR", TimerRegisters}, {"CTR", CounterRegisters}, {"HR", RRegisters},
    {"R", RRegisters},       {"D", DRegisters},         {"X", InputWords},
    {"Y", OutputWords},      {"M", RelayWords},         {"S", StepWords},
    {"T", TimerContactWords}, {"C", CounterContactWords},
};

constexpr int numberLength = 4;

} // namespace

Area area(const QString &label)
{
    for (const AreaText &entry : areaTexts) {
        if (label.contains(QLatin1String(entry.text), Qt::CaseInsensitive))
            return entry.area;
    }
    return NoArea;
}

QString digits(const QString &src, const QString &acc)
{
    QString result = acc;
    for (const QChar c : src) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            result.append(c);
    }
    return result;
}

QString number(const QString &label, Area area)
{
    if (area == NoArea)
        return QString();
    const QString found = digits(label, QString());
    if (found.isEmpty() || found.size() > numberLength)
        return QString();
    // Leading zeros of the label are kept: they are text, not a number.
    return QString(numberLength - found.size(), QLatin1Char('0')) + found;
}

int byteLength(DataType type, int count)
{
    qint64 bytes = 0;
    switch (type) {
    case DT_Bool:
        // One byte per started group of eight bits.
        bytes = count / 8 + (count % 8 != 0 ? 1 : 0);
        break;
    case DT_Int8:
    case DT_UInt8:
        // Whole registers only: an odd last byte has none of its own.
        bytes = count / 2 * 2;
        break;
    default:
        bytes = qint64(ValueCoding::valueBits(type) / 8) * count;
        break;
    }
    // Absurd counts saturate rather than wrap.
    return int(qBound<qint64>(std::numeric_limits<int>::min(), bytes,
                              std::numeric_limits<int>::max()));
}

bool isBitArea(int area)
{
    return area == InputWords || area == OutputWords;
}

} // namespace LabelAddress
