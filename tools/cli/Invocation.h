// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_INVOCATION_H
#define NORVO_CLI_INVOCATION_H

#include "DataType.h"
#include "Limits.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

// The tool's exit statuses.
enum ExitCode {
    ExitOk = 0,         // the driver's status was 0 for every request
    ExitFailed = 1,     // a request went out and failed, or its data was not usable
    ExitUsage = 2,      // refused before anything was sent: by norvo or by the driver
    ExitPlugin = 3,     // the plug-in could not be loaded
    ExitConnection = 4  // the link to the PLC could not be opened
};

// One label block that read or poll reads: LABEL TYPE [COUNT] or LABEL:TYPE[:COUNT].
struct ReadItem {
    QString label;
    DataType type = DT_None;
    int count = 1;
    bool countGiven = false;    // false: the interface's one-element form is used
};

// One serial line setting that scan tries.
struct LineFormat {
    int dataBits = 8;
    QChar parity = QLatin1Char('N');
    int stopBits = 1;
    QString text() const;       // "8N1"
};

// One run of the tool, as its command line asks for it.
struct Invocation {
    enum Command { NoCommand, Info, Read, Write, Poll, Scan, Watch };
    enum Format { Table, Json, Csv, CsvWide };

    Command command = NoCommand;
    bool help = false;          // show the help of `command` (or the general help)
    bool version = false;       // show the tool's and the plug-in's versions
    QString connection;         // empty for an info without a PLC
    QList<ReadItem> items;      // read, poll and watch: at least one
    // write
    QString label;
    DataType type = DT_None;
    int count = 1;
    bool countGiven = false;    // false: a write of one value, in the one-element form
    QVariant values;            // the list the record carries
    bool merge = false;         // write: read the word, change the named bits, write it back
    // scan
    int firstStation = 0;
    int lastStation = Limits::maxStation;
    QList<int> bauds;           // serial: empty means the connection's own
    QList<LineFormat> formats;  // serial: empty means the connection's own
    bool firstOnly = false;

    QString stationText;        // empty: the driver's own default station
    int timeoutMs = 0;          // the wait for answers; 0: the driver learns the line
    bool debug = false;
    bool trace = false;
    Format format = Table;
    bool hex = false;           // values as their bit pattern
    bool byAddress = false;     // a row per element, under its own label
    int intervalMs = 1000;
    int times = 0;              // 0: poll until stopped
    bool mergeReads = true;     // poll and watch: neighbouring labels in one read
    // watch
    QString httpHost = QStringLiteral("127.0.0.1");
    int httpPort = 0;           // 0: a free one
    bool allowWrite = false;    // the page may write
    int keepMinutes = 10;       // the trend's window
    QString pluginPath;         // empty: the one beside the tool, then the system's
    QString pcapPath;           // --pcap FILE: the bytes on the wire into a capture file

    bool json() const { return format == Json; }
    bool serial() const { return connection.contains(QLatin1Char(',')); }
    // A connection as the driver takes it: with the wait for answers, if set.
    QString driverConnection(const QString &connection) const;
};

struct ParsedArguments {
    Invocation invocation;
    QString error;              // empty when the command line was accepted
};

// Reads the arguments that follow the program name. Everything the tool can
// check before it talks to the PLC is checked here.
ParsedArguments parseArguments(const QStringList &arguments);

// Why a connection string is refused, or an empty text.
QString checkConnection(const QString &connection);

QString commandName(Invocation::Command command);

#endif
