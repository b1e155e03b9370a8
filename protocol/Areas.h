// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_AREAS_H
#define NORVO_PROTOCOL_AREAS_H

#include <QtCore/QRegularExpression>
#include <QtCore/QString>

// The PLC's memory areas and the labels that name their elements: an area
// prefix and an element number, "D100", "HR7", "TMR5", "X17".
namespace Areas {

enum class Area { None, X, Y, M, S, T, C, R, D, RT, RC };

// A request carries the element number in four decimal digits.
constexpr int elementDigits = 4;
constexpr int lastElement = 9999;
constexpr int elementCount = lastElement + 1;

struct Info
{
    Area area;
    const char *prefix; // as labels are written
    char first;         // the area characters of a register request: a bit
    char second;        // area's are its words' (W and its letter); a bit read
                        // carries the second one only
    bool bits;          // one bit per element; the others hold 16-bit registers
};

constexpr Info table[] = {
    {Area::X, "X", 'W', 'X', true},       {Area::Y, "Y", 'W', 'Y', true},
    {Area::M, "M", 'W', 'M', true},       {Area::S, "S", 'W', 'S', true},
    {Area::T, "T", 'W', 'T', true},       {Area::C, "C", 'W', 'C', true},
    {Area::R, "HR", 'R', '0', false},     {Area::D, "D", 'D', '0', false},
    {Area::RT, "TMR", 'R', 'T', false},   {Area::RC, "CTR", 'R', 'C', false},
};

// Every spelling of a prefix, any case. In this order the driver finds them
// anywhere in a label: the long ones first, R before D (DR7 is an R
// register), D before the bit letters.
struct Prefix
{
    const char *text;
    Area area;
};
constexpr Prefix prefixes[] = {
    {"TMR", Area::RT}, {"CTR", Area::RC}, {"HR", Area::R}, {"DR", Area::R},
    {"R", Area::R},    {"D", Area::D},    {"X", Area::X},  {"Y", Area::Y},
    {"M", Area::M},    {"S", Area::S},    {"T", Area::T},  {"C", Area::C},
};

constexpr const Info *info(Area area)
{
    for (const Info &entry : table) {
        if (entry.area == area)
            return &entry;
    }
    return nullptr;
}

constexpr bool holdsBits(Area area)
{
    return info(area) && info(area)->bits;
}

// The discrete inputs and outputs are read bit by bit; every other area,
// the other bit areas too, by 16-bit registers.
constexpr bool readsBits(Area area)
{
    return area == Area::X || area == Area::Y;
}

// Elements one unit of a request takes: a bit of a bit read, a register of
// a register area, and 16 bits for a register read of a bit area (its word
// at n holds the bits n to n + 15).
constexpr int elementsPerUnit(Area area)
{
    return holdsBits(area) && !readsBits(area) ? 16 : 1;
}

// The two area characters of a register request packed into an int, the
// first in the high byte ('D' << 8 | '0'); 0 for no area.
constexpr int requestCode(Area area)
{
    return info(area) ? info(area)->first << 8 | info(area)->second : 0;
}

// The area a prefix names, any case; None for none.
inline Area fromPrefix(const QString &text)
{
    for (const Prefix &prefix : prefixes) {
        if (text.compare(QLatin1String(prefix.text), Qt::CaseInsensitive) == 0)
            return prefix.area;
    }
    return Area::None;
}

inline QString prefix(Area area)
{
    return info(area) ? QLatin1String(info(area)->prefix) : QString();
}

// The spellings for people: "D, R, HR, TMR, CTR, X, Y, M, S, T, C".
inline QString prefixList()
{
    return QStringLiteral("D, R, HR, TMR, CTR, X, Y, M, S, T, C");
}

struct Label
{
    Area area = Area::None;
    int element = -1;
    bool isValid() const { return area != Area::None; }
};

// A label's letters and digits, split where the digits start; false when
// it is not letters followed by digits.
inline bool split(const QString &text, QString *letters, QString *digits)
{
    static const QRegularExpression parts(QStringLiteral("^([A-Za-z]+)([0-9]+)$"));
    const QRegularExpressionMatch match = parts.match(text);
    if (!match.hasMatch())
        return false;
    *letters = match.captured(1);
    *digits = match.captured(2);
    return true;
}

// A prefix followed by one to four decimal digits, nothing around them;
// an invalid label otherwise.
inline Label parseLabel(const QString &text)
{
    QString letters;
    QString digits;
    Label label;
    if (!split(text, &letters, &digits) || digits.size() > elementDigits)
        return label;
    label.area = fromPrefix(letters);
    label.element = label.isValid() ? digits.toInt() : -1;
    return label;
}

} // namespace Areas

#endif
