#ifndef NORVO_CLI_OUTPUT_H
#define NORVO_CLI_OUTPUT_H

#include "Invocation.h"
#include "ResultText.h"

#include <QtCore/QJsonObject>
#include <QtCore/QTextStream>

// Where results, events and errors go, in the format the user chose: a
// table, one JSON object per line, or CSV. Results and JSON go to stdout;
// messages for people to stderr (so that stdout stays data).
class Output
{
public:
    Output(Invocation::Format format, QTextStream &out, QTextStream &err);

    // The items a run reads, so that the table's columns fit them all.
    void expect(const QList<ReadItem> &items);
    void result(const LabelResult &result);
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
    Invocation::Format format_;
    QTextStream &out_;
    QTextStream &err_;
    ResultTable table_;
    bool headerShown_ = false;
};

#endif
