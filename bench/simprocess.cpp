#include "simprocess.h"

#include <QtCore/QDeadlineTimer>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

} // namespace

// Runs in the child between fork and exec.
void SimProcess::Child::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A parent that died before the request above sends nothing: check.
    if (::getppid() != pid_t(parentPid))
        ::_exit(1);
}

SimProcess::SimProcess(QString program)
    : program(std::move(program))
{
    // Only the first line matters; the memory dump at the end goes nowhere.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments)
{
    stop();
    process.start(program, arguments);
    if (!process.waitForStarted(startTimeoutMs)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!process.canReadLine() && !deadline.hasExpired()) {
        if (!process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    listening = QString::fromUtf8(process.readLine()).trimmed();
    if (connectionStringFor(listening, 9600).isEmpty()) {
        error = QStringLiteral("%1 %2 did not report its link (got \"%3\")")
                    .arg(program, arguments.join(QLatin1Char(' ')), listening);
        stop();
        return false;
    }
    process.closeReadChannel(QProcess::StandardOutput);
    return true;
}

void SimProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(stopTimeoutMs)) {
        process.kill();
        process.waitForFinished(stopTimeoutMs);
    }
    listening.clear();
}

qint64 SimProcess::pid() const
{
    return process.processId();
}

QString SimProcess::connectionString(int baudRate) const
{
    return connectionStringFor(listening, baudRate);
}

QString SimProcess::connectionStringFor(const QString &line, int baudRate)
{
    const QString tcp = QStringLiteral("tcp ");
    const QString pty = QStringLiteral("pty ");
    if (line.startsWith(tcp) && line.size() > tcp.size())
        return line.mid(tcp.size());
    if (line.startsWith(pty) && line.size() > pty.size())
        return QStringLiteral("%1,%2,8,1,N").arg(line.mid(pty.size())).arg(baudRate);
    return QString();
}
