// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SAMPLESTORE_H
#define NORVO_EDGE_SAMPLESTORE_H

#include "storefile.h"

#include <QtCore/QMutex>

#include <deque>
#include <memory>

// Store and forward between the link threads and the MQTT client: the
// messages to publish, in order, until the broker has them.
//
// A message is sent (peek, then markSent) and stays until its delivery is
// confirmed; after a disconnect, requeueUnconfirmed() offers everything not
// confirmed again, in order. The store is bounded: when full, the oldest
// message goes, sent or not, and is counted.
//
// Given a state folder, each message is on disk when append() returns and
// a new store on the same folder starts with every message not confirmed,
// in order. Without one, messages live in memory only.
//
// Safe to use from several threads.
class SampleStore
{
public:
    using Message = Store::Message;
    using Entry = Store::Entry;

    static constexpr int defaultCapacity = 100000;

    explicit SampleStore(const QString &stateFolder = QString(), int capacity = defaultCapacity);

    // The message's id.
    quint64 append(const Message &message);
    // The n oldest messages not sent.
    QList<Entry> peek(int n) const;
    // False for a message that is not waiting to be sent.
    bool markSent(quint64 id);
    // The broker has the message: it leaves, with the confirmed ones before
    // it. False for a message not in flight.
    bool confirm(quint64 id);
    void requeueUnconfirmed();

    int size() const;        // messages held, sent or not
    quint64 dropped() const; // oldest messages that made room for new ones
    // Whether the messages are on disk; false without a folder, or when it
    // could not be used.
    bool onDisk() const;
    // What went wrong with the folder since the last call: a damaged file
    // set aside, a write that failed. The store goes on in memory.
    QStringList takeProblems();

    // The file is rewritten once this many removed messages (and at least
    // as many as are held) linger in it.
    void setCompactAfter(int removed);
    void compact();

private:
    enum class State { Waiting, InFlight, Confirmed };
    struct Held
    {
        Entry entry;
        State state;
    };

    Held *find(quint64 id);
    void removeFront(int n);
    void rewrite();
    void note(const QString &error);

    mutable QMutex mutex;
    const int capacity;
    std::deque<Held> held;
    quint64 nextId = 1;
    quint64 droppedCount = 0;
    std::unique_ptr<Store::File> file;
    QStringList problems;
    bool writeFailing = false;
    int removedInFile = 0;
    int compactAfter = 10000;
};

#endif
