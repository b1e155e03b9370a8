// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_READPLAN_MERGEDREADER_H
#define NORVO_READPLAN_MERGEDREADER_H

#include "ReadPlan.h"

#include <QtCore/QDateTime>

#include <functional>

class CDriveBaseClass;

// Reads a set of labels through the host interface in as few requests as
// the plan allows. A merged read the PLC refuses (status 7: perhaps an
// address it does not have) is read again in halves, down to the labels
// themselves, so that only the labels it refuses get the status and the
// others carry on; the plan keeps what it learnt. A run that fails any
// other way (no answer, no link) fails for each of its labels: nothing is
// retried, and no value is ever taken from another label's place.
class MergedReader
{
public:
    // What one read through the host interface gave.
    struct Reply
    {
        int status = 1; // the record's status, as ReadVariable gives it
        QVariant value;  // the list, when the status is 0
        QDateTime time;
    };
    // One read to make: an item's own (item >= 0) or a merged run's.
    struct Request
    {
        int item;
        QString label;
        DataType type;
        int count;
    };
    using ReadFunction = std::function<Reply(const Request &request)>;

    struct Result : Reply
    {
        int request = -1; // which of the cycle's requests gave it
    };

    MergedReader(const QVector<ReadPlan::Item> &items, const ReadPlan::Settings &settings);

    // Called as each run's items have their results, so that a host can
    // pass them on before the rest of the cycle is read.
    using RunDone = std::function<void(const QVector<Result> &results, const QVector<int> &items)>;

    // One cycle: a result per item, in the items' order. The function makes
    // each read, so that a host can learn more of each than the record says.
    QVector<Result> read(const ReadFunction &read, const RunDone &runDone = {});
    // The same through the driver's ReadVariable.
    QVector<Result> read(CDriveBaseClass &driver, const RunDone &runDone = {});

    const QVector<ReadPlan::Run> &runs() const { return runs_; }
    // Requests the last cycle sent, the halves of refused runs included.
    int requests() const { return requests_; }

private:
    void learn(const ReadPlan::Lessons::Cut &cut);
    void readRun(const ReadFunction &read, const ReadPlan::Run &run, QVector<Result> *results);

    QVector<ReadPlan::Item> items_;
    ReadPlan::Settings settings_;
    ReadPlan::Lessons lessons_;
    QVector<ReadPlan::Run> runs_;
    bool learnt_ = false;
    int requests_ = 0;
};

#endif
