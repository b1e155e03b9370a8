// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSERVER_H
#define SIMSERVER_H

#include "simfaults.h"
#include "simlogentry.h"
#include "simmemory.h"
#include "simmemoryfile.h"
#include "simline.h"
#include "simserialchannel.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtNetwork/QHostAddress>

#include <functional>
#include <memory>

class SimScript;
struct termios;

// A simulated PLC serving one link from its own thread, so a driver that
// blocks its thread while it waits for an answer still gets one.
//
// Every function may be called from any thread. Memory, faults and the
// request log are shared with the serving thread under one lock; starting,
// stopping and closing connections are carried out in the serving thread
// and are done when the call returns.
//
//     SimServer plc;                       // station 1
//     plc.setValue(SimArea::D, 100, 0x1234);
//     plc.startTcp();                      // 127.0.0.1, a free port
//     ... driver connects to 127.0.0.1:plc.port() ...
//     SimFaults faults;
//     faults.drop = SimFaultRule::everyNth(3);
//     plc.setFaults(faults);
class SimServer
{
public:
    explicit SimServer(int station = 1);
    ~SimServer();
    SimServer(const SimServer &) = delete;
    SimServer &operator=(const SimServer &) = delete;

    // One link at a time; false with errorString() set when it cannot be
    // opened or a link is already open.
    bool startTcp(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    // TCP as a serial PLC behind a serial-to-Ethernet gateway (simgateway.h):
    // one request at a time across all connections, and an answer due on a
    // closed connection goes out on the newest one. Otherwise as startTcp().
    bool startGateway(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    bool startPty();
    // A pty that answers only while the driver's line settings on it (baud
    // rate, data bits, stop bits, parity) are `expected`; its device is unused.
    bool startPty(const SimSerialSettings &expected);
    bool startSerial(const SimSerialSettings &settings);
    void stop();

    bool isRunning() const;
    QString errorString() const;

    quint16 port() const;         // the TCP port listened on, 0 otherwise
    QString ptyPath() const;      // the path a driver opens, empty otherwise
    // "tcp 127.0.0.1:PORT", "pty /dev/pts/N" or "serial DEVICE"; empty when stopped.
    QString listeningOn() const;

    int station() const;
    void setStation(int station);

    // Setting faults restarts their count ("every Nth") and their random sequence.
    SimFaults faults() const;
    void setFaults(const SimFaults &faults);

    // Closes every open TCP connection now; the server keeps listening.
    void closeConnections();
    int connectionCount() const;

    bool bit(SimArea area, int n) const;
    void setBit(SimArea area, int n, bool on);
    quint16 value(SimArea area, int n) const;
    void setValue(SimArea area, int n, quint16 value);
    SimMemory memory() const;
    void setMemory(const SimMemory &memory);

    // Every request frame received, from its start byte to its end byte,
    // for any station (the oldest dropped beyond SimLine::maxLogged).
    QList<QByteArray> requestLog() const;
    void clearRequestLog();

    // Scripted mode (simscript.h): the script answers every request from
    // now on, and counts connections opened after the call. It must outlive
    // the serving; nullptr gives the link back to the PLC.
    void setScript(SimScript *script);
    // Sends bytes no request asked for on every open connection, after the
    // answers already waiting.
    void push(const QByteArray &bytes);
    // The line settings a driver gave the pty; false when no pty is served.
    bool ptyLineSettings(termios *settings) const;

    // Several PLCs on the one link, each with its own memory; the first is
    // station() and the one the functions above without a station serve.
    void setStations(const QList<int> &stations);
    QList<int> stations() const;

    // A station's memory, empty for a station not simulated.
    SimMemory memory(int station) const;
    bool setMemory(int station, const SimMemory &memory);
    // Runs `work` on a station's memory under the lock the serving thread
    // takes, so a check and a change are one step for the PLC; false when
    // the station is not simulated.
    bool readMemory(int station, const std::function<void(const SimMemory &)> &work) const;
    bool changeMemory(int station, const std::function<void(SimMemory *)> &work);

    // The requests received after `sequence`, oldest first (the oldest
    // dropped beyond SimLine::maxEntries).
    QList<SimLogEntry> requestEntries(qint64 sequence = 0) const;
    // The whole log after `sequence`: requests, changes and connections.
    QList<SimLogEntry> logEntries(qint64 sequence = 0) const;
    // Called after each entry is logged, outside the lock: in the serving
    // thread for requests, in the caller's for changes. Set it before a
    // link starts.
    void setRequestListener(std::function<void(const SimLogEntry &)> listener);
    // Logs a change made from outside the link.
    void logChange(const SimLogEntry &entry);

    // Typed values written for `origin` ("api", "page"): their type is
    // declared for dumps, the generators under them stop, and the change is
    // logged. `stored` gets the values as the memory holds them after.
    // False when the station is not simulated.
    bool writeValues(const QString &origin, int station, SimArea area, int element, SimType type,
                     const QVector<quint64> &values, QVector<quint64> *stored);

    // Generators (simgenerator.h), seeded from `seed` (--seed).
    void setGeneratorSeed(quint32 seed);
    bool addGenerator(const QString &origin, int station, SimArea area, int element, SimType type, bool typed,
                      const SimGeneratorRecipe &recipe);
    QList<SimGenerated> generators() const;
    // Stops the generators on a label, or every one with SimArea::None;
    // the number stopped.
    int stopGenerators(const QString &origin, int station, SimArea area, int element);

    // Replaces every station's memory and generators with a memory file's
    // (parsed against stations()), and logs it for `origin`.
    void load(const QString &origin, const QString &name, const QList<SimMemoryFile::Assignment> &assignments);
    // The memory of every station as a memory file that loads back with
    // the same meaning; lines carry their station when there are several.
    QString memoryFile() const;

    // Called in the serving thread with the bytes each connection (a TCP
    // connection, the pty or the serial line; numbered from 1) receives
    // (fromPlc false) and sends (true), as they come and go; set it before a
    // link starts.
    using Capture = std::function<void(int connection, bool fromPlc, const QByteArray &bytes)>;
    void setCapture(Capture capture);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif
