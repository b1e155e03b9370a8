#include "Invocation.h"
#include "ValueText.h"

#include <QtCore/QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {

const int maxCount = 65535;
const int maxStation = 255;   // the frame carries the station in two hex digits
const int maxIntervalMs = 3600 * 1000;
const int maxTimes = 1000 * 1000 * 1000;
const int baudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

const char connectionForms[] =
    "give ADDRESS:PORT for TCP (for example 192.168.1.5:500) or "
    "PORT,BAUD,DATABITS,STOPBITS,PARITY for a serial line (for example /dev/ttyS1,9600,8,1,N)";

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

Invocation::Command commandFromName(const QString &name)
{
    for (Invocation::Command command :
         {Invocation::Info, Invocation::Read, Invocation::Write, Invocation::Poll}) {
        if (name == commandName(command))
            return command;
    }
    return Invocation::NoCommand;
}

// A whole decimal number in [min, max]; false for anything else.
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

// Negative numbers and "-inf" are values, not options.
bool looksLikeOption(const QString &argument)
{
    if (argument.startsWith(QLatin1String("--")))
        return true;
    static const QRegularExpression floatWord(QStringLiteral("^-(inf|infinity|nan)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return argument.size() > 1 && argument.at(0) == QLatin1Char('-')
           && argument.at(1).isLetter() && !floatWord.match(argument).hasMatch();
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
    int baud = 0;
    readNumber(fields.at(1), 1, 1000000, &baud);
    if (std::find(std::begin(baudRates), std::end(baudRates), baud) == std::end(baudRates)) {
        return QStringLiteral("baud rate %1 is not one the driver sets "
                              "(1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)")
            .arg(quoted(fields.at(1)));
    }
    int bits = 0;
    if (!readNumber(fields.at(2), 5, 8, &bits))
        return QStringLiteral("data bits %1 are not 5, 6, 7 or 8").arg(quoted(fields.at(2)));
    int stop = 0;
    if (!readNumber(fields.at(3), 1, 3, &stop)) {
        return QStringLiteral("stop bits %1 are not 1, 2 or 3 (one and a half)")
            .arg(quoted(fields.at(3)));
    }
    // The driver looks for N, then E, then O anywhere in the text, so a word
    // such as "even" would quietly mean no parity: only the letters pass.
    static const QRegularExpression parity(QStringLiteral("^[NEOneo]$"));
    if (!parity.match(fields.at(4)).hasMatch())
        return QStringLiteral("parity %1 is not N, E or O").arg(quoted(fields.at(4)));
    return QString();
}

QString checkTcp(const QString &connection)
{
    const int colon = connection.indexOf(QLatin1Char(':'));
    if (colon < 0 || connection.contains(QLatin1Char(';')))
        return QStringLiteral("%1 is not a connection: %2")
            .arg(quoted(connection), QLatin1String(connectionForms));
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

QString checkLabel(const QString &label)
{
    if (isLabel(label))
        return QString();
    return QStringLiteral("%1 is not a label: give an area (D, R, HR, TMR, CTR, X, Y, M, S, T, C) "
                          "and an element number from 0 to 9999, for example D100")
        .arg(quoted(label));
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
    if (readNumber(text, 1, maxCount, count))
        return QString();
    return QStringLiteral("count %1 is not a whole number from 1 to %2").arg(quoted(text), QString::number(maxCount));
}

// LABEL TYPE [COUNT] of read and poll, LABEL TYPE VALUE... of write.
QString readLabelArguments(const QStringList &arguments, Invocation *invocation)
{
    const QString name = commandName(invocation->command);
    const bool write = invocation->command == Invocation::Write;
    if (arguments.size() < (write ? 3 : 2)) {
        return write ? QStringLiteral("write needs LABEL TYPE VALUE...")
                     : QStringLiteral("%1 needs LABEL TYPE [COUNT]").arg(name);
    }
    QString error = checkLabel(arguments.at(0));
    if (error.isEmpty())
        error = checkType(arguments.at(1), &invocation->type);
    if (!error.isEmpty())
        return error;
    invocation->label = arguments.at(0);

    if (write) {
        const QStringList values = arguments.mid(2);
        if (values.size() > maxCount)
            return QStringLiteral("at most %1 values can be written at once").arg(maxCount);
        invocation->count = values.size();
        invocation->countGiven = values.size() > 1;
        return ValueText::parseValues(invocation->type, values, &invocation->values);
    }
    if (arguments.size() > 3)
        return QStringLiteral("unexpected argument %1").arg(quoted(arguments.at(3)));
    if (arguments.size() == 3) {
        invocation->countGiven = true;
        return checkCount(arguments.at(2), &invocation->count);
    }
    return QString();
}

} // namespace

QString commandName(Invocation::Command command)
{
    switch (command) {
    case Invocation::Info: return QStringLiteral("info");
    case Invocation::Read: return QStringLiteral("read");
    case Invocation::Write: return QStringLiteral("write");
    case Invocation::Poll: return QStringLiteral("poll");
    case Invocation::NoCommand: break;
    }
    return QString();
}

bool isLabel(const QString &label)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(TMR|CTR|HR|DR|R|D|X|Y|M|S|T|C)[0-9]{1,4}$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(label).hasMatch();
}

QString checkConnection(const QString &connection)
{
    return connection.contains(QLatin1Char(',')) ? checkSerial(connection) : checkTcp(connection);
}

ParsedArguments parseArguments(const QStringList &arguments)
{
    ParsedArguments parsed;
    Invocation &invocation = parsed.invocation;
    QString &error = parsed.error;
    QStringList positionals;
    bool intervalGiven = false;
    bool timesGiven = false;

    for (int i = 0; i < arguments.size() && error.isEmpty(); ++i) {
        const QString argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            positionals += arguments.mid(i + 1);
            break;
        }
        if (!looksLikeOption(argument)) {
            positionals << argument;
            continue;
        }
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString option = equals > 0 ? argument.left(equals) : argument;
        const bool inlineValue = equals > 0;

        if (option == QLatin1String("--help") || option == QLatin1String("-h")
            || option == QLatin1String("--debug") || option == QLatin1String("--json")) {
            if (inlineValue)
                error = QStringLiteral("%1 takes no value").arg(option);
            else if (option == QLatin1String("--debug"))
                invocation.debug = true;
            else if (option == QLatin1String("--json"))
                invocation.json = true;
            else
                invocation.help = true;
            continue;
        }
        if (option != QLatin1String("--station") && option != QLatin1String("--interval")
            && option != QLatin1String("--times") && option != QLatin1String("--plugin")) {
            error = QStringLiteral("unknown option %1 (see norvo --help)").arg(quoted(option));
            break;
        }
        QString value;
        if (inlineValue) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            error = QStringLiteral("%1 needs a value").arg(option);
            break;
        }

        if (option == QLatin1String("--station")) {
            int station = 0;
            if (readNumber(value, 0, maxStation, &station))
                invocation.stationText = QString::number(station);
            else
                error = QStringLiteral("station %1 is not a number from 0 to %2")
                            .arg(quoted(value), QString::number(maxStation));
        } else if (option == QLatin1String("--interval")) {
            intervalGiven = true;
            if (!readNumber(value, 0, maxIntervalMs, &invocation.intervalMs))
                error = QStringLiteral("interval %1 is not a number of milliseconds from 0 to %2")
                            .arg(quoted(value), QString::number(maxIntervalMs));
        } else if (option == QLatin1String("--times")) {
            timesGiven = true;
            if (!readNumber(value, 1, maxTimes, &invocation.times))
                error = QStringLiteral("times %1 is not a number from 1 to %2")
                            .arg(quoted(value), QString::number(maxTimes));
        } else if (value.isEmpty()) {
            error = QStringLiteral("--plugin needs a path");
        } else {
            invocation.pluginPath = value;
        }
    }
    if (!error.isEmpty())
        return parsed;

    if (invocation.help) {
        // "norvo read --help" and "norvo --help read" both show read's help.
        for (const QString &word : qAsConst(positionals)) {
            invocation.command = commandFromName(word);
            if (invocation.command != Invocation::NoCommand)
                break;
        }
        return parsed;
    }

    if (positionals.isEmpty()) {
        error = QStringLiteral("nothing to do: give CONNECTION and a command (see norvo --help)");
        return parsed;
    }
    int next = 0;
    invocation.command = commandFromName(positionals.at(0));
    if (invocation.command == Invocation::NoCommand) {
        invocation.connection = positionals.at(0);
        error = checkConnection(invocation.connection);
        if (!error.isEmpty())
            return parsed;
        if (positionals.size() < 2) {
            error = QStringLiteral("a command must follow the connection: info, read, write or poll");
            return parsed;
        }
        invocation.command = commandFromName(positionals.at(1));
        if (invocation.command == Invocation::NoCommand) {
            error = QStringLiteral("unknown command %1; the commands are info, read, write and poll")
                        .arg(quoted(positionals.at(1)));
            return parsed;
        }
        next = 2;
    } else if (invocation.command != Invocation::Info) {
        error = QStringLiteral("%1 needs a CONNECTION before it").arg(positionals.at(0));
        return parsed;
    } else {
        next = 1;
    }

    const QStringList rest = positionals.mid(next);
    if (invocation.command == Invocation::Info) {
        if (!rest.isEmpty())
            error = QStringLiteral("unexpected argument %1").arg(quoted(rest.at(0)));
    } else {
        error = readLabelArguments(rest, &invocation);
    }
    if (error.isEmpty() && invocation.command != Invocation::Poll) {
        if (intervalGiven)
            error = QStringLiteral("--interval applies to poll only");
        else if (timesGiven)
            error = QStringLiteral("--times applies to poll only");
    }
    return parsed;
}
