// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simserialchannel.h"

#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

namespace {

bool readNumber(const QString &text, int lowest, int highest, int *value)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok || number < lowest || number > highest)
        return false;
    *value = number;
    return true;
}

} // namespace

bool SimSerialSettings::parse(const QString &text, SimSerialSettings *settings, QString *error)
{
    const QStringList fields = text.split(QLatin1Char(','));
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (fields.size() != 5)
        return fail(QStringLiteral("serial line \"%1\": expected DEVICE,BAUD,BITS,STOP,PARITY").arg(text));

    SimSerialSettings parsed;
    parsed.device = fields.at(0).trimmed();
    if (parsed.device.isEmpty())
        return fail(QStringLiteral("serial line \"%1\": no device").arg(text));
    if (!readNumber(fields.at(1), 1, 4000000, &parsed.baudRate))
        return fail(QStringLiteral("serial line \"%1\": bad baud rate \"%2\"").arg(text, fields.at(1)));
    if (!readNumber(fields.at(2), 5, 8, &parsed.dataBits))
        return fail(QStringLiteral("serial line \"%1\": data bits must be 5 to 8").arg(text));
    if (!readNumber(fields.at(3), 1, 2, &parsed.stopBits))
        return fail(QStringLiteral("serial line \"%1\": stop bits must be 1 or 2").arg(text));

    const QString parity = fields.at(4).trimmed().toUpper();
    if (parity == QLatin1String("N") || parity == QLatin1String("NONE"))
        parsed.parity = 'N';
    else if (parity == QLatin1String("E") || parity == QLatin1String("EVEN"))
        parsed.parity = 'E';
    else if (parity == QLatin1String("O") || parity == QLatin1String("ODD"))
        parsed.parity = 'O';
    else
        return fail(QStringLiteral("serial line \"%1\": parity must be N, E or O").arg(text));

    *settings = parsed;
    return true;
}

SimSerialChannel *SimSerialChannel::open(const SimSerialSettings &settings, QString *error,
                                         QObject *parent)
{
    auto *port = new QSerialPort(settings.device);
    const QSerialPort::Parity parity = settings.parity == 'E' ? QSerialPort::EvenParity
            : settings.parity == 'O' ? QSerialPort::OddParity
                                     : QSerialPort::NoParity;
    const bool opened = port->open(QIODevice::ReadWrite)
            && port->setBaudRate(settings.baudRate)
            && port->setDataBits(QSerialPort::DataBits(settings.dataBits))
            && port->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
            && port->setParity(parity)
            && port->setFlowControl(QSerialPort::NoFlowControl);
    if (!opened) {
        if (error)
            *error = QStringLiteral("cannot open serial line %1: %2").arg(settings.device, port->errorString());
        delete port;
        return nullptr;
    }
    return new SimSerialChannel(port, parent);
}

SimSerialChannel::SimSerialChannel(QSerialPort *port, QObject *parent)
    : SimChannel(parent), port(port)
{
    port->setParent(this);
    connect(port, &QSerialPort::readyRead, this, [this] { emit received(this->port->readAll()); });
}

void SimSerialChannel::send(const QByteArray &bytes)
{
    port->write(bytes);
}
