#include "Output.h"

Output::Output(Invocation::Format format, QTextStream &out, QTextStream &err)
    : format_(format), out_(out), err_(err)
{
}

void Output::expect(const QList<ReadItem> &items)
{
    for (const ReadItem &item : items)
        table_.reserve(item.label, item.type, item.count);
}

void Output::result(const LabelResult &result)
{
    switch (format_) {
    case Invocation::Json:
        out_ << resultJson(result) << Qt::endl;
        return;
    case Invocation::Csv:
        if (!headerShown_)
            out_ << csvHeader() << "\r\n";
        out_ << csvRow(result) << "\r\n" << Qt::flush;
        break;
    case Invocation::Table:
        if (!headerShown_)
            out_ << table_.header(result) << '\n';
        out_ << table_.row(result) << Qt::endl;
        break;
    }
    headerShown_ = true;
}

void Output::event(const QString &name, const QString &detail)
{
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
    if (format_ == Invocation::Json)
        out_ << jsonLine(object) << Qt::endl;
    else
        out_ << text << Qt::endl;
}
