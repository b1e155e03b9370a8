#ifndef NORVO_BENCH_SIMPROCESS_H
#define NORVO_BENCH_SIMPROCESS_H

#include <QtCore/QCoreApplication>
#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>

// A norvo-sim child process playing the PLC, in its own process so that the
// benchmark's CPU and memory figures are the host's alone. Stopped (SIGTERM,
// then SIGKILL) when the object goes, and by the system when the benchmark
// itself dies.
class SimProcess
{
public:
    explicit SimProcess(QString program);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts norvo-sim with `arguments` ("--tcp 127.0.0.1:0", "--pty",
    // "--station 3", "--delay 20", ...) and waits for the line telling where
    // it serves. False with errorString() when it does not come up.
    bool start(const QStringList &arguments);
    void stop();

    QString errorString() const { return error; }
    qint64 pid() const;

    // The driver's connection string for the link the simulator serves:
    // "127.0.0.1:PORT", or "/dev/pts/N,BAUD,8,1,N" for a pty.
    QString connectionString(int baudRate = 115200) const;

    // The connection string for norvo-sim's first output line; empty when
    // the line names no link.
    static QString connectionStringFor(const QString &line, int baudRate);

private:
    // Asks the system to end the child when its parent ends.
    class Child : public QProcess
    {
    protected:
        void setupChildProcess() override;

    private:
        const qint64 parentPid = QCoreApplication::applicationPid();
    };

    QString program;
    Child process;
    QString listening;
    QString error;
};

#endif
