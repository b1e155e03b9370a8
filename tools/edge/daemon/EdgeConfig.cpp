// SPDX-License-Identifier: LGPL-2.1-or-later
#include "EdgeConfig.h"

#include "CommandLine.h"

#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>
#include <QtCore/QSettings>
#include <QtNetwork/QHostInfo>

namespace {

const std::vector<CommandLine::Option> options = {
    {"h,help"}, {"no-merge"},          {"broker", "HOST:PORT"}, {"node", "NAME"},
    {"state", "DIR"}, {"station", "N"}, {"max-gap", "N"},      {"plugin", "PATH"},
    {"config", "FILE"}, {"sparkplug", "GROUP"}, {"device", "NAME"}, {"primary-host", "ID"}};

const int maxGapLimit = 64;

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A topic level: no separators, wildcards or control characters.
bool isTopicLevel(const QString &text)
{
    static const QRegularExpression bad(QStringLiteral("[/+#\\x00-\\x1f\\x7f]"));
    return !text.isEmpty() && !bad.match(text).hasMatch();
}

bool readNumber(const QString &text, int min, int max, int *out)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < min || value > max || text.startsWith(QLatin1Char('+')))
        return false;
    *out = value;
    return true;
}

QString readBroker(const QString &text, MqttClient::Options *broker)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? text : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty() || (colon >= 0 && !readNumber(text.mid(colon + 1), 1, 65535, &broker->port)))
        return QStringLiteral("--broker %1: give HOST:PORT, for example 127.0.0.1:1883").arg(quoted(text));
    broker->host = host;
    return QString();
}

QString readStation(const QString &text, QString *station)
{
    int number = 0;
    if (!readNumber(text, 0, 255, &number))
        return QStringLiteral("station %1 is not a number from 0 to 255").arg(quoted(text));
    *station = QString::number(number);
    return QString();
}

QString readGap(const QString &text, ReadPlan::Settings *plan)
{
    if (!readNumber(text, 0, maxGapLimit, &plan->maxGap))
        return QStringLiteral("max gap %1 is not a number from 0 to %2").arg(quoted(text)).arg(maxGapLimit);
    return QString();
}

QString readTags(EdgeLinkConfig *link)
{
    return TagFile::read(link->tagFile, &link->tags);
}

// The plant's file, INI as QSettings reads it: [broker], [node] and one
// [link.NAME] section a link.
QString readConfigFile(const QString &path, EdgeConfig *config)
{
    if (!QFileInfo(path).isReadable())
        return QStringLiteral("%1: cannot read the configuration file").arg(path);
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return QStringLiteral("%1: not a configuration file QSettings can read (INI)").arg(path);
    const auto where = [&path](const QString &key) { return QStringLiteral("%1: %2").arg(path, key); };

    MqttClient::Options &broker = config->broker;
    broker.host = file.value(QStringLiteral("broker/host"), broker.host).toString();
    if (file.contains(QStringLiteral("broker/port"))
        && !readNumber(file.value(QStringLiteral("broker/port")).toString(), 1, 65535, &broker.port))
        return where(QStringLiteral("broker/port is not a port number"));
    broker.caFile = file.value(QStringLiteral("broker/ca")).toString();
    broker.certFile = file.value(QStringLiteral("broker/cert")).toString();
    broker.keyFile = file.value(QStringLiteral("broker/key")).toString();
    broker.user = file.value(QStringLiteral("broker/user")).toString();
    const QString passwordFile = file.value(QStringLiteral("broker/password_file")).toString();
    if (!passwordFile.isEmpty()) {
        QFile password(passwordFile);
        if (!password.open(QIODevice::ReadOnly))
            return where(QStringLiteral("broker/password_file %1 cannot be read").arg(passwordFile));
        broker.password = QString::fromUtf8(password.readAll()).trimmed();
    }
    for (const QString &tlsFile : {broker.caFile, broker.certFile, broker.keyFile}) {
        if (!tlsFile.isEmpty() && !QFileInfo(tlsFile).isReadable())
            return where(QStringLiteral("%1 cannot be read").arg(tlsFile));
    }
    if (!broker.certFile.isEmpty() && broker.caFile.isEmpty())
        return where(QStringLiteral("broker/cert needs broker/ca: the client certificate goes with TLS"));

    config->node = file.value(QStringLiteral("node/name"), config->node).toString();
    config->sparkplugGroup = file.value(QStringLiteral("node/sparkplug")).toString();
    config->primaryHost = file.value(QStringLiteral("node/primary_host")).toString();
    config->stateDir = file.value(QStringLiteral("node/state")).toString();
    config->pluginPath = file.value(QStringLiteral("node/plugin")).toString();
    ReadPlan::Settings plan;
    plan.merge = file.value(QStringLiteral("node/merge"), true).toBool();
    QString error;
    if (file.contains(QStringLiteral("node/max_gap")))
        error = readGap(file.value(QStringLiteral("node/max_gap")).toString(), &plan);
    if (!error.isEmpty())
        return where(error);

    for (const QString &group : file.childGroups()) {
        if (!group.startsWith(QLatin1String("link.")))
            continue;
        file.beginGroup(group);
        EdgeLinkConfig link;
        link.name = group.mid(5);
        // QSettings reads an unquoted serial line's commas as a list.
        const QVariant connection = file.value(QStringLiteral("connection"));
        link.connection = connection.type() == QVariant::StringList
                              ? connection.toStringList().join(QLatin1Char(','))
                              : connection.toString();
        link.tagFile = file.value(QStringLiteral("tags")).toString();
        link.plan = plan;
        link.plan.merge = file.value(QStringLiteral("merge"), plan.merge).toBool();
        if (!isTopicLevel(link.name))
            error = QStringLiteral("[%1]: the link's name is a topic level: no /, + or #").arg(group);
        else if (link.connection.isEmpty() || link.tagFile.isEmpty())
            error = QStringLiteral("[%1] needs connection= and tags=").arg(group);
        if (error.isEmpty() && file.contains(QStringLiteral("station")))
            error = readStation(file.value(QStringLiteral("station")).toString(), &link.station);
        if (error.isEmpty() && file.contains(QStringLiteral("max_gap")))
            error = readGap(file.value(QStringLiteral("max_gap")).toString(), &link.plan);
        file.endGroup();
        if (!error.isEmpty())
            return where(error);
        config->links.append(link);
    }
    if (config->links.isEmpty())
        return where(QStringLiteral("no [link.NAME] section: nothing to read"));
    return QString();
}

} // namespace

QString reloadTags(EdgeConfig *config)
{
    QList<EdgeLinkConfig> links = config->links;
    // A tag's name is its topic under the node: one tag a name, whatever its link.
    QHash<QString, QString> linkOfTag;
    for (EdgeLinkConfig &link : links) {
        const QString error = readTags(&link);
        if (!error.isEmpty())
            return error;
        for (const TagFile::Tag &tag : qAsConst(link.tags)) {
            if (linkOfTag.contains(tag.name)) {
                return QStringLiteral("%1: tag %2 is also a tag of link %3: a name is one topic of the node")
                    .arg(link.tagFile, quoted(tag.name), linkOfTag.value(tag.name));
            }
            linkOfTag.insert(tag.name, link.name);
        }
    }
    config->links = links;
    return QString();
}

ParsedEdgeConfig parseEdgeArguments(const QStringList &arguments)
{
    ParsedEdgeConfig parsed;
    EdgeConfig &config = parsed.config;
    QString &error = parsed.error;
    QCommandLineParser parser;
    const CommandLine::Error wrong = CommandLine::parse(options, arguments, &parser);
    error = CommandLine::describe(wrong, QStringLiteral("norvo-edge"));
    if (!error.isEmpty())
        return parsed;
    const auto given = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    config.help = given("help");
    if (config.help)
        return parsed;
    config.node = QHostInfo::localHostName();
    const QStringList words = parser.positionalArguments();

    if (given("config")) {
        for (const char *alone : {"broker", "station", "max-gap", "no-merge", "device"}) {
            if (given(alone))
                error = QStringLiteral("--%1 goes in the configuration file with --config").arg(QLatin1String(alone));
        }
        if (error.isEmpty() && !words.isEmpty())
            error = QStringLiteral("--config takes the links from the file, not %1").arg(quoted(words.first()));
        if (error.isEmpty())
            error = readConfigFile(value("config"), &config);
    } else {
        EdgeLinkConfig link;
        link.name = given("device") ? value("device") : QStringLiteral("plc");
        link.plan.merge = !given("no-merge");
        if (!given("broker"))
            error = QStringLiteral("give --broker HOST:PORT, or --config FILE (see norvo-edge --help)");
        else if (words.size() != 2)
            error = QStringLiteral("give CONNECTION and TAGFILE after the options (see norvo-edge --help)");
        if (error.isEmpty())
            error = readBroker(value("broker"), &config.broker);
        if (error.isEmpty() && given("station"))
            error = readStation(value("station"), &link.station);
        if (error.isEmpty() && given("max-gap"))
            error = readGap(value("max-gap"), &link.plan);
        if (error.isEmpty()) {
            link.connection = words.at(0);
            link.tagFile = words.at(1);
            config.links.append(link);
        }
    }
    // The command line wins over the file for what both can say.
    if (error.isEmpty() && given("node"))
        config.node = value("node");
    if (error.isEmpty() && given("state"))
        config.stateDir = value("state");
    if (error.isEmpty() && given("plugin"))
        config.pluginPath = value("plugin");
    if (error.isEmpty() && given("sparkplug"))
        config.sparkplugGroup = value("sparkplug");
    if (error.isEmpty() && given("primary-host"))
        config.primaryHost = value("primary-host");
    if (error.isEmpty() && !config.sparkplugGroup.isEmpty() && !isTopicLevel(config.sparkplugGroup))
        error = QStringLiteral("group %1 is not a topic level: no /, + or #").arg(quoted(config.sparkplugGroup));
    if (error.isEmpty() && !config.primaryHost.isEmpty() && config.sparkplugGroup.isEmpty())
        error = QStringLiteral("--primary-host goes with --sparkplug");
    for (int i = 0; error.isEmpty() && i < config.links.size(); ++i) {
        if (!isTopicLevel(config.links.at(i).name))
            error = QStringLiteral("device %1 is not a topic level: no /, + or #").arg(quoted(config.links.at(i).name));
    }
    if (error.isEmpty() && !isTopicLevel(config.node))
        error = QStringLiteral("node %1 is not a topic level: no /, + or #").arg(quoted(config.node));
    if (error.isEmpty())
        error = reloadTags(&config);
    config.broker.clientId = QStringLiteral("norvo-edge-") + config.node;
    if (config.sparkplugGroup.isEmpty()) {
        config.broker.willTopic = QStringLiteral("norvo/%1/status").arg(config.node);
        config.broker.willPayload = "offline";
    }
    return parsed;
}

QString edgeHelpText()
{
    return QStringLiteral(
        "usage: norvo-edge --broker HOST:PORT [--node NAME] [--state DIR] [--station N]\n"
        "                  [--no-merge] [--max-gap N] [--plugin PATH]\n"
        "                  [--sparkplug GROUP [--device NAME] [--primary-host ID]]\n"
        "                  CONNECTION TAGFILE\n"
        "       norvo-edge --config FILE [--node NAME] [--state DIR] [--plugin PATH]\n"
        "                  [--sparkplug GROUP [--primary-host ID]]\n"
        "\n"
        "Reads a PLC's labels through the libnorvo plug-in, as a panel does, and\n"
        "publishes them to an MQTT broker: norvo/NODE/TAG, JSON, retained, on change.\n"
        "Writable tags take writes on norvo/NODE/TAG/set; the outcome goes to\n"
        "norvo/NODE/TAG/set/result. norvo/NODE/status is online, or offline (the will).\n"
        "\n"
        "  --broker HOST:PORT the MQTT broker (port 1883 when left out)\n"
        "  --node NAME       the node's topic level (default: the host name)\n"
        "  --state DIR       keep samples not yet delivered in DIR, across restarts\n"
        "  --station N       the PLC's station, 0 to 255 (default: the driver's, 1)\n"
        "  --no-merge        a request for each tag (by default neighbouring labels\n"
        "                    share one read)\n"
        "  --max-gap N       units read for nothing between two labels of a read (default 4)\n"
        "  --plugin PATH     the plug-in to load (default: beside norvo-edge, then the system's)\n"
        "  --config FILE     the broker, the node and every link from an INI file\n"
        "  --sparkplug GROUP speak Sparkplug B in GROUP: the node is the edge node, each\n"
        "                    link a device\n"
        "  --device NAME     Sparkplug: the one link's device name (default plc)\n"
        "  --primary-host ID Sparkplug: publish only while that host's STATE is online\n"
        "  -h, --help        this help\n"
        "\n"
        "CONNECTION as norvo takes it: ADDRESS:PORT, or PORT,BAUD,DATABITS,STOPBITS,PARITY;\n"
        "TAGFILE: CSV with the header name,label,type,count,period_ms,deadband,writable.\n"
        "SIGHUP reads the tag files again; SIGTERM and SIGINT stop.\n"
        "\n"
        "exit status: 0 when stopped by a signal; 2 for a bad command line,\n"
        "configuration or tag file; 3 when the plug-in could not be loaded; 1 otherwise.\n");
}
