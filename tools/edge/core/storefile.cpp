// SPDX-License-Identifier: LGPL-2.1-or-later
#include "storefile.h"

#include <QtCore/QDataStream>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QSaveFile>
#include <QtCore/QtEndian>

#include <sys/file.h>

#include <algorithm>
#include <limits>

namespace {

const QByteArray magic = QByteArrayLiteral("norvo-edge store 1\n");
constexpr QDataStream::Version streamVersion = QDataStream::Qt_5_11;
enum Kind : quint8 { MessageRecord = 1, RemovedRecord = 2 };
constexpr int lengthBytes = 4;
constexpr int checksumBytes = 2;

quint16 checksum(const QByteArray &body)
{
    return qChecksum(body.constData(), uint(body.size()));
}

// length, body, checksum of the body
QByteArray frame(const QByteArray &body)
{
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out << quint32(body.size());
    out.writeRawData(body.constData(), body.size());
    out << checksum(body);
    return record;
}

QByteArray messageBody(const Store::Entry &entry)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    out << quint8(MessageRecord) << entry.id << entry.message.retained << entry.message.topic
        << entry.message.payload;
    return body;
}

QByteArray removedBody(quint64 throughId)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    out << quint8(RemovedRecord) << throughId;
    return body;
}

enum class Found { Record, Unfinished, Damaged };

// The record at pos. A crash mid-write leaves the last record short, or
// with a checksum that fails.
Found recordAt(const QByteArray &bytes, int pos, QByteArray *body, int *next)
{
    const int rest = bytes.size() - pos;
    if (rest < lengthBytes)
        return Found::Unfinished;
    const quint32 length = qFromBigEndian<quint32>(bytes.constData() + pos);
    if (qint64(length) + lengthBytes + checksumBytes > rest)
        return Found::Unfinished;
    *body = bytes.mid(pos + lengthBytes, int(length));
    *next = pos + lengthBytes + int(length) + checksumBytes;
    if (qFromBigEndian<quint16>(bytes.constData() + pos + lengthBytes + int(length)) != checksum(*body))
        return *next == bytes.size() ? Found::Unfinished : Found::Damaged;
    return Found::Record;
}

// A system that went down may leave zeros where the last writes were.
bool zerosToEnd(const QByteArray &bytes, int pos)
{
    return std::all_of(bytes.constBegin() + pos, bytes.constEnd(), [](char c) { return c == 0; });
}

// Applies one record's body; false when it makes no sense.
bool apply(const QByteArray &body, QList<Store::Entry> *entries, quint64 *nextId)
{
    QDataStream in(body);
    in.setVersion(streamVersion);
    quint8 kind = 0;
    Store::Entry entry;
    in >> kind >> entry.id;
    if (kind == MessageRecord)
        in >> entry.message.retained >> entry.message.topic >> entry.message.payload;
    else if (kind != RemovedRecord)
        return false;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return false;
    if (kind == MessageRecord) {
        // The id after it must be a higher one, or new messages would take
        // ids below the kept ones.
        if (entry.id < *nextId || entry.id == std::numeric_limits<quint64>::max())
            return false;
        entries->append(entry);
        *nextId = entry.id + 1;
    } else {
        while (!entries->isEmpty() && entries->first().id <= entry.id)
            entries->removeFirst();
    }
    return true;
}

// Reads a whole file: empty, or why it is damaged. An unfinished last
// record is only noted.
QString load(const QByteArray &bytes, const QString &path, QList<Store::Entry> *entries, quint64 *nextId,
             QStringList *problems)
{
    if (!bytes.startsWith(magic))
        return magic.startsWith(bytes) ? QString() : QStringLiteral("it is no store file");
    int pos = magic.size();
    while (pos < bytes.size()) {
        QByteArray body;
        int next = 0;
        const Found found = recordAt(bytes, pos, &body, &next);
        const bool applied = found == Found::Record && apply(body, entries, nextId);
        if (found == Found::Unfinished || (!applied && zerosToEnd(bytes, pos))) {
            *problems << QStringLiteral("%1: left out an unfinished last record (%2 bytes)")
                             .arg(path).arg(bytes.size() - pos);
            return QString();
        }
        if (found == Found::Damaged)
            return QStringLiteral("the record at byte %1 fails its checksum").arg(pos);
        if (!applied)
            return QStringLiteral("the record at byte %1 makes no sense").arg(pos);
        pos = next;
    }
    return QString();
}

} // namespace

namespace Store {

const char *File::name()
{
    return "samples.store";
}

bool File::open(const QString &folder, QList<Entry> *entries, quint64 *nextId, QStringList *problems)
{
    if (!QDir().mkpath(folder)) {
        *problems << QStringLiteral("%1: cannot create the state folder").arg(folder);
        return false;
    }
    path = QDir(folder).filePath(QLatin1String(name()));
    // Two stores appending to one file would interleave their records. The
    // system drops the lock with its holder, so a crash leaves none behind.
    lock.setFileName(path + QStringLiteral(".lock"));
    if (!lock.open(QIODevice::ReadWrite)) {
        *problems << QStringLiteral("%1: %2").arg(lock.fileName(), lock.errorString());
        return false;
    }
    if (::flock(lock.handle(), LOCK_EX | LOCK_NB) != 0) {
        *problems << QStringLiteral("%1: in use by another store").arg(path);
        return false;
    }
    QFile existing(path);
    QByteArray bytes;
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            *problems << QStringLiteral("%1: %2").arg(path, existing.errorString());
            return false;
        }
        bytes = existing.readAll();
        existing.close();
    }
    QList<Entry> kept;
    quint64 next = 1;
    const QString damage = load(bytes, path, &kept, &next, problems);
    if (!damage.isEmpty()) {
        // Kept for a look; what came before the damage is still sent.
        const QString aside = path + QStringLiteral(".damaged-")
                              + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmsszzz"));
        if (!QFile::rename(path, aside)) {
            *problems << QStringLiteral("%1 is damaged (%2) and cannot be renamed aside").arg(path, damage);
            return false;
        }
        *problems << QStringLiteral("%1 is damaged (%2): renamed to %3, the %4 messages before it kept")
                         .arg(path, damage, aside).arg(kept.size());
    }
    const QString error = rewrite(kept);
    if (!error.isEmpty()) {
        *problems << error;
        return false;
    }
    *entries = kept;
    *nextId = next;
    return true;
}

QString File::appendMessage(const Entry &entry)
{
    return appendRecord(messageBody(entry));
}

QString File::appendRemoved(quint64 throughId)
{
    return appendRecord(removedBody(throughId));
}

QString File::appendRecord(const QByteArray &body)
{
    if (!file.isOpen())
        return QStringLiteral("%1: not open").arg(path);
    const QByteArray record = frame(body);
    const qint64 before = file.size();
    if (file.write(record) != record.size()) {
        const QString error = QStringLiteral("%1: %2").arg(path, file.errorString());
        file.resize(before); // no half record for the next one to follow
        return error;
    }
    return QString();
}

QString File::rewrite(const QList<Entry> &entries)
{
    QSaveFile out(path);
    bool written = out.open(QIODevice::WriteOnly) && out.write(magic) == magic.size();
    for (int i = 0; written && i < entries.size(); ++i) {
        const QByteArray record = frame(messageBody(entries.at(i)));
        written = out.write(record) == record.size();
    }
    if (!written || !out.commit())
        return QStringLiteral("%1: %2").arg(path, out.errorString());
    file.close(); // the old file's; the new one takes its name
    return openForAppend();
}

QString File::openForAppend()
{
    file.setFileName(path);
    // Unbuffered: every record is with the system when append returns.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return QString();
}

} // namespace Store
