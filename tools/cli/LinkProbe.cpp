// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkProbe.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QStringList>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A lock file another program holds for the device, as serial libraries
// leave them: LCK..NAME holding the holder's process id, NAME the path
// below /dev with '/' as '_' (LCK..ttyUSB0, LCK..pts_3).
bool lockedByOther(const QString &path)
{
    QString name = QFileInfo(path).absoluteFilePath();
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &dir : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"),
                               QStringLiteral("/tmp")}) {
        QFile lock(dir + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 pid = QString::fromLatin1(lock.readAll()).simplified().section(
            QLatin1Char(' '), 0, 0).toLongLong(&ok);
        if (ok && pid > 0 && pid != getpid() && (::kill(pid_t(pid), 0) == 0 || errno == EPERM))
            return true;
    }
    return false;
}

} // namespace

namespace LinkProbe {

QString tcpProblem(const QString &address, int port, int timeoutMs)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(quint16(port));
    if (inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
        return QStringLiteral("%1 is not a numeric IPv4 address").arg(address);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QStringLiteral("no socket: %1").arg(systemText(errno));
    QString problem;
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd waiting{fd, POLLOUT, 0};
            const int ready = ::poll(&waiting, 1, timeoutMs);
            socklen_t length = sizeof error;
            if (ready == 0)
                error = ETIMEDOUT;
            else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    ::close(fd);
    if (error == ECONNREFUSED)
        problem = QStringLiteral("connection refused: nothing listens on port %1 of %2").arg(port).arg(address);
    else if (error == ETIMEDOUT)
        problem = QStringLiteral("no answer from %1 within %2 ms (no such host, or a firewall drops the request)")
                      .arg(address).arg(timeoutMs);
    else if (error != 0)
        problem = systemText(error);
    return problem;
}

QString serialProblem(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status{};
    if (::stat(name.constData(), &status) != 0) {
        if (errno == ENOENT)
            return QStringLiteral("%1 does not exist (device missing or unplugged)").arg(path);
        return QStringLiteral("%1: %2").arg(path, systemText(errno));
    }
    if (!S_ISCHR(status.st_mode))
        return QStringLiteral("%1 is not a terminal device").arg(path);
    if (lockedByOther(path))
        return QStringLiteral("%1 is busy: another program holds its lock").arg(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)
            return QStringLiteral("%1 is busy: another program has it open exclusively").arg(path);
        if (error == EACCES || error == EPERM)
            return QStringLiteral("%1: no permission to open it (group dialout?)").arg(path);
        return QStringLiteral("%1: %2").arg(path, systemText(error));
    }
    const bool terminal = ::isatty(fd);
    ::close(fd);
    if (!terminal)
        return QStringLiteral("%1 is not a terminal device").arg(path);
    return QString();
}

QString problem(const QString &connection)
{
    if (connection.contains(QLatin1Char(',')))
        return serialProblem(connection.section(QLatin1Char(','), 0, 0));
    const int colon = connection.lastIndexOf(QLatin1Char(':'));
    return tcpProblem(connection.left(colon), connection.mid(colon + 1).toInt(), 1000);
}

bool isPseudoTerminal(const QString &path)
{
    struct stat device {};
    if (::stat(QFile::encodeName(path).constData(), &device) != 0 || !S_ISCHR(device.st_mode))
        return false;
    // Linux numbers the pseudo-terminals' far ends 136 to 143.
    const unsigned int majorNumber = major(device.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
}

} // namespace LinkProbe
