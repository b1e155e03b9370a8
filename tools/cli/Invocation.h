#ifndef NORVO_CLI_INVOCATION_H
#define NORVO_CLI_INVOCATION_H

#include "DataType.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

// The tool's exit statuses.
enum ExitCode {
    ExitOk = 0,         // the driver's status was 0 for every request
    ExitFailed = 1,     // a request ended with another status, or its data was not usable
    ExitUsage = 2,      // the command line was refused; nothing was sent
    ExitPlugin = 3,     // the plug-in could not be loaded
    ExitConnection = 4  // the link to the PLC could not be opened
};

// One run of the tool, as its command line asks for it.
struct Invocation {
    enum Command { NoCommand, Info, Read, Write, Poll };

    Command command = NoCommand;
    bool help = false;          // show the help of `command` (or the general help)
    QString connection;         // empty for an info without a PLC
    QString label;
    DataType type = DT_None;
    int count = 1;
    bool countGiven = false;    // false: the interface's one-element form is used (a read
                                // without COUNT, a write of one value)
    QVariant values;            // write: the list the record carries
    QString stationText;        // empty: the driver's own default station
    bool debug = false;
    bool json = false;
    int intervalMs = 1000;
    int times = 0;              // 0: poll until stopped
    QString pluginPath;         // empty: the one beside the tool, then the system's
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

// True for a label the PLC knows: an area prefix (TMR, CTR, HR, DR, R, D, X,
// Y, M, S, T, C, any case) followed by one to four decimal digits.
bool isLabel(const QString &label);

QString commandName(Invocation::Command command);

#endif
