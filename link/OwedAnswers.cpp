#include "OwedAnswers.h"

namespace {

// The synchronising reads: D0, the first data register, and X0, the first
// input. Every PLC of the family has both, and reading changes nothing.
constexpr int areaD0 = ('D' << 8) | '0';
constexpr int areaX = 'X'; // a bit read sends the second area character only
const QString firstElement = QStringLiteral("0000");

QByteArray stationOf(const QByteArray &echo)
{
    return echo.left(2);
}

} // namespace

int OwedAnswers::size() const
{
    int total = 0;
    for (const Entry &entry : entries)
        total += entry.count;
    return total;
}

void OwedAnswers::add(const AnswerShape &shape, qint64 nowMs)
{
    // Only the latest run grows: merging with an older one would lose the
    // order that settling relies on.
    if (!entries.isEmpty() && entries.last().shape == shape) {
        ++entries.last().count;
        entries.last().lastOwedMs = nowMs;
    } else {
        entries.append({ shape, 1, nowMs });
    }
    if (size() > capacity) {
        if (--entries.first().count == 0)
            entries.removeFirst();
    }
}

void OwedAnswers::expire(qint64 nowMs)
{
    while (!entries.isEmpty() && nowMs - entries.first().lastOwedMs > lifetimeMs)
        entries.removeFirst();
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

void OwedAnswers::settleStation(const QByteArray &echo)
{
    if (entries.isEmpty()) // the healthy link's case: nothing to look at
        return;
    const QByteArray station = stationOf(echo);
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (stationOf(entries.at(i).shape.echo) == station)
            entries.remove(i);
    }
}

// Answers come in order: what the station owed before the entry at index
// will not come any more.
void OwedAnswers::settleUpTo(int index)
{
    const QByteArray station = stationOf(entries.at(index).shape.echo);
    for (int i = index - 1; i >= 0; --i) {
        if (stationOf(entries.at(i).shape.echo) == station) {
            entries.remove(i);
            --index;
        }
    }
    if (entries.at(index).count == 0)
        entries.remove(index);
}

bool OwedAnswers::overlaps(const AnswerShape &shape) const
{
    for (const Entry &entry : entries) {
        if (entry.shape.overlaps(shape))
            return true;
    }
    return false;
}

bool OwedAnswers::owes(const AnswerShape &shape) const
{
    for (const Entry &entry : entries) {
        if (entry.shape == shape)
            return true;
    }
    return false;
}

NorvoRequest OwedAnswers::synchronisingRead(int station) const
{
    const NorvoRequest registerRead(NorvoCommand::RegisterRead, station, firstElement, 1, areaD0);
    if (!overlaps(registerRead.answerShape()))
        return registerRead;
    const NorvoRequest bitRead(NorvoCommand::BitRead, station, firstElement, 1, areaX);
    if (!overlaps(bitRead.answerShape()))
        return bitRead;
    // Both kinds of read are owed: a good answer still tells by its length.
    for (int count = 1; count <= 0xFF; ++count) {
        const NorvoRequest longer(NorvoCommand::RegisterRead, station, firstElement, count, areaD0);
        if (!owes(longer.answerShape()))
            return longer;
    }
    // Every register count owed: its answer is then dropped as owed, so the
    // read fails (safely) until those expire.
    return registerRead;
}
