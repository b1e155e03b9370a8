// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SPARKPLUG_H
#define NORVO_EDGE_SPARKPLUG_H

#include "sparkplug_b.pb.h"
#include "tagfile.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVariant>

// Sparkplug B for norvo-edge, without MQTT: topics, the payloads of births,
// data and deaths, their sequence numbers and the commands a host sends.
// Each payload builder returns the serialized bytes to publish.
namespace Sparkplug {

using Metric = norvo::sparkplug::Payload::Metric;

enum class MessageType { NBIRTH, NDEATH, DBIRTH, DDATA, DDEATH, NCMD, DCMD };

// spBv1.0/GROUP/TYPE/EDGE, and /DEVICE for the device messages.
QString topic(const QString &group, MessageType type, const QString &edgeNode, const QString &device = {});

// The datatype (a norvo::sparkplug::DataType) a tag's metric carries: the
// scalar type for a count of 1, the array type otherwise.
quint32 dataType(ValueTypes::Type type, int count);

// The values of the "Quality" property.
constexpr qint32 qualityBad = 0;
constexpr qint32 qualityGood = 192;
constexpr qint32 qualityStale = 500;

// One read of a tag.
struct Reading
{
    QVariant value;     // the driver's list (QList<short> for int16); unused when failed
    int status = 0;     // the record's status; 0 for a good read
    QString reason;     // why a read failed
    qint64 timeMs = 0;  // when it was read: ms since 1970, UTC

    bool failed() const { return status != 0; }
};

// A tag's metric: alias, timestamp, datatype and the value, the name too
// when withName (births). A failed read, a tag not read yet (no value), or
// a value that is not the tag's list of at least count elements, is a null
// metric with a bad "Quality" and a "reason" property, never an old value.
Metric metric(const TagFile::Tag &tag, quint64 alias, const Reading &reading, bool withName);

// The sequence number of a node's messages: NBIRTH takes 0, each later
// NBIRTH, DBIRTH, DDATA and DDEATH the next, 255 is followed by 0.
class SequenceCounter
{
public:
    quint64 birth() { next_ = 1; return 0; }
    quint64 next()
    {
        const quint64 seq = next_;
        next_ = (next_ + 1) % 256;
        return seq;
    }

private:
    quint64 next_ = 0;
};

// The birth-death sequence number ties an NDEATH to its NBIRTH: one per
// connection, 0..255 and round again, kept across restarts in a state
// folder file.
class BirthDeathSequence
{
public:
    explicit BirthDeathSequence(quint64 last = 255) : current_(last % 256) {}
    // The number of a new connection: one more than the last.
    quint64 advance() { current_ = (current_ + 1) % 256; return current_; }
    quint64 current() const { return current_; }

private:
    quint64 current_;
};

// The last bdSeq kept in `path`; 255 (so that the first connection takes
// 0) when the file is missing or holds no number from 0 to 255.
quint64 loadBirthDeath(const QString &path);
// Keeps bdSeq in `path`, replacing the file atomically; false and why in
// *error when it cannot.
bool saveBirthDeath(const QString &path, quint64 bdSeq, QString *error);

// NBIRTH: seq 0, "bdSeq", "Node Control/Rebirth" false, then the caller's
// node metrics (health and the like) as they are.
QByteArray nodeBirth(qint64 timeMs, quint64 bdSeq, const QList<Metric> &nodeMetrics = {});
// NDEATH, the MQTT will: bdSeq only, no seq.
QByteArray nodeDeath(qint64 timeMs, quint64 bdSeq);

// A device's tag with its alias and latest read.
struct TagState
{
    TagFile::Tag tag;
    quint64 alias = 0;
    Reading reading;
};

// DBIRTH: every tag by name and alias, with its current value or null; a
// tag not read yet (timeMs 0) takes the birth's time.
QByteArray deviceBirth(qint64 timeMs, quint64 seq, const QList<TagState> &tags);
// DDATA: the changed tags, by alias only.
QByteArray deviceData(qint64 timeMs, quint64 seq, const QList<TagState> &changed);
// DDEATH: no metrics.
QByteArray deviceDeath(qint64 timeMs, quint64 seq);

// A payload with its seq set, and its metrics marked historical when they
// were read while no host could take them; the bytes as they were when they
// are no payload. Data waits in the store without a seq: it takes the
// node's next one when it is sent.
QByteArray sequenced(const QByteArray &payload, quint64 seq, bool historical);

// A node metric of a birth: a UInt64 by name.
Metric nodeMetric(const QString &name, qint64 timeMs, quint64 value);

// Whether an NCMD asks for a rebirth ("Node Control/Rebirth" true). False
// for bytes that are no payload.
bool rebirthRequested(const QByteArray &payload);

// A write a DCMD asks for: the tag's index in the device's tags and its
// values as the daemon's write path takes JSON values.
struct Write
{
    int tag = -1;
    QJsonArray values;
};

// A metric of a DCMD that is not written, and why.
struct Refusal
{
    QString metric; // its name, or "alias N"
    QString reason;
};

// The writes of a DCMD against a device's tags (aliases as in `tags`):
// each metric by name or alias must name a writable tag and carry its
// datatype with count values. Returns false when the bytes are no payload;
// otherwise every metric is either in *writes or in *refusals.
bool deviceCommand(const QByteArray &payload, const QList<TagState> &tags, QList<Write> *writes,
                   QList<Refusal> *refusals);

} // namespace Sparkplug

#endif
