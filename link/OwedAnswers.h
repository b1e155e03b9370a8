#ifndef OWEDANSWERS_H
#define OWEDANSWERS_H

#include "NorvoFrame.h"

#include <QtCore/QVector>

// The answers a link still owes: the shapes of the requests that got no
// whole answer of their own, oldest first.
//
// Answers name no address, so a late one would pass for the answer to the
// next request of its shape. What the link may rely on: a PLC answers the
// requests of one link in order, one at a time. So once a request to a
// station is answered, nothing older from that station can still come.
//
// An answer more than `lifetimeMs` late is no longer expected (a PLC's own
// watchdogs, and any gateway's, have given up long before), and at most
// `capacity` requests are remembered: the ledger stays small even while a
// station stays silent for hours. Times are a monotonic clock in ms.
class OwedAnswers
{
public:
    static constexpr qint64 lifetimeMs = 60000;
    static constexpr int capacity = 1024;

    bool isEmpty() const { return entries.isEmpty(); }
    int size() const; // owed answers, not entries
    void clear() { entries.clear(); }

    // A request got no whole answer of its own: its answer may still come.
    void add(const AnswerShape &shape, qint64 nowMs);
    // Forgets what is owed for longer than lifetimeMs.
    void expire(qint64 nowMs);

    // A frame that arrived is the answer to an owed request: that request
    // is settled (with those older from its station) and true is returned.
    // An error answer that fits owed requests of several lengths settles
    // none of them, as it cannot tell which one it answers.
    bool dropIfOwed(const QByteArray &frame);

    // The station has answered a request that was not owed: everything
    // older from it is settled.
    void settleStation(const QByteArray &echo);

    // Could an answer to a request of this shape be taken for an owed one?
    bool overlaps(const AnswerShape &shape) const;

    // A read that changes nothing in the PLC and whose good answer fits no
    // owed shape: the first data register D0 when no register read is owed
    // from the station, else the first internal relay M0 when no bit read
    // is, else D0 with a register count no owed read of the station has.
    // Every PLC of the family has both.
    NorvoRequest synchronisingRead(int station) const;

private:
    // A run of requests of one shape, in the order they were sent.
    struct Entry
    {
        AnswerShape shape;
        int count;
        qint64 lastOwedMs;
    };
    void settleUpTo(int index);
    bool owes(const AnswerShape &shape) const;

    QVector<Entry> entries;
};

#endif // OWEDANSWERS_H
