// SPDX-License-Identifier: LGPL-2.1-or-later
#include "bench.h"

#include "CDriveBaseClass.h"
#include "PluginLoader.h"

#include <QtCore/QDateTime>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>

#include <cmath>
#include <csignal>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

SimProcess::~SimProcess()
{
    terminate();
    if (state() != NotRunning && !waitForFinished(5000))
        kill();
    waitForFinished(5000);
}

QString SimProcess::start(const QStringList &arguments)
{
    setProcessChannelMode(ForwardedErrorChannel);
    QProcess::start(program, arguments);
    const QDeadlineTimer deadline(10000);
    while (waitForStarted(10000) && !canReadLine() && waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        continue;
    const QString line = QString::fromUtf8(readLine()).trimmed(); // "tcp 127.0.0.1:PORT" or "pty /dev/pts/N"
    closeReadChannel(StandardOutput);
    if (line.startsWith(QLatin1String("tcp ")))
        connection = line.mid(4);
    else if (line.startsWith(QLatin1String("pty ")))
        connection = line.mid(4) + QStringLiteral(",115200,8,1,N");
    else
        return QStringLiteral("%1 %2 did not report its link (got \"%3\"; %4)")
            .arg(program, arguments.join(QLatin1Char(' ')), line, errorString());
    return QString();
}

// Runs in the child between fork and exec.
void SimProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != pid_t(parentPid)) // the parent died before the request above
        ::_exit(1);
}

HostDriver createDriver(const PluginLoader &plugin)
{
    return HostDriver(plugin.createDriver(), [](CDriveBaseClass *driver) {
        driver->DisConnectDrive();
        driver->DestroyFree();
        PluginLoader::destroyDriver(driver);
    });
}

QString connectDriver(CDriveBaseClass *driver, const QString &connection, int station)
{
    if (!driver || driver->SetConnectPar(QString::number(station)) != station)
        return QStringLiteral("no driver, or station %1 refused").arg(station);
    const int result = driver->ConnectDrive(connection);
    return result == 0 ? QString() : QStringLiteral("ConnectDrive(\"%1\") gave %2").arg(connection).arg(result);
}

QString connectDriver(CDriveBaseClass *driver, SimProcess *sim, QStringList simArguments, int station)
{
    const QString error = sim->start(simArguments << QStringLiteral("--station") << QString::number(station));
    return error.isEmpty() ? connectDriver(driver, sim->connectionString(), station) : error;
}

namespace {

// Times `count` calls of `exchange` (given its number, returning its status).
ExchangeRun timeExchanges(int count, const std::function<int(int)> &exchange)
{
    ExchangeRun run;
    std::vector<double> latencies;
    QElapsedTimer wall, one;
    // The scheduler's own count of the process's CPU, exact also over short
    // blocks (getrusage() samples it).
    timespec cpu[2];
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu[0]);
    wall.start();
    for (int i = 0; i < count; ++i) {
        one.start();
        const int status = exchange(i);
        latencies.push_back(double(one.nsecsElapsed()) / 1e6);
        run.failures += status != 0;
    }
    run.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu[1]);
    run.cpuSeconds = double(cpu[1].tv_sec - cpu[0].tv_sec) + double(cpu[1].tv_nsec - cpu[0].tv_nsec) / 1e9;
    run.exchanges = count;
    std::sort(latencies.begin(), latencies.end());
    // Nearest rank: the smallest latency with `percent` of them at or below it.
    const auto rank = [&](double percent) { return latencies[std::size_t(std::ceil(percent * count / 100)) - 1]; };
    if (count > 0) {
        run.p50 = rank(50);
        run.p99 = rank(99);
        run.max = latencies.back();
    }
    return run;
}

bool plainExchange(int fd, bool stamped)
{
    // 0x02, station "01", command "46", "10" registers from "D0100", checksum "63", 0x03.
    static const char request[] = "\x02" "014610D00100" "63" "\x03";
    char answer[2048];
    std::size_t size = 0;
    // Takes what has arrived, without waiting; false when the peer closed or
    // the answer outgrew the buffer.
    const auto take = [&] {
        const ssize_t got = ::recv(fd, answer + size, sizeof answer - size, MSG_DONTWAIT);
        size += std::size_t(qMax<ssize_t>(0, got));
        return got != 0 && size < sizeof answer;
    };
    // Data characters are hex digits: the end byte only ends a frame.
    const auto whole = [&] { return size > 0 && answer[size - 1] == '\x03'; };

    pollfd readable{fd, POLLIN, 0};
    if (::write(fd, request, sizeof request - 1) != ssize_t(sizeof request - 1) || ::poll(&readable, 1, 300) != 1
        || !take())
        return false;
    ::poll(nullptr, 0, int(exchangeFloorMs));
    for (int lookedMs = 0;; lookedMs += 10) {
        if (!whole() && !take())
            return false;
        if (whole() || lookedMs >= 50) {
            if (stamped) {
                // What every good read hands the host besides its values.
                static QDateTime stamp;
                stamp = QDateTime::currentDateTime();
            }
            return whole();
        }
        ::poll(nullptr, 0, 10);
    }
}

} // namespace

ExchangeRun runExchanges(const QList<CDriveBaseClass *> &drivers, bool write, int registers, int count)
{
    QList<unsigned short> values;
    for (int i = 0; i < registers; ++i)
        values.append(static_cast<unsigned short>(0x1234 + i * 0x0101));
    CLabelVariable record;
    record.value = QVariant::fromValue(values);
    return timeExchanges(drivers.isEmpty() ? 0 : count, [&](int i) {
        CDriveBaseClass *driver = drivers.at(i % drivers.size());
        return write ? driver->WriteVariable(QStringLiteral("D100"), DT_UInt16, record, registers).status
                     : driver->ReadVariable(QStringLiteral("D100"), DT_UInt16, registers).status;
    });
}

std::function<ExchangeRun(int)> plainSocketLoop(const QString &tcpConnection, bool stamped)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // where the simulators listen
    address.sin_port = htons(quint16(tcpConnection.section(QLatin1Char(':'), -1).toUInt()));
    const auto fd = std::shared_ptr<int>(new int(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), [](int *fd) {
        if (*fd >= 0)
            ::close(*fd);
        delete fd;
    });
    const int on = 1;
    if (*fd < 0 || ::setsockopt(*fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0
        || ::connect(*fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return {};
    return [fd, stamped](int count) {
        return timeExchanges(count, [&](int) { return plainExchange(*fd, stamped) ? 0 : -1; });
    };
}
