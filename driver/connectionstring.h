// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CONNECTIONSTRING_H
#define CONNECTIONSTRING_H

#include <QtCore/QString>

// What the host's connection string asks for:
//   serial  "port,baud,dataBits,stopBits,parity"   e.g. "ttyS1,9600,7,1,E"
//   TCP     "host:port"                            e.g. "192.168.1.5:500"
// A "," makes it serial; otherwise a ":" or ";" makes it TCP; anything else
// is not a connection string. Options may follow a ";", as key=value
// separated by ";":
//   timeout=MS   the longest wait for an answer's first bytes, 50 to 10000
//                (unset, each link learns its line, from 300 ms)
// e.g. "192.168.1.5:500;timeout=1000", "/dev/ttyS1,9600,8,1,N;timeout=1000".
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

    int answerWaitMs = 0; // 0: not set
    QString badOption;    // the first option refused, if any

    // Enough to open the link: a serial port name with non-zero baud rate,
    // data bits and stop bits, or a host text with a port in 1..65535; and
    // every option known, with a value in its range.
    bool isComplete() const;

    static ConnectionString parse(const QString &text);
};

#endif // CONNECTIONSTRING_H
