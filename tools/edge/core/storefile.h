// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_STOREFILE_H
#define NORVO_EDGE_STOREFILE_H

#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

namespace Store {

struct Message
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

struct Entry
{
    quint64 id = 0; // ascending in the order of appending
    Message message;
};

// The store's file: a header line, then records that are only ever
// appended: a message, or "removed through id" (messages leave from the
// front only). Each record is framed by its length and a CRC-16, so that an
// unfinished last record (a crash mid-write) can be told from damage.
class File
{
public:
    static const char *name(); // in the state folder

    // Reads the file in folder, creating both as needed: the messages not
    // removed, oldest first, and the id after the last of them. An
    // unfinished last record is ignored; a damaged file is renamed aside and
    // what came before the damage kept. The file is then rewritten clean.
    // What went wrong is added to *problems; false when the file cannot be
    // used at all, also while another store has the folder.
    bool open(const QString &folder, QList<Entry> *entries, quint64 *nextId, QStringList *problems);

    // On disk (not synced) when they return; an empty text or why not.
    QString appendMessage(const Entry &entry);
    QString appendRemoved(quint64 throughId);
    // Replaces the file by one holding just these messages, atomically.
    QString rewrite(const QList<Entry> &entries);

private:
    QString appendRecord(const QByteArray &body);
    QString openForAppend();

    QString path;
    QFile file;
    QFile lock;
};

} // namespace Store

#endif
