// SPDX-License-Identifier: LGPL-2.1-or-later
#include "OwedAnswers.h"

#include "AreaType.h"

namespace {

const QString firstElement = QStringLiteral("0000");

// The first synchronising read on a link whose history is unknown must not
// be of a shape an earlier owner used: its answer could then be the earlier
// owner's. Thirteen is a count no value type's width makes, nobody rounds
// to, and small enough for the smallest PLC's inputs.
constexpr int unlikelyCount = 13;

// Kept per station before any shape counts as possible.
constexpr int maxSentKept = 16;

void addOnce(QVector<AnswerShape> &shapes, const AnswerShape &shape)
{
    if (!shapes.contains(shape))
        shapes.append(shape);
}

bool anyFits(const QVector<AnswerShape> &shapes, const QByteArray &frame)
{
    for (const AnswerShape &shape : shapes) {
        if (shape.fits(frame))
            return true;
    }
    return false;
}

} // namespace

// The station's two hex digits, as they travel.
int OwedAnswers::stationKey(const QByteArray &echo)
{
    return echo.size() < 2 ? -1 : (quint8(echo.at(0)) << 8) | quint8(echo.at(1));
}

OwedAnswers::Station &OwedAnswers::station(int key)
{
    return stations.insert({ key, Station() }).first->second;
}

int OwedAnswers::size() const
{
    int total = 0;
    for (const Entry &entry : entries)
        total += entry.count;
    return total;
}

void OwedAnswers::setAnyShape(int key, bool on)
{
    if (key < 0 || isAnyShape(key) == on)
        return;
    if (anyShape.isEmpty())
        anyShape.fill(0, stationKeys / 64);
    const quint64 bit = quint64(1) << (key % 64);
    anyShape[key / 64] = on ? anyShape.at(key / 64) | bit : anyShape.at(key / 64) & ~bit;
    anyShapeCount += on ? 1 : -1;
}

bool OwedAnswers::isInStep(const QByteArray &echo) const
{
    if (isAnyShape(stationKey(echo)))
        return false;
    const auto station = stations.find(stationKey(echo));
    return station == stations.end() || !station->second.outOfStep;
}

bool OwedAnswers::isInStep() const
{
    if (anyShapeCount > 0)
        return false;
    for (const auto &station : stations) {
        if (station.second.outOfStep)
            return false;
    }
    return true;
}

bool OwedAnswers::hasEntries(int key) const
{
    for (const Entry &entry : entries) {
        if (stationKey(entry.shape.echo) == key)
            return true;
    }
    return false;
}

// In step with nothing owed: nothing sent before can still come.
void OwedAnswers::forgetIfClear(int key)
{
    const auto station = stations.find(key);
    if (station != stations.end() && !station->second.outOfStep && !hasEntries(key))
        stations.erase(station);
}

void OwedAnswers::owe(const AnswerShape &shape)
{
    const int key = stationKey(shape.echo);
    if (!isAnyShape(key)) {
        QVector<AnswerShape> &sent = station(key).sent;
        if (sent.size() < maxSentKept)
            addOnce(sent, shape);
        else
            loseStation(key, shape); // too many to keep: any shape from now on
    }
    // Only the latest run grows: merging with an older one would lose the
    // order that settling relies on.
    if (!entries.isEmpty() && entries.last().shape == shape)
        ++entries.last().count;
    else
        entries.append({ shape, 1 });
    if (entries.size() > capacity) {
        const AnswerShape dropped = entries.first().shape;
        entries.removeFirst();
        loseStation(stationKey(dropped.echo), dropped);
    }
}

void OwedAnswers::settleStation(const QByteArray &echo)
{
    const int key = stationKey(echo);
    // The healthy link: nothing to look at.
    if (entries.isEmpty() && stations.empty() && !isAnyShape(key))
        return;
    setAnyShape(key, false);
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (stationKey(entries.at(i).shape.echo) == key)
            entries.remove(i);
    }
    stations.erase(key);
}

void OwedAnswers::synchronised(const QByteArray &echo)
{
    const int key = stationKey(echo);
    setAnyShape(key, false);
    const auto station = stations.find(key);
    if (station == stations.end())
        return;
    station->second.outOfStep = false;
    station->second.unknown.clear();
    forgetIfClear(key);
}

bool OwedAnswers::owes(const QByteArray &frame) const
{
    for (const Entry &entry : entries) {
        if (entry.shape.fits(frame))
            return true;
    }
    return false;
}

bool OwedAnswers::dropIfOwed(const QByteArray &frame)
{
    int first = -1;
    bool severalLengths = false;
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries.at(i).shape.fits(frame))
            continue;
        if (first < 0)
            first = i;
        else if (entries.at(i).shape.goodLength != entries.at(first).shape.goodLength)
            severalLengths = true;
    }
    if (first < 0)
        return false;
    if (!severalLengths) {
        --entries[first].count;
        settleUpTo(first);
    }
    return true;
}

// Answers come in order: what the station owed before the entry at index
// will not come any more.
void OwedAnswers::settleUpTo(int index)
{
    const QByteArray echo = entries.at(index).shape.echo;
    const int key = stationKey(echo);
    for (int i = index - 1; i >= 0; --i) {
        if (stationKey(entries.at(i).shape.echo) == key) {
            entries.remove(i);
            --index;
        }
    }
    if (entries.at(index).count == 0)
        entries.remove(index);
    forgetIfClear(key);
}

bool OwedAnswers::mayBeStale(const QByteArray &frame) const
{
    const int key = stationKey(frame.mid(1, 2));
    if (isAnyShape(key))
        return true;
    const auto station = stations.find(key);
    return station != stations.end() && station->second.outOfStep
        && anyFits(station->second.unknown, frame);
}

void OwedAnswers::loseStation(int key, const AnswerShape &seen)
{
    if (key < 0 || isAnyShape(key))
        return;
    const auto known = stations.find(key);
    // A station the host never sent to since it was last clear: what it
    // may still send is not ours to list.
    if (known == stations.end() && !hasEntries(key)) {
        setAnyShape(key, true);
        return;
    }
    Station &station = this->station(key);
    station.outOfStep = true;
    for (const AnswerShape &shape : qAsConst(station.sent))
        addOnce(station.unknown, shape);
    for (const Entry &entry : qAsConst(entries)) {
        if (stationKey(entry.shape.echo) == key)
            addOnce(station.unknown, entry.shape);
    }
    if (seen.echo.size() == 4)
        addOnce(station.unknown, seen);
    if (station.unknown.size() > maxShapesKept) {
        // Judging a frame must not grow with the shapes a line has shown.
        setAnyShape(key, true);
        station.unknown.clear();
        station.sent.clear();
        station.outOfStep = false;
        forgetIfClear(key);
    }
}

void OwedAnswers::loseCount(const QByteArray &frame)
{
    AnswerShape seen;
    seen.echo = frame.mid(1, 4);
    seen.goodLength = frame.size() > 5 && frame.at(5) == '0' ? frame.size() : -1;
    loseStation(stationKey(seen.echo), seen);
}

void OwedAnswers::loseAll(const QByteArray &echo)
{
    QVector<int> keys;
    for (const auto &station : stations)
        keys.append(station.first);
    for (const Entry &entry : qAsConst(entries))
        keys.append(stationKey(entry.shape.echo));
    if (echo.size() >= 2)
        keys.append(stationKey(echo));
    for (int key : qAsConst(keys))
        loseStation(key, AnswerShape());
}

void OwedAnswers::linkOpened()
{
    for (const Entry &entry : qAsConst(entries))
        loseStation(stationKey(entry.shape.echo), entry.shape);
    anyShape.fill(~quint64(0), stationKeys / 64);
    anyShapeCount = stationKeys;
}

// Out of step, a request whose answers can be none of those of unknown
// count is trusted as a synchronising read would be.
bool OwedAnswers::needsSync(const AnswerShape &shape) const
{
    if (entries.isEmpty() && stations.empty()) // the healthy link
        return isAnyShape(stationKey(shape.echo));
    for (const Entry &entry : entries) {
        if (entry.shape.overlaps(shape))
            return true;
    }
    const int key = stationKey(shape.echo);
    if (isAnyShape(key))
        return true;
    const auto station = stations.find(key);
    if (station == stations.end() || !station->second.outOfStep)
        return false;
    for (const AnswerShape &unknown : station->second.unknown) {
        if (unknown.overlaps(shape))
            return true;
    }
    return false;
}

// A good answer of sync must not pass for one the station may still send
// before it: none of unknown count, and no owed one ahead of the requests
// it clears the way for. Earlier runs of the same read may be owed: any
// answer of that shape then comes after everything it must clear.
bool OwedAnswers::acceptsSync(const AnswerShape &sync, const AnswerShape &forShape) const
{
    if (sync.echo == forShape.echo)
        return false;
    const int key = stationKey(sync.echo);
    const auto station = stations.find(key);
    if (station != stations.end() && station->second.unknown.contains(sync))
        return false;
    int lastOverlap = -1;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).shape.overlaps(forShape))
            lastOverlap = i;
    }
    for (int i = 0; i <= lastOverlap; ++i) {
        if (entries.at(i).shape == sync)
            return false;
    }
    return true;
}

NorvoRequest OwedAnswers::synchronisingRead(const AnswerShape &forShape, bool *found) const
{
    const int station = QByteArray::fromRawData(forShape.echo.constData(), 2).toInt(nullptr, 16);
    *found = true;
    // Where anyone's answers may come, the unlikely count goes first.
    if (isAnyShape(stationKey(forShape.echo))) {
        const NorvoRequest registerRead(NorvoCommand::RegisterRead, station, firstElement,
                                        unlikelyCount, NorvoArea::Area_D);
        if (acceptsSync(registerRead.answerShape(), forShape))
            return registerRead;
        const NorvoRequest bitRead(NorvoCommand::BitRead, station, firstElement, unlikelyCount,
                                   NorvoArea::Area_WX);
        if (acceptsSync(bitRead.answerShape(), forShape))
            return bitRead;
    }
    for (int count = 1; count <= NorvoFrame::MaxCount; ++count) {
        const NorvoRequest registerRead(NorvoCommand::RegisterRead, station, firstElement, count,
                                        NorvoArea::Area_D);
        if (acceptsSync(registerRead.answerShape(), forShape))
            return registerRead;
        const NorvoRequest bitRead(NorvoCommand::BitRead, station, firstElement, count,
                                   NorvoArea::Area_WX);
        if (acceptsSync(bitRead.answerShape(), forShape))
            return bitRead;
    }
    *found = false;
    return NorvoRequest(NorvoCommand::RegisterRead, station, firstElement, 1, NorvoArea::Area_D);
}
