// SPDX-License-Identifier: LGPL-2.1-or-later
#include "csvrecords.h"

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Walks the text one character at a time, counting lines.
class Reader
{
public:
    explicit Reader(const QString &text) : text(text) {}

    bool atEnd() const { return pos >= text.size(); }
    QChar peek() const { return atEnd() ? QChar() : text.at(pos); }
    QChar take()
    {
        const QChar c = text.at(pos++);
        if (c == QLatin1Char('\n'))
            ++line;
        return c;
    }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(peek()))
            take();
    }
    // Whether the rest of the line is empty or a comment.
    bool lineIsSkipped() const
    {
        const int end = text.indexOf(QLatin1Char('\n'), pos);
        const QString rest = text.mid(pos, end < 0 ? -1 : end - pos).trimmed();
        return rest.isEmpty() || rest.startsWith(QLatin1Char('#'));
    }
    void skipLine()
    {
        while (!atEnd() && take() != QLatin1Char('\n')) {
        }
    }

    int line = 1;

private:
    const QString &text;
    int pos = 0;
};

// Reads a quoted field, the opening quote already taken.
QString quoted(Reader &in, QString *field)
{
    const int start = in.line;
    while (!in.atEnd()) {
        const QChar c = in.take();
        if (c != QLatin1Char('"')) {
            field->append(c);
        } else if (in.peek() == QLatin1Char('"')) {
            field->append(in.take());
        } else {
            in.skipBlanks();
            const QChar next = in.peek();
            if (!in.atEnd() && next != QLatin1Char(',') && next != QLatin1Char('\n'))
                return QStringLiteral("text after the closing quote of a field");
            return QString();
        }
    }
    in.line = start;
    return QStringLiteral("a quoted field is not closed");
}

} // namespace

namespace CsvRecords {

QString split(const QString &input, QList<Record> *records, int *errorLine)
{
    QString text = input;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Reader in(text);
    QList<Record> all;
    while (!in.atEnd()) {
        if (in.lineIsSkipped()) {
            in.skipLine();
            continue;
        }
        Record record;
        record.line = in.line;
        for (;;) {
            in.skipBlanks();
            QString field;
            if (in.peek() == QLatin1Char('"')) {
                in.take();
                const QString error = quoted(in, &field);
                if (!error.isEmpty()) {
                    *errorLine = in.line;
                    return error;
                }
            } else {
                while (!in.atEnd() && in.peek() != QLatin1Char(',') && in.peek() != QLatin1Char('\n'))
                    field.append(in.take());
                field = field.trimmed();
            }
            record.fields.append(field);
            if (in.atEnd() || in.take() == QLatin1Char('\n'))
                break;
        }
        all.append(record);
    }
    *records = all;
    return QString();
}

} // namespace CsvRecords
