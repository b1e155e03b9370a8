// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CONNECTIONSTRING_H
#define CONNECTIONSTRING_H

#include <QtCore/QString>

// What the host's connection string asks for:
//   serial  "port,baud,dataBits,stopBits,parity"   e.g. "ttyS1,9600,7,1,E"
//   TCP     "host:port"                            e.g. "192.168.1.5:500"
// A "," makes it serial; otherwise a ":" or ";" makes it TCP; anything else
// is not a connection string.
struct ConnectionString
{
    enum Kind { Unrecognised, Serial, Tcp };

    Kind kind = Unrecognised;

    QString portName;
    int baudRate = 0;
    int dataBits = 0;
    int stopBits = 0;
    QString parity;

    QString host;
    int port = 0;

    // Enough to open the link: a serial port name with non-zero baud rate,
    // data bits and stop bits, or a host text with a port in 1..65535.
    bool isComplete() const;

    static ConnectionString parse(const QString &text);
};

#endif // CONNECTIONSTRING_H
