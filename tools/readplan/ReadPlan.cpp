// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ReadPlan.h"

#include "Limits.h"
#include "requestplan.h"
#include "valuecoding.h"

#include <algorithm>

namespace ReadPlan {

namespace {

// An item in unit coordinates: labels in one area and phase share a grid.
struct Place
{
    int item;
    int phase;
    qint64 position;
    qint64 units;
};

Place placeOf(const QVector<Item> &items, int index)
{
    const Item &item = items.at(index);
    const int perUnit = Areas::elementsPerUnit(item.area);
    const qint64 units =
        RequestPlan::read(item.type, item.count, Areas::requestCode(item.area)).units;
    return {index, item.element % perUnit, item.element / perUnit, units};
}

bool mergeable(const Item &item, const Place &place, const Lessons &lessons)
{
    return item.area != Areas::Area::None && item.element >= 0 && place.units > 0
        && place.units <= Limits::maxUnits && !lessons.alone.contains(place.item);
}

Run runOf(const QVector<Item> &items, const Place &first)
{
    Run run;
    run.label = items.at(first.item).label;
    run.area = items.at(first.item).area;
    run.phase = first.phase;
    run.position = first.position;
    run.units = first.units;
    run.slices.append({first.item, 0, first.units});
    return run;
}

// A cut at c parts c - 1 from c: a run over [start, end) may not hold both.
bool crossesCut(const Run &run, qint64 end, const Lessons &lessons)
{
    for (const Lessons::Cut &cut : lessons.cuts) {
        if (cut.area == run.area && cut.phase == run.phase && run.position < cut.position
            && cut.position < end)
            return true;
    }
    return false;
}

bool add(Run *run, const Place &place, const Settings &settings, const Lessons &lessons)
{
    const qint64 end = run->position + run->units;
    const qint64 newEnd = std::max(end, place.position + place.units);
    if (place.position - end > settings.maxGap || newEnd - run->position > Limits::maxUnits
        || crossesCut(*run, newEnd, lessons))
        return false;
    run->units = newEnd - run->position;
    run->slices.append({place.item, place.position - run->position, place.units});
    return true;
}

Run runOfSlices(const Run &whole, const QVector<Item> &items, const QVector<Slice> &slices)
{
    const Slice &first = slices.first();
    Run run;
    run.label = items.at(first.item).label;
    run.area = whole.area;
    run.phase = whole.phase;
    run.position = whole.position + first.offset;
    for (const Slice &slice : slices) {
        const qint64 offset = slice.offset - first.offset;
        run.slices.append({slice.item, offset, slice.units});
        run.units = std::max(run.units, offset + slice.units);
    }
    return run;
}

} // namespace

Item item(const QString &label, DataType type, int count)
{
    const Areas::Label parsed = Areas::parseLabel(label);
    return {label, parsed.area, parsed.element, type, count};
}

QVector<Run> plan(const QVector<Item> &items, const Settings &settings, const Lessons &lessons)
{
    QVector<Place> places;
    QVector<Run> runs;
    for (int i = 0; i < items.size(); ++i) {
        const Place place = placeOf(items, i);
        if (settings.merge && mergeable(items.at(i), place, lessons))
            places.append(place);
        else
            runs.append(runOf(items, place));
    }
    // Along each area's grid in address order; ties keep the items' order.
    std::stable_sort(places.begin(), places.end(), [&](const Place &a, const Place &b) {
        const Areas::Area areaA = items.at(a.item).area;
        const Areas::Area areaB = items.at(b.item).area;
        if (areaA != areaB)
            return areaA < areaB;
        if (a.phase != b.phase)
            return a.phase < b.phase;
        return a.position < b.position;
    });
    for (int i = 0; i < places.size(); ++i) {
        const Place &place = places.at(i);
        const bool sameGrid = !runs.isEmpty() && i > 0
            && items.at(places.at(i - 1).item).area == items.at(place.item).area
            && places.at(i - 1).phase == place.phase;
        if (!sameGrid || !add(&runs.last(), place, settings, lessons))
            runs.append(runOf(items, place));
    }
    // Runs in the order their items were given: a poll reads as it was asked.
    const auto firstItem = [](const Run &run) {
        int first = run.slices.first().item;
        for (const Slice &slice : run.slices)
            first = std::min(first, slice.item);
        return first;
    };
    std::stable_sort(runs.begin(), runs.end(),
                     [&](const Run &a, const Run &b) { return firstItem(a) < firstItem(b); });
    return runs;
}

Halves split(const Run &run, const QVector<Item> &items)
{
    if (!run.merged())
        return {run, Run(), {run.area, run.phase, run.position}};
    QVector<Slice> slices = run.slices;
    std::stable_sort(slices.begin(), slices.end(),
                     [](const Slice &a, const Slice &b) { return a.offset < b.offset; });
    const int half = int(slices.size() + 1) / 2;
    const QVector<Slice> second = slices.mid(half);
    slices.resize(half);
    return {runOfSlices(run, items, slices), runOfSlices(run, items, second),
            {run.area, run.phase, run.position + second.first().offset}};
}

QVariant cut(const Run &run, const Slice &slice, const Item &item, const QVariant &runValue)
{
    // The slice's units back in the form the link delivers them: one byte
    // per bit, or nibble bytes. Then the driver's own path to the values.
    QByteArray data;
    if (run.bitRead()) {
        const QList<bool> bits = runValue.value<QList<bool>>();
        if (bits.size() < run.units)
            return QVariant();
        for (qint64 i = slice.offset; i < slice.offset + slice.units; ++i)
            data.append(char(bits.at(int(i)) ? 1 : 0));
    } else {
        const QList<quint16> words = runValue.value<QList<quint16>>();
        if (words.size() < run.units)
            return QVariant();
        data = ValueCoding::encode(words.mid(int(slice.offset), int(slice.units)), int(slice.units));
    }
    const bool bitRead = run.bitRead();
    data = ValueCoding::decoderForm(item.type, bitRead, slice.units, data, item.count);
    return ValueCoding::decodeList(item.type, data, item.count);
}

} // namespace ReadPlan
