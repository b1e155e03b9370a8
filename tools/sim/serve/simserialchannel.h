// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSERIALCHANNEL_H
#define SIMSERIALCHANNEL_H

#include "simchannel.h"

#include <QtCore/QString>

class QSerialPort;

// A real serial line: "DEVICE,BAUD,BITS,STOP,PARITY", for example
// "/dev/ttyUSB0,9600,7,1,E". Parity is N, E or O (or none, even, odd).
struct SimSerialSettings {
    QString device;
    int baudRate = 9600;
    int dataBits = 8;
    int stopBits = 1;
    char parity = 'N';

    // Parses the text; false with `error` set when any field is not usable.
    static bool parse(const QString &text, SimSerialSettings *settings, QString *error);
};

class SimSerialChannel : public SimChannel
{
    Q_OBJECT
public:
    // The opened port, or nullptr with `error` set.
    static SimSerialChannel *open(const SimSerialSettings &settings, QString *error,
                                  QObject *parent = nullptr);

    void send(const QByteArray &bytes) override;
    void close() override {}
    bool canClose() const override { return false; }

private:
    SimSerialChannel(QSerialPort *port, QObject *parent);

    QSerialPort *port;
};

#endif
