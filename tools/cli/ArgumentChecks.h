// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_ARGUMENTCHECKS_H
#define NORVO_CLI_ARGUMENTCHECKS_H

#include "Invocation.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

// The checks the command-line parsers share, each giving why a text is
// refused or an empty text.
namespace ArgumentChecks {

QString quoted(const QString &text);

// A whole decimal number in [min, max]; false for anything else.
bool readNumber(const QString &text, int min, int max, int *out);

QString checkLabel(const QString &label);
QString checkBaud(const QString &text);
QString checkType(const QString &name, DataType *type);
QString checkCount(const QString &text, int *count);

// The words after "read", "poll" or "write" into the invocation.
QString readItems(const QStringList &arguments, Invocation *invocation);
QString readWrite(const QStringList &arguments, Invocation *invocation);

// Why bits (a QList<bool>) cannot be written at `label`, with the uint16
// word that means the same and the --merge that changes only those bits.
QString wholeWordsOnly(const QString &label, const QVariant &values);

// The values of --stations, --bauds and --formats.
QString readStations(const QString &text, Invocation *invocation);
QString readBauds(const QString &text, Invocation *invocation);
QString readFormats(const QString &text, Invocation *invocation);

} // namespace ArgumentChecks

#endif
