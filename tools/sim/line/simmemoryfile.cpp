// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simmemoryfile.h"

#include "simlabel.h"

#include "Areas.h"
#include "Limits.h"
#include "ValueGrammar.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

#include <algorithm>

namespace {

// One value of a line without a type: a bit's as bool, a register's as
// int16 or uint16 (-2 is 0xFFFE, as the PLC stores it).
QString parseUntyped(const SimLabel &label, const QString &labelText, const QString &valueText, quint64 *pattern)
{
    if (SimAreas::isBitArea(label.area))
        return ValueGrammar::parse(ValueTypes::Type::Bool, valueText, pattern);
    const QString error = ValueGrammar::parse(ValueTypes::Type::UInt16, valueText, pattern);
    if (error.isEmpty() || ValueGrammar::parse(ValueTypes::Type::Int16, valueText, pattern).isEmpty()) {
        *pattern = quint16(*pattern);
        return QString();
    }
    quint64 wide = 0;
    if (ValueGrammar::parse(ValueTypes::Type::Int64, valueText, &wide).isEmpty()
        || ValueGrammar::parse(ValueTypes::Type::UInt64, valueText, &wide).isEmpty())
        return QStringLiteral("%1 takes -32768..65535, not %2").arg(labelText, valueText);
    return error;
}

// Fills `assignment` from one line without its comment; an error text or empty.
QString parseLine(QString line, SimMemoryFile::Assignment *assignment)
{
    static const QRegularExpression stationPattern(QStringLiteral("^@([0-9]+)\\s+(.*)$"));
    const QRegularExpressionMatch station = stationPattern.match(line);
    if (station.hasMatch()) {
        bool ok = false;
        assignment->station = station.captured(1).toInt(&ok, 10);
        if (!ok || assignment->station > Limits::maxStation)
            return QStringLiteral("station %1 is not 0..%2").arg(station.captured(1)).arg(Limits::maxStation);
        line = station.captured(2);
    } else if (line.startsWith(QLatin1Char('@'))) {
        return QStringLiteral("expected @STATION LABEL = VALUE");
    }

    const QStringList sides = line.split(QLatin1Char('='));
    if (sides.size() != 2)
        return QStringLiteral("expected LABEL = VALUE");
    QString labelText = sides.at(0).trimmed();
    const QStringList valueTexts = sides.at(1).split(QLatin1Char(','));
    assignment->generated = SimGeneratorRecipe::looksLikeOne(sides.at(1));

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
    // Older word names lay 8-bit values out otherwise than a dump would.
    assignment->typed = typed && !SimAreas::isWordArea(label.area);

    if (assignment->generated) {
        if (!SimGeneratorRecipe::parse(sides.at(1), &assignment->generator, &error))
            return error;
        error = assignment->generator.problemIn(assignment->type);
        if (!error.isEmpty())
            return typed ? error : error + QStringLiteral(" (%1 without a type is %2)").arg(labelText, SimTypes::name(assignment->type));
        assignment->values.append(0);
    }
    for (const QString &valueText : assignment->generated ? QStringList() : valueTexts) {
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
        return QStringLiteral("%1 %2 value(s) from %3 reach past element %4")
                .arg(assignment->values.size()).arg(SimTypes::name(assignment->type), labelText)
                .arg(Areas::lastElement);
    }
    assignment->area = label.area;
    assignment->element = label.element;
    return QString();
}

} // namespace

namespace SimMemoryFile {

Result parse(const QString &text, const QList<int> &stations)
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
        assignment.line = i + 1;
        QString error = parseLine(line, &assignment);
        if (error.isEmpty() && !stations.isEmpty() && assignment.station >= 0 && !stations.contains(assignment.station))
            error = QStringLiteral("station %1 is not simulated (--station)").arg(assignment.station);
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

namespace {

void applyOne(const Assignment &assignment, SimMemory *memory)
{
    SimTypes::write(memory, assignment.area, assignment.element, assignment.type, assignment.values);
    if (assignment.typed && !assignment.generated)
        memory->declare({assignment.area, assignment.element, assignment.type, int(assignment.values.size())});
}

// "@7 D300:float = " or "D300 = ".
QString lineStart(const QString &prefix, SimArea area, int element, SimType type, bool typed)
{
    const QString label = SimLabel{area, element}.text();
    return typed ? QStringLiteral("%1%2:%3 = ").arg(prefix, label, SimTypes::name(type))
                 : QStringLiteral("%1%2 = ").arg(prefix, label);
}

} // namespace

void apply(const QList<Assignment> &assignments, SimMemory *memory)
{
    for (const Assignment &assignment : assignments)
        applyOne(assignment, memory);
}

void apply(const QList<Assignment> &assignments, SimMemory *memory, int station, int firstStation)
{
    for (const Assignment &assignment : assignments) {
        if (assignment.stationOr(firstStation) == station)
            applyOne(assignment, memory);
    }
}

QString dump(const SimMemory &memory, int station, const QList<Assignment> &generators)
{
    static const SimArea stored[] = {SimArea::X, SimArea::Y, SimArea::M, SimArea::S, SimArea::T,
                                     SimArea::C, SimArea::R, SimArea::D, SimArea::RT, SimArea::RC};
    const QString prefix = station < 0 ? QString() : QStringLiteral("@%1 ").arg(station);
    QString text;
    // What loading the lines so far gives; every unit it gets wrong is
    // written out raw after them, so a dump always loads back exactly.
    SimMemory loaded;
    for (const Assignment &generator : generators) {
        text += lineStart(prefix, generator.area, generator.element, generator.type, generator.typed)
                + generator.generator.text() + QLatin1Char('\n');
        const QVector<quint64> now = SimTypes::read(memory, generator.area, generator.element, generator.type, 1);
        SimTypes::write(&loaded, generator.area, generator.element, generator.type, now);
    }
    QList<SimMemory::Typed> declared = memory.declared();
    std::sort(declared.begin(), declared.end(), [](const SimMemory::Typed &a, const SimMemory::Typed &b) {
        return std::make_pair(int(a.area), a.element) < std::make_pair(int(b.area), b.element);
    });
    for (const SimMemory::Typed &typed : qAsConst(declared)) {
        // A generator's line says what its storage means.
        const SimTypes::Span span = SimTypes::span(typed.area, typed.element, typed.type, typed.count);
        const bool generated = std::any_of(generators.begin(), generators.end(), [&span](const Assignment &generator) {
            return SimTypes::span(generator.area, generator.element, generator.type, 1).meets(span);
        });
        if (generated)
            continue;
        const QVector<quint64> values = SimTypes::read(memory, typed.area, typed.element, typed.type, typed.count);
        QStringList texts;
        for (const quint64 value : values)
            texts << SimTypes::text(typed.type, value);
        text += lineStart(prefix, typed.area, typed.element, typed.type, true) + texts.join(QStringLiteral(", "))
                + QLatin1Char('\n');
        // Read back from its text, as a load would.
        QVector<quint64> read;
        for (const QString &shown : qAsConst(texts)) {
            quint64 pattern = 0;
            QString unused;
            SimTypes::parse(typed.type, shown, &pattern, &unused);
            read << pattern;
        }
        SimTypes::write(&loaded, typed.area, typed.element, typed.type, read);
    }
    for (SimArea area : stored) {
        for (int n = 0; n < SimAreas::elementCount; ++n) {
            const quint16 value = memory.value(area, n);
            if (value == loaded.value(area, n))
                continue;
            text += lineStart(prefix, area, n, SimType::UInt16, false);
            if (SimAreas::isBitArea(area))
                text += QString::number(value) + QLatin1Char('\n');
            else
                text += QStringLiteral("0x%1\n").arg(QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        }
    }
    return text;
}

} // namespace SimMemoryFile
