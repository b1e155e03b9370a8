// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Output.h"

#include "ElementAddress.h"

Output::Output(Invocation::Format format, QTextStream &out, QTextStream &err)
    : format_(format), out_(out), err_(err)
{
}

Output::~Output()
{
    showTable();
}

void Output::setPresentation(ValueText::Style style, bool byAddress)
{
    style_ = style;
    byAddress_ = byAddress;
    table_.setStyle(style);
}

void Output::expect(const QList<ReadItem> &items)
{
    for (const ReadItem &item : items) {
        const QStringList labels = ElementAddress::labels(item.label, item.type, item.count);
        columns_ << labels;
        if (!byAddress_) {
            table_.reserve(item.label, item.type, item.count);
            continue;
        }
        for (const QString &label : labels)
            table_.reserve(label, item.type, 1);
    }
}

void Output::result(const LabelResult &result)
{
    if (format_ == Invocation::CsvWide) {
        if (!cycleTime_.isValid())
            cycleTime_ = result.time;
        for (const LabelResult &element : ElementAddress::split(result)) {
            QStringList texts;
            if (element.status == 0 && ValueText::formatValues(element.type, element.value, style_, &texts))
                cells_.insert(element.label, texts.value(0));
        }
        return;
    }
    if (!byAddress_) {
        row(result);
        return;
    }
    for (const LabelResult &element : ElementAddress::split(result))
        row(element);
}

void Output::row(const LabelResult &result)
{
    switch (format_) {
    case Invocation::Json:
        out_ << resultJson(result) << Qt::endl;
        return;
    case Invocation::Csv:
        if (!headerShown_)
            out_ << csvHeader() << "\r\n";
        out_ << csvRow(result, style_) << "\r\n" << Qt::flush;
        break;
    case Invocation::CsvWide:
    case Invocation::Table:
        tableRows_ << result;
        return;
    }
    headerShown_ = true;
}

void Output::showTable()
{
    if (tableRows_.isEmpty())
        return;
    for (const LabelResult &result : qAsConst(tableRows_))
        table_.fit(result);
    if (!headerShown_)
        out_ << table_.header(tableRows_.first()) << '\n';
    headerShown_ = true;
    for (const LabelResult &result : qAsConst(tableRows_))
        out_ << table_.row(result) << '\n';
    out_ << Qt::flush;
    tableRows_.clear();
}

// One row per cycle: its first time stamp, then a cell per element, empty
// where the read failed.
void Output::endCycle()
{
    showTable();
    if (format_ != Invocation::CsvWide || !cycleTime_.isValid())
        return;
    if (!headerShown_)
        out_ << csvLine(QStringList(QStringLiteral("time")) + columns_) << "\r\n";
    headerShown_ = true;
    QStringList fields(isoTime(cycleTime_));
    for (const QString &column : qAsConst(columns_))
        fields << cells_.value(column);
    out_ << csvLine(fields) << "\r\n" << Qt::flush;
    cells_.clear();
    cycleTime_ = QDateTime();
}

void Output::event(const QString &name, const QString &detail)
{
    showTable();
    const QDateTime now = QDateTime::currentDateTime();
    switch (format_) {
    case Invocation::Json: {
        QJsonObject object;
        object.insert(QStringLiteral("event"), name);
        object.insert(QStringLiteral("detail"), detail);
        object.insert(QStringLiteral("time"), isoTime(now));
        out_ << jsonLine(object) << Qt::endl;
        return;
    }
    case Invocation::Csv:
    case Invocation::CsvWide:
        err_ << "norvo: " << isoTime(now) << " " << name << ": " << detail << Qt::endl;
        return;
    case Invocation::Table:
        out_ << "-- " << now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) << "  " << name
             << ": " << detail << Qt::endl;
        return;
    }
}

void Output::error(const QString &message, int exitCode, const QJsonObject &extra)
{
    showTable();
    err_ << "norvo: " << message << Qt::endl;
    if (format_ != Invocation::Json)
        return;
    QJsonObject object = extra;
    object.insert(QStringLiteral("error"), message);
    object.insert(QStringLiteral("exit"), exitCode);
    out_ << jsonLine(object) << Qt::endl;
}

void Output::note(const QString &message)
{
    err_ << "norvo: " << message << Qt::endl;
}

void Output::data(const QString &text, const QJsonObject &object)
{
    showTable();
    if (format_ == Invocation::Json)
        out_ << jsonLine(object) << Qt::endl;
    else
        out_ << text << Qt::endl;
}
