// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_EDGECONFIG_H
#define NORVO_EDGE_EDGECONFIG_H

#include "MqttClient.h"
#include "ReadPlan.h"
#include "tagfile.h"

#include <QtCore/QList>
#include <QtCore/QString>

// What norvo-edge runs: a broker, a node, and its PLC links. From the
// command line for one link while commissioning, or from a configuration
// file for a plant.
struct EdgeLinkConfig
{
    QString name;       // its topic level under links/
    QString connection; // as the driver takes it
    QString station;    // empty: the driver's default
    QString tagFile;
    ReadPlan::Settings plan;
    QList<TagFile::Tag> tags;
};

struct EdgeConfig
{
    MqttClient::Options broker;
    QString node;
    QString stateDir;   // empty: the buffer lives in memory only
    QString pluginPath; // empty: the one beside the tool, then the system's
    QList<EdgeLinkConfig> links;
    QString sparkplugGroup; // empty: JSON topics; else Sparkplug B in this group
    QString primaryHost;    // Sparkplug: publish only while this host is online
    bool help = false;
};

struct ParsedEdgeConfig
{
    EdgeConfig config;
    QString error; // empty when usable
};

// The command line (without the program name): "--broker HOST:PORT [...]
// CONNECTION TAGFILE", or "--config FILE". The tag files are read too.
ParsedEdgeConfig parseEdgeArguments(const QStringList &arguments);

// Reads the tag files of every link again (SIGHUP); the config is unchanged
// when one is refused.
QString reloadTags(EdgeConfig *config);

QString edgeHelpText();

#endif
