#include "simptychannel.h"

#include <QtCore/QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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
    if (!bytes.isEmpty())
        emit received(bytes);
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
