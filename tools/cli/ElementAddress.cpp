// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ElementAddress.h"

#include "Areas.h"
#include "Limits.h"
#include "ValueText.h"

namespace {

// The most units (registers, or bits on X and Y) one request carries.
const qint64 maxUnits = Limits::maxUnits;

bool readsBits(const QString &label)
{
    return Areas::readsBits(Areas::parseLabel(label).area);
}

} // namespace

namespace ElementAddress {

QString label(const QString &first, DataType type, int index)
{
    QString letters;
    QString digits;
    if (!Areas::split(first, &letters, &digits))
        return first;
    int perRegister = 1;
    const int registers = ValueText::registersPerValue(type, &perRegister);
    int offset = index;
    QString part;
    if (registers > 0) {
        offset = index * registers;
    } else if (perRegister == 2) { // 8-bit values: two to a register
        offset = index / 2;
        part = index % 2 == 0 ? QStringLiteral(".hi") : QStringLiteral(".lo");
    }
    const QString number = QString::number(digits.toInt() + offset).rightJustified(digits.size(), QLatin1Char('0'));
    return letters + number + part;
}

QStringList labels(const QString &first, DataType type, int count)
{
    QStringList all;
    for (int i = 0; i < count; ++i)
        all << label(first, type, i);
    return all;
}

QList<LabelResult> split(const LabelResult &result)
{
    QList<LabelResult> elements;
    for (int i = 0; i < result.count; ++i) {
        LabelResult element = result;
        element.label = label(result.label, result.type, i);
        element.count = 1;
        element.value = ValueText::valueAt(result.type, result.value, i);
        elements << element;
    }
    return elements;
}

QString countLimit(const QString &label, DataType type, int count, bool write)
{
    const QString typeName = ValueText::typeName(type);
    int perRegister = 1;
    const int registers = ValueText::registersPerValue(type, &perRegister);
    if (write && perRegister == 2 && count % 2 != 0) {
        return QStringLiteral("%1 values travel in pairs, two to a register, so the count must be "
                              "even (%2 given)").arg(typeName).arg(count);
    }
    // Reads of X and Y count bits, all others registers; so do all writes.
    const bool bits = !write && readsBits(label);
    int bitsPerValue = registers > 0 ? 16 * registers : 16 / perRegister;
    qint64 units = 0;
    if (bits)
        units = qint64(bitsPerValue) * count;
    else if (registers > 0)
        units = qint64(registers) * count;
    else
        units = (qint64(count) + perRegister - 1) / perRegister;
    if (units <= maxUnits)
        return QString();
    const QString unit = bits ? QStringLiteral("bits") : QStringLiteral("registers");
    return QStringLiteral("at most %1 %2 fit one request; %3 %4 values from %5 need %6 %2")
        .arg(maxUnits).arg(unit).arg(count).arg(typeName, label).arg(units);
}

} // namespace ElementAddress
