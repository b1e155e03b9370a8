// SPDX-License-Identifier: LGPL-2.1-or-later
#include "samplestore.h"

#include <algorithm>

SampleStore::SampleStore(const QString &stateFolder, int capacity) : capacity(qMax(1, capacity))
{
    if (stateFolder.isEmpty())
        return;
    file = std::make_unique<Store::File>();
    QList<Entry> kept;
    if (!file->open(stateFolder, &kept, &nextId, &problems)) {
        file.reset();
        return;
    }
    for (const Entry &entry : kept)
        held.push_back({entry, State::Waiting});
    const int over = int(held.size()) - this->capacity;
    if (over > 0) {
        droppedCount += quint64(over);
        removeFront(over);
    }
}

quint64 SampleStore::append(const Message &message)
{
    QMutexLocker lock(&mutex);
    if (int(held.size()) >= capacity) {
        ++droppedCount;
        removeFront(1);
    }
    const Entry entry{nextId++, message};
    if (file)
        note(file->appendMessage(entry));
    held.push_back({entry, State::Waiting});
    return entry.id;
}

QList<SampleStore::Entry> SampleStore::peek(int n) const
{
    QMutexLocker lock(&mutex);
    QList<Entry> waiting;
    for (auto it = held.begin(); it != held.end() && waiting.size() < n; ++it) {
        if (it->state == State::Waiting)
            waiting << it->entry;
    }
    return waiting;
}

bool SampleStore::markSent(quint64 id)
{
    QMutexLocker lock(&mutex);
    Held *message = find(id);
    if (!message || message->state != State::Waiting)
        return false;
    message->state = State::InFlight;
    return true;
}

bool SampleStore::confirm(quint64 id)
{
    QMutexLocker lock(&mutex);
    Held *message = find(id);
    if (!message || message->state != State::InFlight)
        return false;
    message->state = State::Confirmed;
    // Confirmations come in order; one that overtook an earlier one waits
    // for it, so that messages only ever leave from the front.
    const auto unconfirmed = std::find_if(held.begin(), held.end(),
                                          [](const Held &h) { return h.state != State::Confirmed; });
    removeFront(int(unconfirmed - held.begin()));
    return true;
}

void SampleStore::requeueUnconfirmed()
{
    QMutexLocker lock(&mutex);
    for (Held &message : held) {
        if (message.state == State::InFlight)
            message.state = State::Waiting;
    }
}

int SampleStore::size() const
{
    QMutexLocker lock(&mutex);
    return int(held.size());
}

quint64 SampleStore::dropped() const
{
    QMutexLocker lock(&mutex);
    return droppedCount;
}

bool SampleStore::onDisk() const
{
    QMutexLocker lock(&mutex);
    return file != nullptr;
}

QStringList SampleStore::takeProblems()
{
    QMutexLocker lock(&mutex);
    QStringList taken;
    taken.swap(problems);
    return taken;
}

void SampleStore::setCompactAfter(int removed)
{
    QMutexLocker lock(&mutex);
    compactAfter = removed;
}

void SampleStore::compact()
{
    QMutexLocker lock(&mutex);
    rewrite();
}

// The caller holds the lock.
void SampleStore::rewrite()
{
    if (!file)
        return;
    QList<Entry> entries;
    for (const Held &message : held)
        entries << message.entry;
    const QString error = file->rewrite(entries);
    note(error);
    if (error.isEmpty())
        removedInFile = 0;
}

SampleStore::Held *SampleStore::find(quint64 id)
{
    const auto it = std::lower_bound(held.begin(), held.end(), id,
                                     [](const Held &h, quint64 wanted) { return h.entry.id < wanted; });
    return it != held.end() && it->entry.id == id ? &*it : nullptr;
}

// The caller holds the lock.
void SampleStore::removeFront(int n)
{
    if (n <= 0)
        return;
    const quint64 through = held.at(size_t(n) - 1).entry.id;
    held.erase(held.begin(), held.begin() + n);
    if (!file)
        return;
    note(file->appendRemoved(through));
    removedInFile += n;
    if (removedInFile >= compactAfter && removedInFile >= int(held.size()))
        rewrite();
}

// A failing disk is reported once, until a write succeeds again.
void SampleStore::note(const QString &error)
{
    if (!error.isEmpty() && !writeFailing)
        problems << error;
    writeFailing = !error.isEmpty();
}
