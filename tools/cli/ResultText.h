// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_RESULTTEXT_H
#define NORVO_CLI_RESULTTEXT_H

#include "DataType.h"
#include "ValueText.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QVariant>

// What the tool shows of one record that the driver returned.
struct LabelResult {
    QString label;
    DataType type = DT_None;
    int count = 0;
    QVariant value;
    int status = 1;
    QString reason;             // why it failed, where norvo could tell; else empty
    QDateTime time;             // always set: the driver's, else norvo's own clock
    bool timeFromDriver = false;
    bool sent = true;           // false: refused before any request went out
    bool write = false;         // the result of a write
};

// Why a record that reports success cannot be trusted (its value holds no
// list of the type, or not `count` elements), or an empty text.
QString dataProblem(const LabelResult &result);

// ISO 8601 with milliseconds and the offset from UTC.
QString isoTime(const QDateTime &time);

// A readable table: one header, one row per result. The columns fit the
// rows shown so far and never narrow, so that the rows of a poll line up.
class ResultTable
{
public:
    // Rows of other labels, types and counts to come (several items): their
    // label and type columns fit, and their values get at least a digit each.
    void reserve(const QString &label, DataType type, int count);
    void setStyle(ValueText::Style style) { style_ = style; }
    // Widens the columns to hold `result`'s row.
    void fit(const LabelResult &result);
    QString header(const LabelResult &first);
    QString row(const LabelResult &result) const;

private:
    QString columns(const QString &label, const QString &type, const QString &values,
                    const QString &status, const QString &time, const QString &reason) const;

    ValueText::Style style_ = ValueText::Style::Plain;
    int labelWidth_ = 0;
    int typeWidth_ = 0;
    int valuesWidth_ = 0;
};

// One JSON object per line, written by QJsonDocument:
// {"label":"D100","type":"int16","count":2,"values":[-5,7],"status":0,
//  "meaning":"success","time":"2024-05-01T12:00:00.123+02:00","clock":"driver"}
// "values" is null when the record holds no list of the type; "reason" is
// there when norvo knows why a request failed; "clock" says whose time it is.
QString resultJson(const LabelResult &result);
// The same as an object, for a larger answer.
QJsonObject resultObject(const LabelResult &result);
// Any object as one compact line.
QString jsonLine(const QJsonObject &object);

// RFC 4180: a header line, then one line per result; the values of an item
// share one field, separated by spaces.
QString csvHeader();
QString csvRow(const LabelResult &result, ValueText::Style style = ValueText::Style::Plain);
// One CSV record of the fields, quoted where they need it.
QString csvLine(const QStringList &fields);

// The end of a poll.
struct PollSummary {
    int good = 0;
    int failed = 0;
    int linkLost = 0;
    int linkRestored = 0;
    bool interrupted = false;
    int learntWaitMs = 0;    // the answer wait the driver learnt from late answers; 0: none
    int labels = 0;          // read each cycle
    int requests = 0;        // the requests the last cycle took; 0: none was read
};
QString summaryText(const PollSummary &summary);
QString summaryJson(const PollSummary &summary);

// What info shows.
struct DriverInfo {
    QString plugin;            // the file the plug-in was loaded from
    QString name;
    QString version;
    QString build;
    QString connection;        // empty: no link was opened
    int connectResult = 0;
    QString connectProblem;    // what norvo found out about a link that did not open
    int station = -1;          // the station asked; -1: none was asked
    int readStatus = -1;       // the status of the one read
    QString readReason;
};
QString infoText(const DriverInfo &info);
QString infoJson(const DriverInfo &info);
// "station N answers", "link open, no answer from station N", ...
QString stationVerdict(const DriverInfo &info);

#endif
