// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMLOGFILTER_H
#define SIMLOGFILTER_H

#include "simlogentry.h"

#include <QtCore/QList>
#include <QtCore/QString>

// Which log entries a reader wants, and the log as CSV.
struct SimLogFilter {
    bool failedOnly = false;    // requests that did not get their plain answer
    int station = -1;           // -1: any
    QString label;              // empty: any; as SimLabel writes it

    bool matches(const SimLogEntry &entry) const;

    // A header line and one line per entry (RFC 4180 quoting).
    static QByteArray csv(const QList<SimLogEntry> &entries);
};

#endif
