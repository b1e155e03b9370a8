// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simoptions.h"

#include "CommandLine.h"
#include "Limits.h"
#include "SerialLine.h"
#include "SimulatorErrors.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

namespace {

// Each option, with the name of its value; --pty takes its line settings
// only when they follow it.
const std::vector<CommandLine::Option> options = {
    {"h,help"}, {"log"}, {"gateway"}, {"pty", "BAUD,BITS,STOP,PARITY", "[0-9]+,[0-9]+,[0-9]+,[A-Za-z]+"},
    {"tcp", "[HOST:]PORT"}, {"serial", "DEVICE,BAUD,BITS,STOP,PARITY"}, {"station", "N[,N...]"},
    {"pty-link", "PATH"}, {"http", "[HOST:]PORT"},
    {"load", "FILE"}, {"dump", "FILE"}, {"pcap", "FILE"},
    {"delay", "MS"}, {"delay-every", "N"}, {"delay-chance", "P"},
    {"drop-every", "N"}, {"drop-chance", "P"},
    {"bad-checksum-every", "N"}, {"bad-checksum-chance", "P"},
    {"error-every", "N"}, {"error-chance", "P"}, {"error-code", "C"},
    {"split-every", "N"}, {"split-chance", "P"}, {"split-pause", "MS"},
    {"dup-every", "N"}, {"dup-chance", "P"}, {"dup-pause", "MS"},
    {"close-every", "N"}, {"close-chance", "P"},
    {"seed", "N"},
};

class Reader
{
public:
    explicit Reader(const QCommandLineParser &parser) : parser(parser) {}

    QString error;

    bool has(const char *name) const { return parser.isSet(QLatin1String(name)); }
    QString text(const char *name) const { return parser.value(QLatin1String(name)); }

    // An integer option within [lowest, highest]; `value` unchanged when absent.
    void integer(const char *name, qint64 lowest, qint64 highest, qint64 *value)
    {
        if (!has(name) || !error.isEmpty())
            return;
        bool ok = false;
        const qint64 number = text(name).toLongLong(&ok, 10);
        if (!ok || number < lowest || number > highest) {
            error = QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                    .arg(QLatin1String(name)).arg(lowest).arg(highest).arg(text(name));
            return;
        }
        *value = number;
    }

    void milliseconds(const char *name, int *value)
    {
        qint64 number = *value;
        integer(name, 0, 3600000, &number);
        *value = int(number);
    }

    // "--NAME-every N" and "--NAME-chance P" into one rule.
    void rule(const char *fault, SimFaultRule *rule)
    {
        const QByteArray every = QByteArray(fault) + "-every";
        const QByteArray chance = QByteArray(fault) + "-chance";
        qint64 n = rule->every;
        integer(every.constData(), 1, 1000000000, &n);
        rule->every = int(n);
        if (!has(chance.constData()) || !error.isEmpty())
            return;
        bool ok = false;
        const double p = text(chance.constData()).toDouble(&ok);
        if (!ok || !(p >= 0.0 && p <= 1.0)) {
            error = QStringLiteral("--%1 takes a probability from 0 to 1, not \"%2\"")
                    .arg(QLatin1String(chance), text(chance.constData()));
            return;
        }
        rule->chance = p;
    }

private:
    const QCommandLineParser &parser;
};

// "HOST:PORT" with a numeric or "localhost" host; the host may be left out
// (":PORT" or "PORT") and is then 127.0.0.1.
bool parseAddress(const char *option, const QString &text, QHostAddress *addressOut, quint16 *portOut,
                  QString *error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : text.left(colon);
    if (host.isEmpty())
        host = QStringLiteral("127.0.0.1");
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok, 10);
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else
        address = QHostAddress(host);
    if (address.isNull() || !ok || port < 0 || port > 65535) {
        *error = QStringLiteral("--%1 takes HOST:PORT with a numeric address, or PORT alone on 127.0.0.1, "
                                "like 127.0.0.1:0, not \"%2\"")
                .arg(QLatin1String(option), text);
        return false;
    }
    *addressOut = address;
    *portOut = quint16(port);
    return true;
}

// "1,2,7": distinct stations 0..255, the first one the default.
bool parseStations(const QString &text, QList<int> *stations, QString *error)
{
    QList<int> parsed;
    for (const QString &field : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int station = field.trimmed().toInt(&ok, 10);
        if (!ok || station < 0 || station > Limits::maxStation) {
            *error = QStringLiteral("--station takes stations from 0 to %1, separated by commas, not \"%2\"")
                    .arg(Limits::maxStation).arg(text);
            return false;
        }
        if (parsed.contains(station)) {
            *error = QStringLiteral("--station names station %1 twice").arg(station);
            return false;
        }
        parsed << station;
    }
    *stations = parsed;
    return true;
}

QString errorCodeLines()
{
    QString lines;
    for (const SimulatorErrors::Meaning &meaning : SimulatorErrors::meanings)
        lines += QStringLiteral("  %1  %2\n").arg(QLatin1Char(meaning.code)).arg(QLatin1String(meaning.text));
    return lines;
}

} // namespace

QString simHelpText()
{
    return QStringLiteral(
        "Usage: norvo-sim [LINK] [OPTIONS]\n"
        "A simulated PLC answering bit reads (44), register reads (46) and register\n"
        "writes (47). Once it serves its link it prints one line to stdout:\n"
        "\"tcp HOST:PORT\", \"pty /dev/pts/N\" or \"serial DEVICE\"; with --http a second\n"
        "line \"http HOST:PORT\" follows. It runs until SIGINT or SIGTERM, then dumps\n"
        "its memory and exits 0.\n"
        "SIGUSR1 dumps the memory at once; SIGUSR2 closes all TCP connections.\n"
        "\n"
        "Link (one of):\n"
        "  --tcp [HOST:]PORT     listen on TCP (host default 127.0.0.1); port 0 picks a\n"
        "                        free one (default 127.0.0.1:0)\n"
        "  --gateway             with TCP: be a serial PLC behind a serial-to-Ethernet\n"
        "                        gateway. All connections share one line: one request\n"
        "                        at a time, in the order they came, each answered once\n"
        "                        the answer before it has gone out (delays included).\n"
        "                        An answer due on a closed connection goes out on the\n"
        "                        newest open one, or is lost when none is open\n"
        "  --pty [BAUD,BITS,STOP,PARITY]\n"
        "                        create a pseudo-terminal; the driver opens the printed path.\n"
        "                        With settings, answer only while the driver's line\n"
        "                        settings on the pty are these, e.g. 19200,8,1,N (a Linux\n"
        "                        pty keeps only the baud rate and stop bits); BAUD is one\n"
        "                        the driver sets:\n"
        "                        ") + SerialLine::baudRateText() + QStringLiteral("\n"
        "  --pty-link PATH       with --pty: a symlink PATH to the pty, removed on exit\n"
        "  --serial DEVICE,BAUD,BITS,STOP,PARITY\n"
        "                        use a serial line, e.g. /dev/ttyUSB0,9600,7,1,E (parity N, E, O)\n"
        "\n"
        "PLC:\n"
        "  --station N[,N...]    the stations on the line, each a PLC with its own memory,\n"
        "                        0..") + QString::number(Limits::maxStation) + QStringLiteral(
        " (default 1); requests for others go unanswered\n"
        "  --load FILE           start with the memory in FILE: lines like \"D100 = 0x1234\",\n"
        "                        \"X17 = 1\", \"D300:float = 3.25\", \"D10 = 1, 2, 3\",\n"
        "                        \"@2 D100 = 5\" (station 2), \"# comment\"; labels and\n"
        "                        types as the norvo command line writes them. Generators\n"
        "                        move a value by themselves: \"D0 = ramp(0, 100, 5, 1s)\",\n"
        "                        counter(PERIOD[, STEP]), sine(LOW, HIGH, PERIOD),\n"
        "                        walk(LOW, HIGH, STEP, PERIOD), toggle(PERIOD), scan();\n"
        "                        a write to the label stops its generator\n"
        "  --dump FILE           write memory dumps to FILE instead of stdout (checked at start)\n"
        "\n"
        "Workbench:\n"
        "  --http [HOST:]PORT    serve a web console and a REST API (host default 127.0.0.1;\n"
        "                        port 0 picks a free one). Whoever reaches it can change\n"
        "                        the PLC's memory: keep it on loopback\n"
        "  --log                 write each request to stderr, one line each\n"
        "  --pcap FILE           write every piece received and sent, with its time, to a\n"
        "                        capture file for Wireshark (the norvo dissector)\n"
        "\n"
        "Faults (N: on every Nth request; P: probability 0..1 per request). Every\n"
        "request on the line counts, the driver's synchronising reads too (a read of\n"
        "D0 or X0 when a link opens and after a failed exchange), so \"every N\" may\n"
        "strike the same label of a poll cycle again and again:\n"
        "  --delay MS            answer MS late (every answer, unless --delay-every/-chance);\n"
        "                        a host waits 300 ms at first: give it a longer wait with\n"
        "                        \"CONNECTION;timeout=MS\" (norvo --timeout MS), or let the\n"
        "                        driver learn the line from the late answers it drops\n"
        "  --delay-every N, --delay-chance P\n"
        "  --drop-every N, --drop-chance P                  no answer\n"
        "  --bad-checksum-every N, --bad-checksum-chance P  answer with a wrong checksum\n"
        "  --error-every N, --error-chance P                refuse with an error code\n"
        "  --error-code C        the code those refusals carry, 1..9 or A..F (default 6)\n"
        "  --split-every N, --split-chance P                answer in two pieces\n"
        "  --split-pause MS      pause between the pieces (default 30)\n"
        "  --dup-every N, --dup-chance P                    send the answer twice\n"
        "  --dup-pause MS        pause between the two copies (default 30)\n"
        "  --close-every N, --close-chance P                close the TCP connection\n"
        "                        instead of answering (no answer on a pty or serial line;\n"
        "                        with --gateway the one the answer would have gone out on)\n"
        "  --seed N              seed of the random faults and generators (default 1)\n"
        "\n"
        "Error codes in answers, norvo-sim's own (a PLC may mean others by them); the\n"
        "error fault's is 6 unless --error-code gives another:\n")
        + errorCodeLines() + QStringLiteral(
        "\n"
        "  -h, --help            show this help\n"
        "\n"
        "Examples: norvo-sim --tcp 127.0.0.1:0 --load plc.txt --http 127.0.0.1:8080 --log\n"
        "          norvo-sim --tcp 127.0.0.1:5000 --gateway --delay 500\n");
}

SimOptionsResult parseSimOptions(const QStringList &arguments)
{
    SimOptionsResult result;
    QCommandLineParser parser;
    const CommandLine::Error wrong = CommandLine::parse(options, arguments.mid(1), &parser);
    if (wrong.kind == CommandLine::Error::UnknownOption)
        result.error = QStringLiteral("Unknown option '%1'.").arg(wrong.name);
    else if (wrong.kind == CommandLine::Error::MissingValue)
        result.error = QStringLiteral("Missing value after '%1'.").arg(wrong.option);
    else if (wrong.kind == CommandLine::Error::UnexpectedValue)
        result.error = QStringLiteral("Unexpected value after '%1'.").arg(wrong.option);
    if (!result.error.isEmpty())
        return result;
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return result;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.help = true;
        return result;
    }

    SimOptions &options = result.options;
    Reader read(parser);
    const int links = int(read.has("tcp")) + int(read.has("pty")) + int(read.has("serial"));
    if (links > 1) {
        result.error = QStringLiteral("choose one link: --tcp, --pty or --serial");
        return result;
    }
    if (read.has("tcp") && !parseAddress("tcp", read.text("tcp"), &options.address, &options.port, &result.error))
        return result;
    const QString ptySettings = read.text("pty");
    options.ptySettingsGiven = !ptySettings.isEmpty();
    if (read.has("pty"))
        options.link = SimOptions::Pty;
    // Only the rates the driver sets: a pty set to any other would never
    // match the driver's line and would ignore every request.
    if (options.ptySettingsGiven
            && (!SimSerialSettings::parse(QStringLiteral("pty,") + ptySettings, &options.ptySettings, &result.error)
                || !SerialLine::isBaudRate(options.ptySettings.baudRate))) {
        result.error = QStringLiteral("--pty takes BAUD,BITS,STOP,PARITY, like 9600,8,1,N, with BAUD one of %1, not \"%2\"")
                .arg(SerialLine::baudRateText(), ptySettings);
        return result;
    }
    if (read.has("pty-link")) {
        options.ptyLink = read.text("pty-link");
        if (!read.has("pty") || options.ptyLink.isEmpty()) {
            result.error = QStringLiteral("--pty-link takes a path and goes with --pty");
            return result;
        }
    }
    if (read.has("http")) {
        options.http = true;
        if (!parseAddress("http", read.text("http"), &options.httpAddress, &options.httpPort, &result.error))
            return result;
    }
    options.log = read.has("log");
    if (read.has("serial")) {
        options.link = SimOptions::Serial;
        if (!SimSerialSettings::parse(read.text("serial"), &options.serial, &result.error))
            return result;
    }
    options.gateway = read.has("gateway");
    if (options.gateway && options.link != SimOptions::Tcp) {
        result.error = QStringLiteral("--gateway goes with TCP, not with --pty or --serial");
        return result;
    }

    if (read.has("station") && !parseStations(read.text("station"), &options.stations, &result.error))
        return result;
    options.station = options.stations.first();
    options.loadFile = read.text("load");
    options.pcapFile = read.text("pcap");
    options.dumpFile = read.text("dump");
    if (read.has("load") && options.loadFile.isEmpty())
        read.error = QStringLiteral("--load needs a file name");
    if (read.has("dump") && options.dumpFile.isEmpty())
        read.error = QStringLiteral("--dump needs a file name");

    SimFaults &faults = options.faults;
    read.milliseconds("delay", &faults.delayMs);
    read.rule("delay", &faults.delay);
    read.rule("drop", &faults.drop);
    read.rule("bad-checksum", &faults.badChecksum);
    read.rule("error", &faults.error);
    read.rule("split", &faults.split);
    read.milliseconds("split-pause", &faults.splitPauseMs);
    read.rule("dup", &faults.dup);
    read.milliseconds("dup-pause", &faults.dupPauseMs);
    read.rule("close", &faults.close);
    qint64 seed = faults.seed;
    read.integer("seed", 0, 0xFFFFFFFFLL, &seed);
    faults.seed = quint32(seed);

    // A delay without a rule delays every answer; a rule without a delay
    // would inject nothing, which is refused rather than ignored.
    if (read.has("delay") && !faults.delay.isActive())
        faults.delay = SimFaultRule::always();
    if ((read.has("delay-every") || read.has("delay-chance")) && !read.has("delay") && read.error.isEmpty())
        read.error = QStringLiteral("--delay-every and --delay-chance need --delay MS");

    if (read.has("error-code") && read.error.isEmpty()) {
        const QString code = read.text("error-code").toUpper();
        if (code.size() != 1 || !QStringLiteral("123456789ABCDEF").contains(code))
            read.error = QStringLiteral("--error-code takes one character 1..9 or A..F, not \"%1\"").arg(read.text("error-code"));
        else
            faults.errorCode = code.at(0).toLatin1();
    }

    result.error = read.error;
    return result;
}
