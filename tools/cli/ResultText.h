#ifndef NORVO_CLI_RESULTTEXT_H
#define NORVO_CLI_RESULTTEXT_H

#include "DataType.h"

#include <QtCore/QDateTime>
#include <QtCore/QString>
#include <QtCore/QVariant>

// What the tool shows of one record that the driver returned.
struct LabelResult {
    QString label;
    DataType type = DT_None;
    int count = 0;
    QVariant value;
    int status = 1;
    QDateTime time;
};

// Why a record that reports success cannot be trusted (its value holds no
// list of the type, or not `count` elements), or an empty text.
QString dataProblem(const LabelResult &result);

// A readable table: one header, one row per result. The column widths are
// taken from the first result, so that the rows of a poll line up.
class ResultTable
{
public:
    QString header(const LabelResult &first);
    QString row(const LabelResult &result) const;

private:
    QString columns(const QString &label, const QString &type, const QString &values,
                    const QString &status, const QString &time) const;

    int labelWidth_ = 0;
    int typeWidth_ = 0;
    int valuesWidth_ = 0;
    int statusWidth_ = 0;
};

// One JSON object on one line:
// {"label":"D100","type":"int16","count":2,"values":[-5,7],"status":0,
//  "meaning":"success","time":"2024-05-01T12:00:00.123"}
// "values" is null when the record holds no list of the type, "time" null
// when the record has no time stamp.
QString resultJson(const LabelResult &result);

// The end of a poll.
struct PollSummary {
    int good = 0;
    int failed = 0;
    bool interrupted = false;
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
};
QString infoText(const DriverInfo &info);
QString infoJson(const DriverInfo &info);

#endif
