#include "simmemoryfile.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

namespace {

// A number in decimal or 0x hex, with an optional minus sign.
bool parseNumber(const QString &text, qint64 *value)
{
    QString digits = text;
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits.remove(0, 2);
        base = 16;
    }
    // toLongLong would take a sign or blanks of its own.
    if (digits.isEmpty() || !digits.at(0).isLetterOrNumber())
        return false;
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok, base);
    if (!ok)
        return false;
    *value = negative ? -number : number;
    return true;
}

// Fills `assignment` from one line without its comment; an error text or empty.
QString parseLine(const QString &line, SimMemoryFile::Assignment *assignment)
{
    const QStringList sides = line.split(QLatin1Char('='));
    if (sides.size() != 2)
        return QStringLiteral("expected LABEL = VALUE");
    const QString label = sides.at(0).trimmed();
    const QString valueText = sides.at(1).trimmed();

    static const QRegularExpression labelPattern(QStringLiteral("^([A-Za-z]+)([0-9]+)$"));
    const QRegularExpressionMatch match = labelPattern.match(label);
    if (!match.hasMatch())
        return QStringLiteral("\"%1\" is no label (area letters and an element number, like D100)").arg(label);
    const SimArea area = SimAreas::fromName(match.captured(1));
    if (area == SimArea::None)
        return QStringLiteral("unknown area \"%1\"").arg(match.captured(1));
    bool ok = false;
    const int element = match.captured(2).toInt(&ok, 10);
    if (!ok || !SimAreas::fits(area, element, 1)) {
        return SimAreas::isWordArea(area)
                ? QStringLiteral("word %1 reaches past bit 9999").arg(label)
                : QStringLiteral("element %1 is past 9999").arg(match.captured(2));
    }

    qint64 value = 0;
    if (!parseNumber(valueText, &value))
        return QStringLiteral("\"%1\" is no number").arg(valueText);
    if (SimAreas::isBitArea(area)) {
        if (value != 0 && value != 1)
            return QStringLiteral("bit %1 takes 0 or 1, not %2").arg(label, valueText);
    } else if (value < -32768 || value > 65535) {
        return QStringLiteral("%1 takes -32768..65535, not %2").arg(label, valueText);
    }

    assignment->area = area;
    assignment->element = element;
    assignment->value = quint16(value);   // -2 is 0xFFFE, as the PLC stores it
    return QString();
}

} // namespace

namespace SimMemoryFile {

Result parse(const QString &text)
{
    Result result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        Assignment assignment;
        const QString error = parseLine(line, &assignment);
        if (!error.isEmpty()) {
            result.errorLine = i + 1;
            result.error = error;
            result.assignments.clear();
            return result;
        }
        result.assignments.append(assignment);
    }
    return result;
}

void apply(const QList<Assignment> &assignments, SimMemory *memory)
{
    for (const Assignment &assignment : assignments)
        memory->setValue(assignment.area, assignment.element, assignment.value);
}

QString dump(const SimMemory &memory)
{
    static const SimArea stored[] = {SimArea::X, SimArea::Y, SimArea::M, SimArea::S, SimArea::T,
                                     SimArea::C, SimArea::R, SimArea::D, SimArea::RT, SimArea::RC};
    QString text;
    for (SimArea area : stored) {
        const QString name = SimAreas::name(area);
        for (int n = 0; n < SimAreas::elementCount; ++n) {
            const quint16 value = memory.value(area, n);
            if (value == 0)
                continue;
            if (SimAreas::isBitArea(area))
                text += QStringLiteral("%1%2 = 1\n").arg(name).arg(n);
            else
                text += QStringLiteral("%1%2 = 0x%3\n").arg(name).arg(n)
                        .arg(QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        }
    }
    return text;
}

} // namespace SimMemoryFile
