// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_TAGFILE_H
#define NORVO_EDGE_TAGFILE_H

#include "Areas.h"
#include "ValueTypes.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>

// The tags a node publishes, from a CSV file saved by a spreadsheet:
//   name,label,type,count,period_ms,deadband,writable
// The header names the columns in this order and may stop after any of
// them from type on; a line may leave the later fields empty.
namespace TagFile {

struct Tag
{
    QString name;  // its topic level
    QString label; // as written, D100
    Areas::Area area = Areas::Area::None;
    int element = -1;
    ValueTypes::Type type = ValueTypes::Type::Int16;
    int count = 1;
    int periodMs = 1000;
    double deadband = -1; // negative: none, every change is published
    bool writable = false;

    bool hasDeadband() const { return deadband >= 0; }
};

constexpr int minPeriodMs = 10;
constexpr int maxPeriodMs = 3600000;

// Reads the tag file at path. Returns an empty text and the tags, or why
// the whole file is refused: "FILE:LINE: reason", the reason naming the
// column and its value.
QString read(const QString &path, QList<Tag> *tags);

// The same for a file's bytes; fileName stands for it in the reason.
QString parse(const QByteArray &bytes, const QString &fileName, QList<Tag> *tags);

// The units one read of count values takes: bits on the areas read bit by
// bit, registers elsewhere.
qint64 readUnits(Areas::Area area, ValueTypes::Type type, int count);

} // namespace TagFile

#endif
