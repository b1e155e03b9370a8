// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tagfile.h"

#include "ValueText.h"
#include "requestplan.h"

#include "csvrecords.h"

#include "Limits.h"

#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>
#include <QtCore/QTextCodec>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

enum Column { Name, Label, Type, Count, Period, Deadband, Writable, ColumnCount };
const char *const columnNames[ColumnCount] = {"name", "label", "type", "count", "period_ms", "deadband",
                                              "writable"};
constexpr int requiredColumns = Type + 1;

// Topics the node publishes beside its tags.
const char *const reservedNames[] = {"status", "links"};

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString columnList()
{
    QStringList names;
    for (const char *name : columnNames)
        names << QLatin1String(name);
    return names.join(QLatin1Char(','));
}

// The text of bytes that must be UTF-8; *badLine is the first line that is not.
bool decodeUtf8(QByteArray bytes, QString *text, int *badLine)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        utf8->toUnicode(lines.at(i).constData(), lines.at(i).size(), &state);
        if (state.invalidChars > 0 || state.remainingChars > 0) {
            *badLine = i + 1;
            return false;
        }
    }
    *text = QString::fromUtf8(bytes);
    return true;
}

QString checkHeader(const QStringList &fields)
{
    const QString expected = QStringLiteral(" (columns: %1; the first %2 are required, in this order)")
                                 .arg(columnList()).arg(requiredColumns);
    if (fields.size() < requiredColumns || fields.size() > ColumnCount)
        return QStringLiteral("the header has %1 columns").arg(fields.size()) + expected;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).trimmed().compare(QLatin1String(columnNames[i]), Qt::CaseInsensitive) != 0) {
            return QStringLiteral("header column %1 is %2, not %3")
                       .arg(i + 1).arg(quoted(fields.at(i)), quoted(QLatin1String(columnNames[i])))
                   + expected;
        }
    }
    return QString();
}

QString checkName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("name is empty");
    // It is one level of the tag's topic.
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#'))
            return QStringLiteral("name %1 holds %2, which cannot stand in a topic level").arg(quoted(name), c);
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("name %1 holds a control character").arg(quoted(name));
    }
    for (const char *reserved : reservedNames) {
        if (name == QLatin1String(reserved))
            return QStringLiteral("name %1 is the node's own topic").arg(quoted(name));
    }
    return QString();
}

QString wholeNumber(Column column, const QString &text, int min, int max, int *out)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    bool ok = false;
    const int value = digits.match(text).hasMatch() ? text.toInt(&ok) : 0;
    if (!ok || value < min || value > max) {
        const QString range = max == INT_MAX ? QStringLiteral("of %1 or more").arg(min)
                                             : QStringLiteral("from %1 to %2").arg(min).arg(max);
        return QStringLiteral("%1 %2 is not a whole number %3")
            .arg(QLatin1String(columnNames[column]), quoted(text), range);
    }
    *out = value;
    return QString();
}

bool parseFlag(const QString &text, bool *out)
{
    struct Word
    {
        const char *text;
        bool value;
    };
    static const Word words[] = {{"", false},    {"false", false}, {"no", false}, {"0", false},
                                 {"true", true}, {"yes", true},    {"1", true}};
    for (const Word &word : words) {
        if (text.compare(QLatin1String(word.text), Qt::CaseInsensitive) == 0) {
            *out = word.value;
            return true;
        }
    }
    return false;
}

// One line's tag; the fields are trimmed and as many as the columns.
QString parseTag(const QStringList &field, TagFile::Tag *tag)
{
    tag->name = field[Name];
    QString error = checkName(tag->name);
    if (!error.isEmpty())
        return error;

    tag->label = field[Label];
    const Areas::Label label = Areas::parseLabel(tag->label);
    if (!label.isValid()) {
        return QStringLiteral("label %1 is not an area (%2) followed by an element number 0 to %3")
            .arg(quoted(tag->label), Areas::prefixList()).arg(Areas::lastElement);
    }
    tag->area = label.area;
    tag->element = label.element;

    if (!ValueTypes::fromName(field[Type], &tag->type)) {
        return QStringLiteral("type %1 is none of %2")
            .arg(quoted(field[Type]), ValueTypes::names().join(QStringLiteral(", ")));
    }
    const QString typeName = ValueTypes::name(tag->type);
    const bool isBool = tag->type == ValueTypes::Type::Bool;

    error = field[Count].isEmpty() ? QString() : wholeNumber(Count, field[Count], 1, INT_MAX, &tag->count);
    if (!error.isEmpty())
        return error;
    const qint64 units = TagFile::readUnits(tag->area, tag->type, tag->count);
    if (units > Limits::maxUnits) {
        return QStringLiteral("count %1: %2 %3 values from %4 take %5 %6, one request carries at most %7")
            .arg(quoted(field[Count])).arg(tag->count).arg(typeName, tag->label).arg(units)
            .arg(Areas::readsBits(tag->area) ? QStringLiteral("bits") : QStringLiteral("registers"))
            .arg(Limits::maxUnits);
    }

    if (!field[Period].isEmpty()) {
        error = wholeNumber(Period, field[Period], TagFile::minPeriodMs, TagFile::maxPeriodMs, &tag->periodMs);
        if (!error.isEmpty())
            return error;
    }

    if (!field[Deadband].isEmpty()) {
        bool ok = false;
        tag->deadband = QLocale::c().toDouble(field[Deadband], &ok);
        if (!ok || !std::isfinite(tag->deadband) || tag->deadband < 0)
            return QStringLiteral("deadband %1 is not a number of 0 or more").arg(quoted(field[Deadband]));
        if (isBool)
            return QStringLiteral("deadband %1: bool tags take none").arg(quoted(field[Deadband]));
    }

    if (!parseFlag(field[Writable], &tag->writable)) {
        return QStringLiteral("writable %1 is none of true, false, yes, no, 1, 0 or empty")
            .arg(quoted(field[Writable]));
    }
    // The driver writes whole registers only: these writes would fail every time.
    if (tag->writable && isBool)
        return QStringLiteral("writable %1: bool tags cannot be written").arg(quoted(field[Writable]));
    if (tag->writable && ValueTypes::info(tag->type).bits == 8 && tag->count % 2 != 0) {
        return QStringLiteral("writable %1: %2 values are written two to a register, so the count must "
                              "be even (%3 given)")
            .arg(quoted(field[Writable]), typeName).arg(tag->count);
    }
    return QString();
}

} // namespace

namespace TagFile {

qint64 readUnits(Areas::Area area, ValueTypes::Type type, int count)
{
    return RequestPlan::read(ValueText::dataType(type), count, Areas::requestCode(area)).units;
}

QString parse(const QByteArray &bytes, const QString &fileName, QList<Tag> *tags)
{
    const auto refuse = [&](int line, const QString &reason) {
        return QStringLiteral("%1:%2: %3").arg(fileName).arg(line).arg(reason);
    };
    QString text;
    int line = 0;
    if (!decodeUtf8(bytes, &text, &line))
        return refuse(line, QStringLiteral("not UTF-8 text (save the sheet as CSV UTF-8)"));
    QList<CsvRecords::Record> records;
    const QString error = CsvRecords::split(text, &records, &line);
    if (!error.isEmpty())
        return refuse(line, error);

    // A spreadsheet saves its empty rows as commas.
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const CsvRecords::Record &record) {
                                     return record.fields.join(QString()).trimmed().isEmpty();
                                 }),
                  records.end());
    if (records.isEmpty())
        return QStringLiteral("%1: no header line (%2)").arg(fileName, columnList());
    const QString headerError = checkHeader(records.first().fields);
    if (!headerError.isEmpty())
        return refuse(records.first().line, headerError);
    const int columns = records.first().fields.size();

    QList<Tag> all;
    QHash<QString, int> lineOfName;
    for (const CsvRecords::Record &record : records.mid(1)) {
        QStringList fields;
        for (const QString &field : record.fields)
            fields << field.trimmed();
        for (int i = columns; i < fields.size(); ++i) {
            if (!fields.at(i).isEmpty()) {
                return refuse(record.line, QStringLiteral("%1 in column %2: the header names %3 columns")
                                               .arg(quoted(fields.at(i))).arg(i + 1).arg(columns));
            }
        }
        while (fields.size() < ColumnCount)
            fields << QString();
        Tag tag;
        const QString reason = parseTag(fields, &tag);
        if (!reason.isEmpty())
            return refuse(record.line, reason);
        if (lineOfName.contains(tag.name)) {
            return refuse(record.line, QStringLiteral("name %1 is taken by line %2")
                                           .arg(quoted(tag.name)).arg(lineOfName.value(tag.name)));
        }
        lineOfName.insert(tag.name, record.line);
        all << tag;
    }
    if (all.isEmpty())
        return QStringLiteral("%1: no tags, only the header").arg(fileName);
    *tags = all;
    return QString();
}

QString read(const QString &path, QList<Tag> *tags)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return parse(file.readAll(), path, tags);
}

} // namespace TagFile
