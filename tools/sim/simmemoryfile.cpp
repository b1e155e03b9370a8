#include "simmemoryfile.h"

#include "simlabel.h"

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

// One value of a line without a type.
QString parseUntyped(const SimLabel &label, const QString &labelText, const QString &valueText, quint64 *pattern)
{
    qint64 value = 0;
    if (!parseNumber(valueText, &value))
        return QStringLiteral("\"%1\" is no number").arg(valueText);
    if (SimAreas::isBitArea(label.area)) {
        if (value != 0 && value != 1)
            return QStringLiteral("bit %1 takes 0 or 1, not %2").arg(labelText, valueText);
    } else if (value < -32768 || value > 65535) {
        return QStringLiteral("%1 takes -32768..65535, not %2").arg(labelText, valueText);
    }
    *pattern = quint16(value);   // -2 is 0xFFFE, as the PLC stores it
    return QString();
}

// Fills `assignment` from one line without its comment; an error text or empty.
QString parseLine(QString line, SimMemoryFile::Assignment *assignment)
{
    static const QRegularExpression stationPattern(QStringLiteral("^@([0-9]+)\\s+(.*)$"));
    const QRegularExpressionMatch station = stationPattern.match(line);
    if (station.hasMatch()) {
        bool ok = false;
        assignment->station = station.captured(1).toInt(&ok, 10);
        if (!ok || assignment->station > 255)
            return QStringLiteral("station %1 is not 0..255").arg(station.captured(1));
        line = station.captured(2);
    } else if (line.startsWith(QLatin1Char('@'))) {
        return QStringLiteral("expected @STATION LABEL = VALUE");
    }

    const QStringList sides = line.split(QLatin1Char('='));
    if (sides.size() != 2)
        return QStringLiteral("expected LABEL = VALUE");
    QString labelText = sides.at(0).trimmed();
    const QStringList valueTexts = sides.at(1).split(QLatin1Char(','));

    const int colon = labelText.indexOf(QLatin1Char(':'));
    bool typed = colon >= 0;
    if (typed) {
        bool ok = false;
        assignment->type = SimTypes::fromName(labelText.mid(colon + 1).trimmed(), &ok);
        if (!ok) {
            return QStringLiteral("unknown type \"%1\" (%2)")
                    .arg(labelText.mid(colon + 1).trimmed(), SimTypes::names().join(QStringLiteral(", ")));
        }
        labelText = labelText.left(colon).trimmed();
    }
    QString error;
    const SimLabel label = SimLabel::parse(labelText, &error, true);
    if (!label.isValid())
        return error;
    if (!typed)
        assignment->type = SimAreas::isBitArea(label.area) ? SimType::Bool : SimType::UInt16;

    for (const QString &valueText : valueTexts) {
        quint64 pattern = 0;
        if (typed) {
            if (!SimTypes::parse(assignment->type, valueText.trimmed(), &pattern, &error))
                return error;
        } else {
            error = parseUntyped(label, labelText, valueText.trimmed(), &pattern);
            if (!error.isEmpty())
                return error;
        }
        assignment->values.append(pattern);
    }
    if (!SimTypes::fits(label.area, label.element, assignment->type, assignment->values.size())) {
        return QStringLiteral("%1 %2 value(s) from %3 reach past element 9999")
                .arg(assignment->values.size()).arg(SimTypes::name(assignment->type), labelText);
    }
    assignment->area = label.area;
    assignment->element = label.element;
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
        SimTypes::write(memory, assignment.area, assignment.element, assignment.type, assignment.values);
}

void apply(const QList<Assignment> &assignments, SimMemory *memory, int station, int firstStation)
{
    for (const Assignment &assignment : assignments) {
        const int target = assignment.station < 0 ? firstStation : assignment.station;
        if (target == station)
            SimTypes::write(memory, assignment.area, assignment.element, assignment.type, assignment.values);
    }
}

QString dump(const SimMemory &memory, int station)
{
    static const SimArea stored[] = {SimArea::X, SimArea::Y, SimArea::M, SimArea::S, SimArea::T,
                                     SimArea::C, SimArea::R, SimArea::D, SimArea::RT, SimArea::RC};
    const QString prefix = station < 0 ? QString() : QStringLiteral("@%1 ").arg(station);
    QString text;
    for (SimArea area : stored) {
        for (int n = 0; n < SimAreas::elementCount; ++n) {
            const quint16 value = memory.value(area, n);
            if (value == 0)
                continue;
            const QString label = SimLabel{area, n}.text();
            if (SimAreas::isBitArea(area))
                text += QStringLiteral("%1%2 = 1\n").arg(prefix, label);
            else
                text += QStringLiteral("%1%2 = 0x%3\n").arg(prefix, label,
                        QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        }
    }
    return text;
}

} // namespace SimMemoryFile
