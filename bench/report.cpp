#include "report.h"

#include <cstdio>

namespace {

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

void Report::title(const QString &text)
{
    print(QString());
    print(QStringLiteral("== ") + text);
}

void Report::line(const QString &text)
{
    print(text);
}

void Report::table(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        if (widths.size() < row.size())
            widths.resize(row.size());
        for (int i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], row[i].size());
    }
    for (const QStringList &row : rows) {
        QString text;
        for (int i = 0; i < row.size(); ++i) {
            // Names left, figures right.
            const QString cell = i == 0 ? row[i].leftJustified(widths[i])
                                        : row[i].rightJustified(widths[i]);
            text += (i == 0 ? QString() : QStringLiteral("  ")) + cell;
        }
        print(QStringLiteral("  ") + text);
    }
}

void Report::target(const QString &what, const QString &measured, bool isMet)
{
    if (isMet) {
        ++met;
    } else {
        ++missed;
        missedNames.append(what);
    }
    print(QStringLiteral("  target: %1: %2 -> %3")
              .arg(what, measured, isMet ? QStringLiteral("met") : QStringLiteral("MISSED")));
}

void Report::problem(const QString &text)
{
    ++problemCount;
    print(QStringLiteral("  problem: ") + text);
}

QString Report::fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString Report::signedFixed(double value, int decimals)
{
    return (value >= 0 ? QStringLiteral("+") : QString()) + fixed(value, decimals);
}
