#ifndef SIMPTYCHANNEL_H
#define SIMPTYCHANNEL_H

#include "simchannel.h"

#include <QtCore/QString>

class QSocketNotifier;
struct termios;

// A pseudo-terminal pair: the simulator works the master side, the driver
// opens the slave path like a serial port.
//
// The simulator keeps the slave open too, so the master does not report a
// hang-up while no driver has the line open, and the line stays in raw mode
// (no echo, no line editing) until a driver sets its own modes.
class SimPtyChannel : public SimChannel
{
    Q_OBJECT
public:
    // A new pty pair, or nullptr with `error` set.
    static SimPtyChannel *open(QString *error, QObject *parent = nullptr);
    ~SimPtyChannel() override;

    QString slavePath() const { return path; }
    // The line settings a driver gave the line (they belong to the slave).
    bool lineSettings(termios *settings) const;

    void send(const QByteArray &bytes) override;
    void close() override {}
    bool canClose() const override { return false; }

private:
    SimPtyChannel(int master, int slave, const QString &path, QObject *parent);
    void readMaster();

    int master;
    int slave;
    QString path;
    QSocketNotifier *notifier;
};

#endif
