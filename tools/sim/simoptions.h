// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "simfaults.h"
#include "simserialchannel.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtNetwork/QHostAddress>

// The command line of norvo-sim.
struct SimOptions {
    enum Link { Tcp, Pty, Serial };
    Link link = Tcp;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
    bool gateway = false;     // --gateway: TCP behind a serial-to-Ethernet gateway
    SimSerialSettings serial;
    int station = 1;          // the first of `stations`
    QList<int> stations{1};   // the PLCs on the line
    QString loadFile;
    QString dumpFile;         // empty: the dump goes to stdout
    SimFaults faults;

    bool ptySettingsGiven = false;   // --pty BAUD,BITS,STOP,PARITY
    SimSerialSettings ptySettings;
    QString ptyLink;                 // --pty-link PATH; empty: none
    bool http = false;               // --http HOST:PORT
    QHostAddress httpAddress = QHostAddress(QHostAddress::LocalHost);
    quint16 httpPort = 0;
    bool log = false;                // --log: each request on stderr
    QString pcapFile;                // --pcap FILE; empty: no capture
};

struct SimOptionsResult {
    SimOptions options;
    bool help = false;
    QString error;            // set when the command line is refused
};

// `arguments` as main() gets them, program name first.
SimOptionsResult parseSimOptions(const QStringList &arguments);

QString simHelpText();

#endif
