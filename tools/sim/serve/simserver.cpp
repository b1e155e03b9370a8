// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simserver.h"

#include "simserverworker.h"

#include <algorithm>

SimServer::SimServer(int station)
    : d(new Private(station))
{
    d->clock.start();
    d->worker = new SimServerWorker(&d->mutex, &d->line, &d->listener, &d->clock);
    d->thread.setObjectName(QStringLiteral("norvo-sim"));
    d->worker->moveToThread(&d->thread);
    d->thread.start();
}

SimServer::~SimServer()
{
    stop();
    d->inThread([&] { d->worker->stopTicking(); });
    d->thread.quit();
    d->thread.wait();
    delete d->worker;
}

bool SimServer::startTcp(const QHostAddress &address, quint16 port)
{
    return d->start([&] { return d->worker->startTcp(address, port, false); });
}

bool SimServer::startGateway(const QHostAddress &address, quint16 port)
{
    return d->start([&] { return d->worker->startTcp(address, port, true); });
}

bool SimServer::startPty()
{
    return d->start([&] { return d->worker->startPty(nullptr); });
}

bool SimServer::startPty(const SimSerialSettings &expected)
{
    return d->start([&] { return d->worker->startPty(&expected); });
}

bool SimServer::startSerial(const SimSerialSettings &settings)
{
    return d->start([&] { return d->worker->startSerial(settings); });
}

void SimServer::stop()
{
    d->inThread([&] { d->worker->stop(); });
}

bool SimServer::isRunning() const
{
    bool running = false;
    d->inThread([&] { running = d->worker->isRunning(); });
    return running;
}

QString SimServer::errorString() const
{
    return d->error;
}

quint16 SimServer::port() const
{
    quint16 port = 0;
    d->inThread([&] { port = d->worker->port(); });
    return port;
}

QString SimServer::ptyPath() const
{
    QString path;
    d->inThread([&] { path = d->worker->ptyPath; });
    return path;
}

QString SimServer::listeningOn() const
{
    QString text;
    d->inThread([&] { text = d->worker->listening; });
    return text;
}

void SimServer::closeConnections()
{
    d->inThread([&] { d->worker->closeConnections(); });
}

int SimServer::connectionCount() const
{
    int count = 0;
    d->inThread([&] { count = d->worker->tcpConnections(); });
    return count;
}

int SimServer::station() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.firstPlc().station();
}

void SimServer::setStation(int station)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.firstPlc().setStation(station);
}

SimFaults SimServer::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.faults();
}

void SimServer::setFaults(const SimFaults &faults)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.setFaults(faults);
}

bool SimServer::bit(SimArea area, int n) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.firstPlc().memory().bit(area, n);
}

void SimServer::setBit(SimArea area, int n, bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.firstPlc().memory().setBit(area, n, on);
}

quint16 SimServer::value(SimArea area, int n) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.firstPlc().memory().value(area, n);
}

void SimServer::setValue(SimArea area, int n, quint16 value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.firstPlc().memory().setValue(area, n, value);
}

SimMemory SimServer::memory() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.firstPlc().memory();
}

void SimServer::setMemory(const SimMemory &memory)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.firstPlc().memory() = memory;
}

QList<QByteArray> SimServer::requestLog() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.requestLog();
}

void SimServer::clearRequestLog()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.clearRequestLog();
}

void SimServer::setScript(SimScript *script)
{
    d->inThread([&] { d->worker->script = script; });
}

void SimServer::push(const QByteArray &bytes)
{
    d->inThread([&] { d->worker->push(bytes); });
}

bool SimServer::ptyLineSettings(termios *settings) const
{
    bool read = false;
    d->inThread([&] { read = d->worker->ptyLineSettings(settings); });
    return read;
}

void SimServer::setStations(const QList<int> &stations)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.setStations(stations);
}

QList<int> SimServer::stations() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.stations();
}

SimMemory SimServer::memory(int station) const
{
    SimMemory copy;
    readMemory(station, [&](const SimMemory &memory) { copy = memory; });
    return copy;
}

bool SimServer::setMemory(int station, const SimMemory &memory)
{
    return changeMemory(station, [&](SimMemory *target) { *target = memory; });
}

bool SimServer::readMemory(int station, const std::function<void(const SimMemory &)> &work) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const SimPlc *target = d->line.plcOf(station);
    if (target)
        work(target->memory());
    return target != nullptr;
}

bool SimServer::changeMemory(int station, const std::function<void(SimMemory *)> &work)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    SimPlc *target = d->line.plcOf(station);
    if (target)
        work(&target->memory());
    return target != nullptr;
}

QList<SimLogEntry> SimServer::requestEntries(qint64 sequence) const
{
    QList<SimLogEntry> requests = logEntries(sequence);
    requests.erase(std::remove_if(requests.begin(), requests.end(), [](const SimLogEntry &entry) { return !entry.isRequest(); }),
                   requests.end());
    return requests;
}

QList<SimLogEntry> SimServer::logEntries(qint64 sequence) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.entriesSince(sequence);
}

void SimServer::setCapture(Capture capture)
{
    d->inThread([&] { d->worker->capture = std::move(capture); });
}

void SimServer::setRequestListener(std::function<void(const SimLogEntry &)> listener)
{
    d->inThread([&] { d->listener = std::move(listener); });
}
