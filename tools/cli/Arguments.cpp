// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ArgumentChecks.h"
#include "Areas.h"
#include "CommandLine.h"
#include "ConnectionOptions.h"
#include "Limits.h"
#include "SerialLine.h"
#include "ValueText.h"

#include <QtCore/QRegularExpression>

#include <utility>


namespace {

using namespace ArgumentChecks;

const int maxStation = Limits::maxStation;
const int maxIntervalMs = 3600 * 1000;
const int maxTimes = 1000 * 1000 * 1000;

const char connectionForms[] =
    "give ADDRESS:PORT for TCP (for example 192.168.1.5:500) or "
    "PORT,BAUD,DATABITS,STOPBITS,PARITY for a serial line (for example /dev/ttyS1,9600,8,1,N)";

Invocation::Command commandFromName(const QString &name)
{
    for (Invocation::Command command : {Invocation::Info, Invocation::Read, Invocation::Write,
                                        Invocation::Poll, Invocation::Scan, Invocation::Watch}) {
        if (name == commandName(command))
            return command;
    }
    return Invocation::NoCommand;
}

QString checkSerial(const QString &connection)
{
    const QStringList fields = connection.split(QLatin1Char(','));
    if (fields.size() != 5) {
        return QStringLiteral("a serial connection has five fields: %1")
            .arg(QLatin1String(connectionForms));
    }
    if (fields.at(0).isEmpty())
        return QStringLiteral("the serial connection names no port");
    QString error = checkBaud(fields.at(1));
    if (!error.isEmpty())
        return error;
    int bits = 0;
    if (!readNumber(fields.at(2), SerialLine::minDataBits, SerialLine::maxDataBits, &bits))
        return QStringLiteral("data bits %1 are not 5, 6, 7 or 8").arg(quoted(fields.at(2)));
    int stop = 0;
    if (!readNumber(fields.at(3), SerialLine::minStopBits, SerialLine::maxStopBits, &stop)) {
        return QStringLiteral("stop bits %1 are not 1, 2 or 3 (one and a half)")
            .arg(quoted(fields.at(3)));
    }
    // The driver looks for N, then E, then O anywhere in the text, so a word
    // such as "even" would quietly mean no parity: only the letters pass.
    if (fields.at(4).size() != 1 || !SerialLine::isParity(fields.at(4).at(0)))
        return QStringLiteral("parity %1 is not N, E or O").arg(quoted(fields.at(4)));
    return QString();
}

QString checkTcp(const QString &connection)
{
    const int colon = connection.indexOf(QLatin1Char(':'));
    if (colon < 0 || connection.contains(QLatin1Char(';')))
        return QStringLiteral("%1 is not a connection: %2")
            .arg(quoted(connection), QLatin1String(connectionForms));
    if (connection.startsWith(QLatin1Char('[')) || connection.count(QLatin1Char(':')) > 1) {
        return QStringLiteral("%1: the driver takes IPv4 addresses only, as a.b.c.d:PORT "
                              "(for example 127.0.0.1:500)").arg(quoted(connection));
    }
    const QString address = connection.left(colon);
    const QString portText = connection.mid(colon + 1);
    static const QRegularExpression ipv4(QStringLiteral(
        "^((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}"
        "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$"));
    if (!ipv4.match(address).hasMatch()) {
        return QStringLiteral("%1 is not a numeric IPv4 address (the driver resolves no names)")
            .arg(quoted(address));
    }
    int port = 0;
    if (!readNumber(portText, 1, 65535, &port))
        return QStringLiteral("port %1 is not a number from 1 to 65535").arg(quoted(portText));
    return QString();
}

} // namespace

namespace ArgumentChecks {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool readNumber(const QString &text, int min, int max, int *out)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(text).hasMatch())
        return false;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < min || value > max)
        return false;
    *out = int(value);
    return true;
}

QString checkLabel(const QString &label)
{
    if (Areas::parseLabel(label).isValid())
        return QString();
    return QStringLiteral("%1 is not a label: give an area (%2) "
                          "and an element number from 0 to %3, for example D100")
        .arg(quoted(label), Areas::prefixList(), QString::number(Areas::lastElement));
}

QString checkBaud(const QString &text)
{
    int baud = 0;
    if (readNumber(text, 1, 1000000, &baud) && SerialLine::isBaudRate(baud))
        return QString();
    return QStringLiteral("baud rate %1 is not one the driver sets (%2)")
        .arg(quoted(text), SerialLine::baudRateText());
}

QString checkType(const QString &name, DataType *type)
{
    *type = ValueText::typeFromName(name);
    if (*type != DT_None)
        return QString();
    return QStringLiteral("unknown type %1; the types are %2")
        .arg(quoted(name), ValueText::typeNames().join(QLatin1String(", ")));
}

QString checkCount(const QString &text, int *count)
{
    // What one read holds depends on the type and area: the driver refuses
    // a count past it, and norvo names the limit then.
    if (readNumber(text, 1, Limits::maxWriteCount, count))
        return QString();
    return QStringLiteral("count %1 is not a whole number of at least 1 (one read takes at most %2 "
                          "registers or bits)").arg(quoted(text), QString::number(Limits::maxUnits));
}

} // namespace ArgumentChecks

QString Invocation::driverConnection(const QString &text) const
{
    if (timeoutMs == 0 || text.isEmpty())
        return text;
    return QStringLiteral("%1%2%3=%4")
        .arg(text, QString(QLatin1Char(ConnectionOptions::separator)),
             QLatin1String(ConnectionOptions::timeoutKey), QString::number(timeoutMs));
}

QString commandName(Invocation::Command command)
{
    switch (command) {
    case Invocation::Info: return QStringLiteral("info");
    case Invocation::Read: return QStringLiteral("read");
    case Invocation::Write: return QStringLiteral("write");
    case Invocation::Poll: return QStringLiteral("poll");
    case Invocation::Scan: return QStringLiteral("scan");
    case Invocation::Watch: return QStringLiteral("watch");
    case Invocation::NoCommand: break;
    }
    return QString();
}

QString checkConnection(const QString &connection)
{
    return connection.contains(QLatin1Char(',')) ? checkSerial(connection) : checkTcp(connection);
}

namespace {

// The flags first, then the options with a value, which readOptionValue reads.
const std::vector<CommandLine::Option> options = {
    {"h,help"}, {"version"}, {"debug"}, {"trace"}, {"json"}, {"csv"}, {"csv-wide"}, {"hex"},
    {"by-address"}, {"merge"}, {"no-merge"}, {"first"}, {"allow-write"},
    {"station", "N"}, {"timeout", "MS"}, {"interval", "MS"}, {"times", "N"}, {"plugin", "PATH"},
    {"pcap", "FILE"}, {"stations", "A-B"}, {"bauds", "LIST"}, {"formats", "LIST"},
    {"http", "HOST:PORT"}, {"keep", "MIN"}};

// HOST:PORT or :PORT (or PORT) for watch's page; the host is numeric.
QString readHttp(const QString &value, Invocation *invocation)
{
    const int colon = value.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QString() : value.left(colon);
    const QString port = value.mid(colon + 1);
    if (!readNumber(port, 0, 65535, &invocation->httpPort)) {
        return QStringLiteral("--http %1: the port is not a number from 0 to 65535 (0 picks a free one)")
            .arg(quoted(value));
    }
    if (host.isEmpty())
        return QString();
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$|^\\[[0-9A-Fa-f:.]+\\]$"));
    if (!numeric.match(host).hasMatch())
        return QStringLiteral("--http %1: give a numeric address, such as 127.0.0.1").arg(quoted(value));
    invocation->httpHost = host.startsWith(QLatin1Char('[')) ? host.mid(1, host.size() - 2) : host;
    return QString();
}

QString readOptionValue(const QString &option, const QString &value, Invocation *invocation)
{
    if (option == QLatin1String("--station")) {
        int station = 0;
        if (readNumber(value, 0, maxStation, &station)) {
            invocation->stationText = QString::number(station);
            return QString();
        }
        return QStringLiteral("station %1 is not a number from 0 to %2")
            .arg(quoted(value), QString::number(maxStation));
    }
    if (option == QLatin1String("--timeout")) {
        if (readNumber(value, ConnectionOptions::minTimeoutMs, ConnectionOptions::maxTimeoutMs,
                       &invocation->timeoutMs))
            return QString();
        return QStringLiteral("timeout %1 is not a number of milliseconds from %2 to %3")
            .arg(quoted(value))
            .arg(ConnectionOptions::minTimeoutMs)
            .arg(ConnectionOptions::maxTimeoutMs);
    }
    if (option == QLatin1String("--interval")) {
        if (readNumber(value, 0, maxIntervalMs, &invocation->intervalMs))
            return QString();
        return QStringLiteral("interval %1 is not a number of milliseconds from 0 to %2")
            .arg(quoted(value), QString::number(maxIntervalMs));
    }
    if (option == QLatin1String("--times")) {
        if (readNumber(value, 1, maxTimes, &invocation->times))
            return QString();
        return QStringLiteral("times %1 is not a number from 1 to %2")
            .arg(quoted(value), QString::number(maxTimes));
    }
    if (option == QLatin1String("--stations"))
        return readStations(value, invocation);
    if (option == QLatin1String("--http"))
        return readHttp(value, invocation);
    if (option == QLatin1String("--keep")) {
        const int maxKeepMinutes = 24 * 60;
        if (readNumber(value, 1, maxKeepMinutes, &invocation->keepMinutes))
            return QString();
        return QStringLiteral("keep %1 is not a number of minutes from 1 to %2")
            .arg(quoted(value), QString::number(maxKeepMinutes));
    }
    if (option == QLatin1String("--bauds"))
        return readBauds(value, invocation);
    if (option == QLatin1String("--formats"))
        return readFormats(value, invocation);
    if (option == QLatin1String("--pcap")) {
        if (value.isEmpty())
            return QStringLiteral("--pcap needs a file name");
        invocation->pcapPath = value;
        return QString();
    }
    if (value.isEmpty())
        return QStringLiteral("--plugin needs a path");
    invocation->pluginPath = value;
    return QString();
}

// CONNECTION COMMAND ..., or "info" alone.
QString readCommand(const QStringList &positionals, Invocation *invocation)
{
    if (positionals.isEmpty())
        return QStringLiteral("nothing to do: give CONNECTION and a command (see norvo --help)");
    int next = 1;
    invocation->command = commandFromName(positionals.at(0));
    if (invocation->command == Invocation::NoCommand) {
        invocation->connection = positionals.at(0);
        // The host's options ride on the connection string; --timeout wins.
        const int options = invocation->connection.indexOf(QLatin1Char(ConnectionOptions::separator));
        if (options >= 0) {
            const ConnectionOptions::Parsed parsed =
                ConnectionOptions::parse(invocation->connection.mid(options + 1));
            if (!parsed.refused.isEmpty())
                return ConnectionOptions::refusal(quoted(parsed.refused));
            if (invocation->timeoutMs == 0)
                invocation->timeoutMs = parsed.timeoutMs;
            invocation->connection.truncate(options);
        }
        const QString error = checkConnection(invocation->connection);
        if (!error.isEmpty())
            return error;
        if (positionals.size() < 2)
            return QStringLiteral("a command must follow the connection: info, read, write, poll, watch or scan");
        invocation->command = commandFromName(positionals.at(1));
        if (invocation->command == Invocation::NoCommand) {
            return QStringLiteral("unknown command %1; the commands are info, read, write, poll, watch and scan")
                .arg(quoted(positionals.at(1)));
        }
        next = 2;
    } else if (invocation->command != Invocation::Info) {
        return QStringLiteral("%1 needs a CONNECTION before it").arg(positionals.at(0));
    }

    const QStringList rest = positionals.mid(next);
    switch (invocation->command) {
    case Invocation::Read:
    case Invocation::Poll:
    case Invocation::Watch:
        return readItems(rest, invocation);
    case Invocation::Write:
        return readWrite(rest, invocation);
    default:
        break;
    }
    if (!rest.isEmpty())
        return QStringLiteral("unexpected argument %1").arg(quoted(rest.at(0)));
    return QString();
}

} // namespace

ParsedArguments parseArguments(const QStringList &arguments)
{
    ParsedArguments parsed;
    Invocation &invocation = parsed.invocation;
    QString &error = parsed.error;
    QCommandLineParser parser;
    const CommandLine::Error wrong = CommandLine::parse(options, arguments, &parser);
    const auto given = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    // The flags first: main() tells even a refused line in JSON for --json.
    const std::pair<const char *, bool Invocation::*> flags[] = {
        {"help", &Invocation::help}, {"version", &Invocation::version}, {"debug", &Invocation::debug},
        {"trace", &Invocation::trace}, {"hex", &Invocation::hex}, {"by-address", &Invocation::byAddress},
        {"merge", &Invocation::merge}, {"first", &Invocation::firstOnly}, {"allow-write", &Invocation::allowWrite}};
    for (const auto &flag : flags)
        invocation.*flag.second = given(flag.first);
    invocation.mergeReads = !given("no-merge");
    // --json last: with another format beside it, the refusal is still JSON.
    const std::pair<const char *, Invocation::Format> formats[] = {
        {"csv-wide", Invocation::CsvWide}, {"csv", Invocation::Csv}, {"json", Invocation::Json}};
    int formatsGiven = 0;
    for (const auto &format : formats) {
        if (given(format.first)) {
            invocation.format = format.second;
            ++formatsGiven;
        }
    }
    error = CommandLine::describe(wrong, QStringLiteral("norvo"));
    for (const CommandLine::Option &option : options) {
        const QStringList values = option.valueName ? parser.values(QLatin1String(option.names)) : QStringList();
        for (int i = 0; i < values.size() && error.isEmpty(); ++i)
            error = readOptionValue(QStringLiteral("--") + QLatin1String(option.names), values.at(i), &invocation);
    }
    if (!error.isEmpty())
        return parsed;
    const QStringList positionals = parser.positionalArguments();

    if (invocation.help) {
        // "norvo read --help" and "norvo --help read" both show read's help.
        for (const QString &word : qAsConst(positionals)) {
            invocation.command = commandFromName(word);
            if (invocation.command != Invocation::NoCommand)
                break;
        }
        return parsed;
    }
    if (invocation.version)
        return parsed;

    error = readCommand(positionals, &invocation);
    if (!error.isEmpty())
        return parsed;

    // Options that only some commands take.
    const Invocation::Command command = invocation.command;
    const bool polls = command == Invocation::Poll || command == Invocation::Watch;
    const bool reads = command == Invocation::Read || command == Invocation::Poll;
    const struct {
        const char *option;
        bool applies;
        const char *where;
    } scopes[] = {
        {"--interval", polls, "poll and watch only"},
        {"--times", polls, "poll and watch only"},
        {"--no-merge", polls, "poll and watch only"},
        {"--merge", command == Invocation::Write, "write only"},
        {"--stations", command == Invocation::Scan, "scan only"},
        {"--first", command == Invocation::Scan, "scan only"},
        {"--bauds", command == Invocation::Scan && invocation.serial(), "a scan of a serial line only"},
        {"--formats", command == Invocation::Scan && invocation.serial(), "a scan of a serial line only"},
        {"--station", command != Invocation::Scan, "one station: scan tries those of --stations"},
        {"--csv", reads || polls || command == Invocation::Write, "read, write, poll and watch only"},
        {"--csv-wide", reads, "read and poll only"},
        {"--hex", reads, "read and poll only"},
        {"--by-address", reads, "read and poll only"},
        {"--http", command == Invocation::Watch, "watch only"},
        {"--keep", command == Invocation::Watch, "watch only"},
        {"--allow-write", command == Invocation::Watch, "watch only"},
    };
    for (const auto &scope : scopes) {
        if (!scope.applies && given(scope.option + 2)) {
            error = QStringLiteral("%1 applies to %2").arg(QLatin1String(scope.option),
                                                            QLatin1String(scope.where));
            return parsed;
        }
    }
    if (formatsGiven > 1)
        error = QStringLiteral("--json, --csv and --csv-wide exclude each other");
    else if (invocation.byAddress && invocation.format == Invocation::CsvWide)
        error = QStringLiteral("--csv-wide already gives each element its own column: drop --by-address");
    return parsed;
}
