// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMPTYCHANNEL_H
#define SIMPTYCHANNEL_H

#include "simchannel.h"
#include "simserialchannel.h"

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

    // From now on the bytes received count only while the line's settings
    // are these (the device is not looked at): a PLC set to other settings
    // cannot read the driver's bytes and stays silent. The settings are read
    // with tcgetattr() on the slave side, where the driver sets them, each
    // time bytes arrive. Linux keeps only the baud rate and stop bits of a
    // pty and always shows 8 data bits without parity; those two are then
    // taken as matching.
    void expectSettings(const SimSerialSettings &settings);
    bool settingsMatch() const;
    // The line's settings as the slave side shows them: "9600,8,1,N".
    QString lineSettingsText() const;

    void send(const QByteArray &bytes) override;
    void close() override {}
    bool canClose() const override { return false; }

signals:
    // Bytes arrived while the line's settings were not the expected ones.
    void ignoredBytes(const QString &lineSettings, const QString &expectedSettings);

private:
    SimPtyChannel(int master, int slave, const QString &path, QObject *parent);
    void readMaster();

    int master;
    int slave;
    QString path;
    QSocketNotifier *notifier;
    bool checkSettings = false;
    SimSerialSettings expected;
};

#endif
