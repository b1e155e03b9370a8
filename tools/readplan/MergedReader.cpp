// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MergedReader.h"

#include "CDriveBaseClass.h"
#include "labelstatus.h"

MergedReader::MergedReader(const QVector<ReadPlan::Item> &items, const ReadPlan::Settings &settings)
    : items_(items), settings_(settings), runs_(ReadPlan::plan(items, settings))
{
}

QVector<MergedReader::Result> MergedReader::read(CDriveBaseClass &driver, const RunDone &runDone)
{
    return read(
        [&driver](const Request &request) {
            const CLabelVariable record = driver.ReadVariable(request.label, request.type, request.count);
            return Reply{record.status, record.value, record.timestamp};
        },
        runDone);
}

QVector<MergedReader::Result> MergedReader::read(const ReadFunction &read, const RunDone &runDone)
{
    QVector<Result> results(items_.size());
    requests_ = 0;
    learnt_ = false;
    QVector<int> items;
    for (const ReadPlan::Run &run : qAsConst(runs_)) {
        readRun(read, run, &results);
        if (!runDone)
            continue;
        items.clear();
        for (const ReadPlan::Slice &slice : run.slices)
            items.append(slice.item);
        runDone(results, items);
    }
    if (learnt_)
        runs_ = ReadPlan::plan(items_, settings_, lessons_);
    return results;
}

void MergedReader::learn(const ReadPlan::Lessons::Cut &cut)
{
    for (const ReadPlan::Lessons::Cut &known : qAsConst(lessons_.cuts)) {
        if (known.area == cut.area && known.phase == cut.phase && known.position == cut.position)
            return;
    }
    lessons_.cuts.append(cut);
}

void MergedReader::readRun(const ReadFunction &read, const ReadPlan::Run &run, QVector<Result> *results)
{
    const int request = requests_++;
    if (!run.merged()) {
        const int index = run.slices.first().item;
        const ReadPlan::Item &item = items_.at(index);
        // Copied, not moved, into the vector: GCC 12 for 32-bit ARM takes
        // QVariant's swap into a QVector element for an overflow.
        const Reply reply = read({index, item.label, item.type, item.count});
        Result &result = (*results)[index];
        static_cast<Reply &>(result) = reply;
        result.request = request;
        return;
    }
    const Reply reply = read({-1, run.label, run.readType(), int(run.units)});
    if (reply.status == LabelStatus::AnswerUnusable) {
        const ReadPlan::Halves halves = ReadPlan::split(run, items_);
        learn(halves.cut);
        for (const ReadPlan::Run *half : {&halves.first, &halves.second}) {
            readRun(read, *half, results);
            const int first = half->slices.first().item;
            if (!half->merged() && results->at(first).status == LabelStatus::AnswerUnusable
                && !lessons_.alone.contains(first))
                lessons_.alone.append(first);
        }
        learnt_ = true;
        return;
    }
    for (const ReadPlan::Slice &slice : run.slices) {
        Result &result = (*results)[slice.item];
        result.time = reply.time;
        result.status = reply.status;
        result.request = request;
        if (reply.status != LabelStatus::Ok)
            continue;
        const QVariant value = ReadPlan::cut(run, slice, items_.at(slice.item), reply.value);
        result.value = value; // copied, as above
        if (!result.value.isValid())
            result.status = LabelStatus::AnswerUnusable;
    }
}
