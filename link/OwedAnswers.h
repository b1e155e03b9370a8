// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef OWEDANSWERS_H
#define OWEDANSWERS_H

#include "NorvoFrame.h"

#include <QtCore/QVector>

#include <map>

// The answers a link still owes, and whether it is in step with each
// station.
//
// Answers name no address, so a late one would pass for the answer to the
// next request of its shape. What the link may rely on: a PLC answers the
// requests of one link in order, one at a time. So once a request to a
// station is answered, nothing older from that station can still come.
//
// In step, the ledger knows every answer a station may still send: the
// owed ones, oldest first. Nothing owed is ever forgotten: not with time,
// not on a new link. Where the count is lost (a frame nothing owes, more
// runs than the ledger keeps, input over the receive bound, a link opened
// while answers were owed) the station is out of step: any answer of a
// shape sent since the station was last clear may still come, in any
// number. Then no answer that could be one of those is trusted until a
// synchronising read, whose answer can be none of them, is answered.
class OwedAnswers
{
public:
    // Runs of owed answers kept; past it the oldest run goes and its
    // station is out of step. A run of one shape costs the same however long.
    static constexpr int capacity = 1024;
    // Shapes kept per station; past it any shape counts as possible.
    static constexpr int maxShapesKept = 8;

    bool isEmpty() const { return entries.isEmpty(); }
    // Nothing owed, every station in step.
    bool isClear() const { return entries.isEmpty() && stations.empty() && anyShapeCount == 0; }
    // Nothing owed and this station in step: its answer is its own.
    bool isClearFor(const char *echo) const
    {
        return entries.isEmpty() && stations.empty()
            && !isAnyShape((quint8(echo[0]) << 8) | quint8(echo[1]));
    }
    int size() const; // owed answers, not runs
    bool isInStep(const QByteArray &echo) const;
    bool isInStep() const; // every station

    // A request got no answer that settles it: its answer may still come.
    void owe(const AnswerShape &shape);
    // The station answered a request that was not owed: everything older
    // from it is settled, and it is in step again.
    void settleStation(const QByteArray &echo);
    // An answer to the synchronising read came, which no older request of
    // the station could have sent: it is in step again.
    void synchronised(const QByteArray &echo);

    // A frame that arrived fits an owed request: that request is settled
    // (with those older from its station) and true is returned. An error
    // answer that fits owed requests of several lengths settles none of
    // them, as it cannot tell which one it answers, but is dropped as well.
    bool dropIfOwed(const QByteArray &frame);
    // The frame fits an owed request (nothing changes).
    bool owes(const QByteArray &frame) const;
    // Could the frame be an answer of unknown count from before the
    // station fell out of step? False while it is in step.
    bool mayBeStale(const QByteArray &frame) const;

    // A frame nothing owes: its station is out of step.
    void loseCount(const QByteArray &frame);
    // Input was lost unread: every station that is owed or was sent to is
    // out of step, and so is the one of echo (the request in flight).
    void loseAll(const QByteArray &echo);
    // A link opened whose history is unknown: whatever was owed may come
    // over it, or not, and so may anyone else's answers.
    void linkOpened();
    // Anyone's answers may still come from the station (its history unknown).
    bool mayComeInAnyShape(const QByteArray &echo) const { return isAnyShape(stationKey(echo)); }
    // Stations with shapes kept (owed, sent or seen out of step).
    int stationsTracked() const { return int(stations.size()); }
    // Stations whose answers may come in any shape (count of).
    int stationsOfAnyShape() const { return anyShapeCount; }

    // Could an answer to a request of this shape be taken for an owed one,
    // or for one of unknown count? Then a synchronising read goes first.
    bool needsSync(const AnswerShape &shape) const;

    // A read that changes nothing in the PLC (D0 or X0, counts 1 to 255)
    // whose good answer cannot be taken for any answer the station may
    // still send before it, and which is of another command than the
    // request it clears the way for. found is false when no such read is
    // left (the station was sent every count of both); the call then fails.
    NorvoRequest synchronisingRead(const AnswerShape &forShape, bool *found) const;

private:
    // A run of requests of one shape, in the order they were sent.
    struct Entry
    {
        AnswerShape shape;
        int count;
    };
    struct Station
    {
        bool outOfStep = false;
        QVector<AnswerShape> sent;    // owed since the station was last clear
        QVector<AnswerShape> unknown; // out of step: may come in any number
    };

    // Every pair of station characters: the key of a station as it travels.
    static constexpr int stationKeys = 0x10000;

    static int stationKey(const QByteArray &echo);
    bool isAnyShape(int key) const
    {
        return key >= 0 && anyShapeCount > 0 && (anyShape.at(key / 64) >> (key % 64) & 1);
    }
    void setAnyShape(int key, bool on);
    Station &station(int key); // made when missing
    void settleUpTo(int index);
    void loseStation(int key, const AnswerShape &seen);
    void forgetIfClear(int key);
    bool hasEntries(int key) const;
    bool acceptsSync(const AnswerShape &sync, const AnswerShape &forShape) const;

    QVector<Entry> entries;
    std::map<int, Station> stations; // those owed, or sent to since they were last clear
    // Out of step with any shape possible (sized on first use).
    QVector<quint64> anyShape; // a bit per station key
    int anyShapeCount = 0;
};

#endif // OWEDANSWERS_H
