#ifndef SIMLOGENTRY_H
#define SIMLOGENTRY_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// One request the simulator received, as a user reads it: which station
// asked for what, and what became of it.
struct SimLogEntry {
    qint64 sequence = 0;        // 1, 2, ... in the order received
    qint64 timeMs = 0;          // milliseconds since the epoch, UTC
    int station = -1;           // -1 when it cannot be read from the frame
    QString command;            // "read bits", "read", "write", or the characters received
    QString label;              // the CLI label of the first element; empty when unreadable
    int count = 0;              // the request's units: bits, registers or words
    QString outcome;            // "answered", "error 4", "no answer (drop fault)", ...

    // The request's fields from its frame; sequence, time and outcome unset.
    static SimLogEntry fromFrame(const QByteArray &frame);

    // One line for the console: time, station, command, label, count, outcome.
    QString text() const;
};

#endif
