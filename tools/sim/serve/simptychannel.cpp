// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simptychannel.h"

#include <QtCore/QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct BaudRate {
    int rate;
    speed_t speed;
};

const BaudRate baudRates[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
};

} // namespace

SimPtyChannel *SimPtyChannel::open(QString *error, QObject *parent)
{
    struct termios raw;
    std::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("cannot create a pty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return new SimPtyChannel(master, slave, QString::fromLocal8Bit(name), parent);
}

SimPtyChannel::SimPtyChannel(int master, int slave, const QString &path, QObject *parent)
    : SimChannel(parent), master(master), slave(slave), path(path),
      notifier(new QSocketNotifier(master, QSocketNotifier::Read, this))
{
    connect(notifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
}

SimPtyChannel::~SimPtyChannel()
{
    notifier->setEnabled(false);
    ::close(master);
    ::close(slave);
}

bool SimPtyChannel::lineSettings(termios *settings) const
{
    return ::tcgetattr(slave, settings) == 0;
}

void SimPtyChannel::expectSettings(const SimSerialSettings &settings)
{
    expected = settings;
    checkSettings = true;
}

bool SimPtyChannel::settingsMatch() const
{
    struct termios line;
    if (::tcgetattr(slave, &line) != 0)
        return false;
    bool baudMatches = false;
    for (const BaudRate &baud : baudRates) {
        if (baud.rate == expected.baudRate)
            baudMatches = cfgetospeed(&line) == baud.speed && cfgetispeed(&line) == baud.speed;
    }
    const bool stopMatches = bool(line.c_cflag & CSTOPB) == (expected.stopBits == 2);
    // Linux keeps a pty at 8 data bits without parity whatever a driver
    // asks for; only a line that shows other settings can be told apart.
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    char parity = 'N';
    if (line.c_cflag & PARENB)
        parity = (line.c_cflag & PARODD) ? 'O' : 'E';
    const bool forced = (line.c_cflag & CSIZE) == CS8 && parity == 'N';
    const bool framingMatches = forced
            || ((line.c_cflag & CSIZE) == sizes[qBound(5, expected.dataBits, 8) - 5] && parity == expected.parity);
    return baudMatches && stopMatches && framingMatches;
}

QString SimPtyChannel::lineSettingsText() const
{
    struct termios line;
    if (::tcgetattr(slave, &line) != 0)
        return QStringLiteral("?");
    QString baud = QStringLiteral("?");
    for (const BaudRate &rate : baudRates) {
        if (cfgetospeed(&line) == rate.speed)
            baud = QString::number(rate.rate);
    }
    const int bits = (line.c_cflag & CSIZE) == CS5 ? 5 : (line.c_cflag & CSIZE) == CS6 ? 6
                   : (line.c_cflag & CSIZE) == CS7 ? 7 : 8;
    const char parity = !(line.c_cflag & PARENB) ? 'N' : (line.c_cflag & PARODD) ? 'O' : 'E';
    return QStringLiteral("%1,%2,%3,%4").arg(baud).arg(bits).arg(line.c_cflag & CSTOPB ? 2 : 1).arg(QLatin1Char(parity));
}

void SimPtyChannel::readMaster()
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, int(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The line is gone; stop watching it rather than spin.
            notifier->setEnabled(false);
        }
        break;
    }
    if (bytes.isEmpty())
        return;
    if (!checkSettings || settingsMatch()) {
        emit received(bytes);
    } else {
        emit ignoredBytes(lineSettingsText(), QStringLiteral("%1,%2,%3,%4").arg(expected.baudRate).arg(expected.dataBits)
                          .arg(expected.stopBits).arg(QLatin1Char(expected.parity)));
    }
}

void SimPtyChannel::send(const QByteArray &bytes)
{
    // The pty buffers several kilobytes; what does not fit while nobody
    // reads the line is lost, as on a serial line without a listener.
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (put > 0)
            done += int(put);
        else if (put < 0 && errno == EINTR)
            continue;
        else
            break;
    }
}
