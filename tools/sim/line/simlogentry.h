// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMLOGENTRY_H
#define SIMLOGENTRY_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// One thing that happened to the simulated PLC, as a user reads it: a
// request that came in on the link and what became of it, or a change made
// through the API or the page, or a connection opening or closing.
struct SimLogEntry {
    qint64 sequence = 0;        // 1, 2, ... in the order logged
    qint64 timeMs = 0;          // milliseconds since the epoch, UTC
    QString origin = QStringLiteral("link");   // "link", "api" or "page"
    int station = -1;           // -1 when it cannot be read from the frame, or none applies
    QString command;            // "read bits", "read", "write", the command characters received,
                                // or "bytes" for what named no station (escaped in `detail`);
                                // for changes "set", "fault on", "connection opened", ...
    QString label;              // the CLI label of the first element; empty when unreadable
    int count = 0;              // the request's units: bits, registers or words
    QString outcome;            // "answered", "error 4", "no answer (drop fault)", ...
    QString detail;             // what changed: "D100 = 0x0005 0x0006", "every 3", ...
    bool failed = false;        // a request that did not get its plain answer
    bool synchronising = false; // a D0 or X0 read of one unit right after a failed one

    // A request from the link (or bytes that never became one), not a change.
    bool isRequest() const { return !outcome.isEmpty(); }

    // The request's fields from its frame; sequence, time and outcome unset.
    static SimLogEntry fromFrame(const QByteArray &frame);

    // One line for the console: time, origin, station, command, label,
    // count, outcome and what changed.
    QString text() const;

    // Bytes as received, for a console or a web page: printable ASCII as
    // itself, a backslash doubled, anything else as \xNN.
    static QString escaped(const QByteArray &bytes);

    // A change made from `origin`, not a request.
    static SimLogEntry change(const QString &origin, int station, const QString &command,
                              const QString &label, const QString &detail);
};

#endif
