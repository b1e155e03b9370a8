// SPDX-License-Identifier: LGPL-2.1-or-later
#include "WatchRecorder.h"

#include "ElementAddress.h"
#include "StatusText.h"
#include "ValueText.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>

namespace {

qint64 wallClockMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QJsonArray textArray(const QStringList &texts)
{
    QJsonArray array;
    for (const QString &text : texts)
        array.append(text);
    return array;
}

} // namespace

WatchRecorder::WatchRecorder(const QList<ReadItem> &items, qint64 keepMs)
    : items_(items), keepMs_(keepMs), nowMs_(wallClockMs)
{
}

void WatchRecorder::add(int item, const LabelResult &result)
{
    QMutexLocker lock(&mutex_);
    samples_.push_back(Sample{nextSeq_++, item, result});
    dropOld(nowMs_());
}

void WatchRecorder::addEvent(const QString &name, const QString &detail)
{
    QMutexLocker lock(&mutex_);
    events_.push_back(Event{nextSeq_++, nowMs_(), name, detail});
    dropOld(nowMs_());
}

void WatchRecorder::dropOld(qint64 nowMs)
{
    const qint64 oldest = nowMs - keepMs_;
    while (!samples_.empty()
           && (int(samples_.size()) > maxSamples
               || samples_.front().result.time.toMSecsSinceEpoch() < oldest))
        samples_.pop_front();
    while (!events_.empty() && (events_.front().timeMs < oldest || int(events_.size()) > maxSamples))
        events_.pop_front();
}

QJsonObject WatchRecorder::items() const
{
    QJsonArray list;
    for (const ReadItem &item : items_) {
        QJsonObject object;
        object.insert(QStringLiteral("label"), item.label);
        object.insert(QStringLiteral("type"), ValueText::typeName(item.type));
        object.insert(QStringLiteral("count"), item.count);
        object.insert(QStringLiteral("elements"),
                      textArray(ElementAddress::labels(item.label, item.type, item.count)));
        list.append(object);
    }
    QJsonObject answer;
    answer.insert(QStringLiteral("items"), list);
    answer.insert(QStringLiteral("keep_ms"), keepMs_);
    answer.insert(QStringLiteral("max_samples"), maxSamples);
    return answer;
}

QJsonObject WatchRecorder::since(qint64 since, int limit) const
{
    QMutexLocker lock(&mutex_);
    QJsonArray samples;
    qint64 next = since;
    bool more = false;
    for (const Sample &sample : samples_) {
        if (sample.seq <= since)
            continue;
        if (samples.size() >= limit) {
            more = true;
            break;
        }
        const LabelResult &r = sample.result;
        QJsonObject object;
        object.insert(QStringLiteral("seq"), sample.seq);
        object.insert(QStringLiteral("item"), sample.item);
        object.insert(QStringLiteral("time"), r.time.toMSecsSinceEpoch());
        object.insert(QStringLiteral("status"), r.status);
        object.insert(QStringLiteral("meaning"), StatusText::labelStatus(r.status));
        if (!r.reason.isEmpty())
            object.insert(QStringLiteral("reason"), r.reason);
        QJsonArray values;
        QStringList hex;
        if (r.status == 0 && ValueText::jsonValues(r.type, r.value, &values)
            && ValueText::formatValues(r.type, r.value, ValueText::Style::Hex, &hex)) {
            object.insert(QStringLiteral("values"), values);
            object.insert(QStringLiteral("hex"), textArray(hex));
        }
        samples.append(object);
        next = sample.seq;
    }
    QJsonArray events;
    for (const Event &event : events_) {
        if (event.seq <= since || (more && event.seq > next))
            continue;
        events.append(QJsonObject{{QStringLiteral("seq"), event.seq},
                                  {QStringLiteral("time"), event.timeMs},
                                  {QStringLiteral("event"), event.name},
                                  {QStringLiteral("detail"), event.detail}});
        next = qMax(next, event.seq);
    }
    QJsonObject answer;
    answer.insert(QStringLiteral("next"), more ? next : qMax(next, nextSeq_ - 1));
    answer.insert(QStringLiteral("now"), nowMs_());
    answer.insert(QStringLiteral("more"), more);
    answer.insert(QStringLiteral("samples"), samples);
    answer.insert(QStringLiteral("events"), events);
    return answer;
}

QString WatchRecorder::csv() const
{
    QMutexLocker lock(&mutex_);
    QString text = csvHeader() + QStringLiteral("\r\n");
    for (const Sample &sample : samples_)
        text += csvRow(sample.result) + QStringLiteral("\r\n");
    return text;
}
