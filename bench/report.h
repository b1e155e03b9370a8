#ifndef NORVO_BENCH_REPORT_H
#define NORVO_BENCH_REPORT_H

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

// The benchmark's report on stdout: section titles, aligned tables, and one
// line per target with its verdict. Printed as it goes, so a long run shows
// its progress.
class Report
{
public:
    void title(const QString &text);
    void line(const QString &text = QString());
    // The first row is the header; columns are as wide as their widest cell.
    void table(const QVector<QStringList> &rows);
    // "target: <what>: <measured> -> met|MISSED"
    void target(const QString &what, const QString &measured, bool met);
    // Something that kept a figure from being measured, or a failed exchange.
    void problem(const QString &text);

    int targetsMet() const { return met; }
    int targetsMissed() const { return missed; }
    QStringList missedTargets() const { return missedNames; }
    int problems() const { return problemCount; }

    // Number texts of the tables.
    static QString fixed(double value, int decimals);
    static QString signedFixed(double value, int decimals);

private:
    int met = 0;
    int missed = 0;
    QStringList missedNames;
    int problemCount = 0;
};

#endif
