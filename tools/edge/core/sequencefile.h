// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SEQUENCEFILE_H
#define NORVO_EDGE_SEQUENCEFILE_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>

// The tags' last seq numbers, kept in the state folder across restarts as a
// JSON object by tag name.
namespace SequenceFile {

// The seq numbers in a file's bytes. A file that is damaged or no object
// gives none; a value that is no whole number from 0 to 2^53 is left out,
// so that its tag starts afresh.
QHash<QString, qint64> parse(const QByteArray &bytes);

QByteArray serialized(const QHash<QString, qint64> &sequences);

} // namespace SequenceFile

#endif
