// SPDX-License-Identifier: LGPL-2.1-or-later
#include "labeladdress.h"

#include "valuecoding.h"

#include <limits>

namespace LabelAddress {

namespace {

// The protocol's prefixes, tested in its order (protocol/Areas.h): a label
// names the first one found anywhere in it, so "DR7" is an R register and
// "MR5" too.
NorvoArea::AreaType areaType(Areas::Area area)
{
    return NorvoArea::AreaType(Areas::requestCode(area));
}

// Bit n set: the letter 'A' + n occurs in the label, in either case.
// Outside ASCII, case folding can make other characters match (U+017F is
// an 's'): every text is then searched for.
quint32 lettersIn(const QString &label, bool *ascii)
{
    quint32 letters = 0;
    *ascii = true;
    for (const QChar c : label) {
        const ushort code = c.unicode();
        if (code >= 0x80) {
            *ascii = false;
            return ~0u;
        }
        const ushort upper = (code >= 'a' && code <= 'z') ? ushort(code - 'a' + 'A') : code;
        if (upper >= 'A' && upper <= 'Z')
            letters |= 1u << (upper - 'A');
    }
    return letters;
}

bool hasLetters(quint32 letters, const char *text)
{
    for (; *text; ++text) {
        if (!(letters & (1u << (*text - 'A'))))
            return false;
    }
    return true;
}

} // namespace

NorvoArea::AreaType area(const QString &label)
{
    // One pass for the letters present, instead of a search per text.
    bool ascii = true;
    const quint32 letters = lettersIn(label, &ascii);
    for (const Areas::Prefix &prefix : Areas::prefixes) {
        if (!hasLetters(letters, prefix.text))
            continue;
        const bool oneLetter = prefix.text[1] == '\0';
        if ((ascii && oneLetter) || label.contains(QLatin1String(prefix.text), Qt::CaseInsensitive))
            return areaType(prefix.area);
    }
    return NorvoArea::Area_None;
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

QString number(const QString &label, NorvoArea::AreaType area)
{
    if (area == NorvoArea::Area_None)
        return QString();
    const QString found = digits(label, QString());
    if (found.isEmpty() || found.size() > Areas::elementDigits)
        return QString();
    // Leading zeros of the label are kept: they are text, not a number.
    return QString(Areas::elementDigits - found.size(), QLatin1Char('0')) + found;
}

int byteLength(DataType type, int count)
{
    const int bits = ValueCoding::valueBits(type);
    qint64 bytes = 0;
    switch (bits) {
    case 1:
        // One byte per started group of eight bits.
        bytes = count / 8 + (count % 8 != 0 ? 1 : 0);
        break;
    case 8:
        // Whole registers only: an odd last byte has none of its own.
        bytes = count / 2 * 2;
        break;
    default:
        bytes = qint64(bits / 8) * count;
        break;
    }
    // Absurd counts saturate rather than wrap.
    return int(qBound<qint64>(std::numeric_limits<int>::min(), bytes,
                              std::numeric_limits<int>::max()));
}

bool isBitArea(int area)
{
    for (const Areas::Info &info : Areas::table) {
        if (Areas::readsBits(info.area) && area == Areas::requestCode(info.area))
            return true;
    }
    return false;
}

} // namespace LabelAddress
