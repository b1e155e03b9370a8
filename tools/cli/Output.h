// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_OUTPUT_H
#define NORVO_CLI_OUTPUT_H

#include "Invocation.h"
#include "ResultText.h"

#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QTextStream>

// Where results, events and errors go, in the format the user chose: a
// table, one JSON object per line, or CSV. Results and JSON go to stdout;
// messages for people to stderr (so that stdout stays data).
class Output
{
public:
    Output(Invocation::Format format, QTextStream &out, QTextStream &err);
    ~Output();

    // Values in hex; one row per element, under its own label.
    void setPresentation(ValueText::Style style, bool byAddress);
    // The items a run reads, so that the table's columns fit them all (and
    // the wide CSV has a column for each element).
    void expect(const QList<ReadItem> &items);
    void result(const LabelResult &result);
    // The end of one cycle of reads: the wide CSV writes its row, the table
    // the rows of the cycle.
    void endCycle();
    // "link lost", "link restored": a line in the table, an object in JSON,
    // a message on stderr beside CSV.
    void event(const QString &name, const QString &detail);
    // A failure that ends the run: on stderr, and with --json an object
    // {"error":..., "exit":...} plus `extra` on stdout.
    void error(const QString &message, int exitCode, const QJsonObject &extra = QJsonObject());
    // A line for people on stderr, prefixed "norvo: ".
    void note(const QString &message);
    // A line of data on stdout: text in the table format, else the object.
    void data(const QString &text, const QJsonObject &object);

    QTextStream &out() { return out_; }
    QTextStream &err() { return err_; }

private:
    void row(const LabelResult &result);
    void showTable();

    Invocation::Format format_;
    QTextStream &out_;
    QTextStream &err_;
    ResultTable table_;
    // The table's rows of this cycle, shown together so that their columns fit them all.
    QList<LabelResult> tableRows_;
    ValueText::Style style_ = ValueText::Style::Plain;
    bool byAddress_ = false;
    bool headerShown_ = false;
    // The wide CSV: a column per element, and the cells of the cycle so far.
    QStringList columns_;
    QHash<QString, QString> cells_;
    QDateTime cycleTime_;
};

#endif
