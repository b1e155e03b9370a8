#include "simserver.h"

#include "simhost.h"

#include "simgateway.h"
#include "simplc.h"
#include "simptychannel.h"
#include "simscript.h"
#include "simsession.h"
#include "simtcpchannel.h"
#include "simlabel.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpServer>

#include <QtCore/QStringList>

#include <algorithm>
#include <mutex>

// Owns the link and the sessions; lives in the serving thread, and all its
// functions run there.
class SimServerWorker : public QObject
{
public:
    using Listener = std::function<void(const SimLogEntry &)>;

    SimServerWorker(std::mutex *mutex, SimPlc *plc, const Listener *listener, const QElapsedTimer *clock)
        : mutex(mutex), plc(plc), listener(listener), clock(clock)
    {
        ticker.setInterval(SimGeneratorSpec::scanMs);
        connect(&ticker, &QTimer::timeout, this, [this] {
            std::lock_guard<std::mutex> lock(*this->mutex);
            this->plc->runGenerators(this->clock->elapsed());
            if (this->plc->generators().isEmpty())
                ticker.stop();
        });
    }

    // Generators run while there are any.
    void startTicking()
    {
        if (!ticker.isActive())
            ticker.start();
    }

    // A timer is stopped in its own thread, before the thread ends.
    void stopTicking() { ticker.stop(); }

    // Logs an entry and tells the listener, outside the lock.
    void log(const SimLogEntry &change)
    {
        SimLogEntry entry;
        {
            std::lock_guard<std::mutex> lock(*mutex);
            plc->logChange(change);
            entry = plc->lastEntry();
        }
        if (*listener)
            (*listener)(entry);
    }

    QString startTcp(const QHostAddress &address, quint16 port, bool behindGateway)
    {
        tcp = new QTcpServer(this);
        if (!tcp->listen(address, port)) {
            const QString error = QStringLiteral("cannot listen on %1:%2: %3")
                    .arg(simHostText(address)).arg(port).arg(tcp->errorString());
            delete tcp;
            tcp = nullptr;
            return error;
        }
        if (behindGateway)
            gateway = new SimGateway([this](const QByteArray &frame) { return answer(frame); }, this);
        connect(tcp, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = tcp->nextPendingConnection())
                serve(new SimTcpChannel(socket));
        });
        listening = QStringLiteral("tcp %1:%2").arg(simHostText(tcp->serverAddress())).arg(tcp->serverPort());
        return QString();
    }

    QString startPty(const SimSerialSettings *expected)
    {
        QString error;
        SimPtyChannel *pty = SimPtyChannel::open(&error);
        if (!pty)
            return error;
        if (expected) {
            pty->expectSettings(*expected);
            connect(pty, &SimPtyChannel::ignoredBytes, this, [this](const QString &line, const QString &plcLine) {
                SimLogEntry entry;
                {
                    std::lock_guard<std::mutex> lock(*mutex);
                    plc->logIgnored(QStringLiteral("ignored: the line is set to %1, the PLC to %2").arg(line, plcLine));
                    entry = plc->lastEntry();
                }
                if (*listener)
                    (*listener)(entry);
            });
        }
        ptyPath = pty->slavePath();
        listening = QStringLiteral("pty ") + ptyPath;
        serve(pty);
        return QString();
    }

    QString startSerial(const SimSerialSettings &settings)
    {
        QString error;
        SimSerialChannel *serial = SimSerialChannel::open(settings, &error);
        if (!serial)
            return error;
        listening = QStringLiteral("serial ") + settings.device;
        serve(serial);
        return QString();
    }

    void stop()
    {
        delete gateway;
        gateway = nullptr;
        delete tcp;
        tcp = nullptr;
        for (SimSession *session : qAsConst(sessions)) {
            disconnect(session, nullptr, this, nullptr);
            delete session;
        }
        sessions.clear();
        listening.clear();
        ptyPath.clear();
    }

    void closeConnections()
    {
        // Closing a session removes it from the list; work on a copy.
        const QList<SimSession *> open = sessions;
        for (SimSession *session : open)
            session->close();
    }

    void push(const QByteArray &bytes)
    {
        for (SimSession *session : qAsConst(sessions))
            session->push(bytes);
    }

    bool ptyLineSettings(termios *settings) const
    {
        for (SimSession *session : sessions) {
            if (auto *pty = qobject_cast<SimPtyChannel *>(session->channel()))
                return pty->lineSettings(settings);
        }
        return false;
    }

    bool isRunning() const { return !listening.isEmpty(); }
    quint16 port() const { return tcp ? tcp->serverPort() : 0; }
    int tcpConnections() const { return tcp ? sessions.size() : 0; }

    QString listening;
    QString ptyPath;
    SimScript *script = nullptr;

private:
    // The PLC's reply to a frame, or the script's.
    SimReply answer(const QByteArray &frame)
    {
        QList<SimLogEntry> added;
        auto engine = [&] {
            std::lock_guard<std::mutex> lock(*mutex);
            const qint64 before = plc->lastSequence();
            const SimReply reply = plc->handle(frame);
            if (*listener)
                added = plc->entriesSince(before);
            return reply;
        };
        const SimReply reply = script ? script->reply(frame, engine) : engine();
        // Outside the lock: the listener may take its own.
        for (const SimLogEntry &entry : qAsConst(added))
            (*listener)(entry);
        return reply;
    }

    void serve(SimChannel *channel)
    {
        SimSession::Handler handler;
        if (!gateway)
            handler = [this](const QByteArray &frame) { return answer(frame); };
        auto *session = new SimSession(channel, handler, this);
        sessions.append(session);
        if (gateway)
            gateway->attach(session);
        if (SimScript *watcher = script) {
            watcher->noteConnection();
            connect(session, &SimSession::answerSent, this, [watcher] { watcher->noteAnswerSent(); });
            connect(session, &SimSession::noise, this, [watcher](const QByteArray &bytes) {
                watcher->noteNoise(bytes);
            });
        }
        const QString peer = channel->peerName();
        if (!peer.isEmpty())
            log(SimLogEntry::change(QStringLiteral("link"), -1, QStringLiteral("connection opened"), QString(), peer));
        connect(session, &SimSession::closed, this, [this, peer](SimSession *closed) {
            sessions.removeOne(closed);
            closed->deleteLater();
            if (!peer.isEmpty())
                log(SimLogEntry::change(QStringLiteral("link"), -1, QStringLiteral("connection closed"), QString(), peer));
        });
    }

    std::mutex *mutex;
    SimPlc *plc;
    const Listener *listener;
    const QElapsedTimer *clock;
    QTimer ticker{this};
    QTcpServer *tcp = nullptr;
    SimGateway *gateway = nullptr;      // TCP behind a gateway only
    QList<SimSession *> sessions;
};

struct SimServer::Private {
    explicit Private(int station) : plc(station) {}

    // Runs `work` in the serving thread and waits for it.
    template <typename Work>
    void inThread(Work work)
    {
        if (QThread::currentThread() == &thread)
            work();
        else
            QMetaObject::invokeMethod(worker, work, Qt::BlockingQueuedConnection);
    }

    // Runs `work` on the PLC under the lock, then tells the listener of
    // every entry it logged; false when `work` is.
    template <typename Work>
    bool logged(Work work)
    {
        QList<SimLogEntry> added;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            const qint64 before = plc.lastSequence();
            done = work();
            added = plc.entriesSince(before);
        }
        if (listener) {
            for (const SimLogEntry &entry : qAsConst(added))
                listener(entry);
        }
        return done;
    }

    // Opens a link in the serving thread unless one is open; `open` gives
    // the error, empty on success.
    template <typename Open>
    bool start(Open open)
    {
        inThread([&] {
            error = worker->isRunning() ? QStringLiteral("the simulator already serves a link") : open();
        });
        return error.isEmpty();
    }

    std::mutex mutex;       // guards plc
    SimPlc plc;
    QThread thread;
    SimServerWorker *worker = nullptr;
    QElapsedTimer clock;    // the generators' time
    QString error;          // touched by the owner's calls only
    std::function<void(const SimLogEntry &)> listener;   // set while no link serves
};

SimServer::SimServer(int station)
    : d(new Private(station))
{
    d->clock.start();
    d->worker = new SimServerWorker(&d->mutex, &d->plc, &d->listener, &d->clock);
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
    return d->plc.engine().station();
}

void SimServer::setStation(int station)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.engine().setStation(station);
}

SimFaults SimServer::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.faults();
}

void SimServer::setFaults(const SimFaults &faults)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.setFaults(faults);
}

bool SimServer::bit(SimArea area, int n) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.engine().memory().bit(area, n);
}

void SimServer::setBit(SimArea area, int n, bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.engine().memory().setBit(area, n, on);
}

quint16 SimServer::value(SimArea area, int n) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.engine().memory().value(area, n);
}

void SimServer::setValue(SimArea area, int n, quint16 value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.engine().memory().setValue(area, n, value);
}

SimMemory SimServer::memory() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.engine().memory();
}

void SimServer::setMemory(const SimMemory &memory)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.engine().memory() = memory;
}

QList<QByteArray> SimServer::requestLog() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.requestLog();
}

void SimServer::clearRequestLog()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.clearRequestLog();
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
    d->plc.setStations(stations);
}

QList<int> SimServer::stations() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.stations();
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
    const SimEngine *engine = d->plc.engineOf(station);
    if (engine)
        work(engine->memory());
    return engine != nullptr;
}

bool SimServer::changeMemory(int station, const std::function<void(SimMemory *)> &work)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    SimEngine *engine = d->plc.engineOf(station);
    if (engine)
        work(&engine->memory());
    return engine != nullptr;
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
    return d->plc.entriesSince(sequence);
}

void SimServer::setRequestListener(std::function<void(const SimLogEntry &)> listener)
{
    d->inThread([&] { d->listener = std::move(listener); });
}

void SimServer::logChange(const SimLogEntry &entry)
{
    d->worker->log(entry);
}

bool SimServer::writeValues(const QString &origin, int station, SimArea area, int element, SimType type,
                            const QVector<quint64> &values, QVector<quint64> *stored)
{
    return d->logged([&] {
        SimEngine *engine = d->plc.engineOf(station);
        if (!engine)
            return false;
        SimTypes::write(&engine->memory(), area, element, type, values);
        engine->memory().declare({area, element, type, int(values.size())});
        *stored = SimTypes::read(engine->memory(), area, element, type, int(values.size()));
        d->plc.stopGenerators(station, SimTypes::span(area, element, type, int(values.size())), origin,
                              QStringLiteral("written by the %1").arg(origin));
        QStringList texts;
        for (const quint64 value : qAsConst(*stored))
            texts << SimTypes::text(type, value);
        d->plc.logChange(SimLogEntry::change(origin, station, QStringLiteral("write"), SimLabel{area, element}.text(),
                                             SimTypes::name(type) + QLatin1Char(' ') + texts.join(QStringLiteral(", "))));
        return true;
    });
}

void SimServer::setGeneratorSeed(quint32 seed)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->plc.setGeneratorSeed(seed);
}

bool SimServer::addGenerator(const QString &origin, int station, SimArea area, int element, SimType type, bool typed,
                             const SimGeneratorSpec &spec)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->plc.addGenerator(station, area, element, type, typed, spec, d->clock.elapsed()))
            return false;
    }
    d->inThread([&] { d->worker->startTicking(); });
    logChange(SimLogEntry::change(origin, station, QStringLiteral("generator started"), SimLabel{area, element}.text(),
                                  (typed ? SimTypes::name(type) + QLatin1Char(' ') : QString()) + spec.text()));
    return true;
}

QList<SimGenerated> SimServer::generators() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->plc.generators();
}

int SimServer::stopGenerators(const QString &origin, int station, SimArea area, int element)
{
    const QString why = QStringLiteral("stopped by the %1").arg(origin);
    int stopped = 0;
    d->logged([&] {
        const int before = d->plc.generators().size();
        if (area == SimArea::None) {
            for (const SimGenerated &generated : d->plc.generators())
                d->plc.stopGenerators(generated.station, SimTypes::span(generated.area, generated.element, generated.type(), 1),
                                      origin, why);
        } else {
            d->plc.stopGenerators(station, SimTypes::span(area, element, SimType::Bool, 1), origin, why);
        }
        stopped = before - d->plc.generators().size();
        return true;
    });
    return stopped;
}

void SimServer::load(const QString &origin, const QString &name, const QList<SimMemoryFile::Assignment> &assignments)
{
    int generated = 0;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        const QList<int> stations = d->plc.stations();
        d->plc.stopAllGenerators();
        for (const int station : stations) {
            SimMemory memory;
            SimMemoryFile::apply(assignments, &memory, station, stations.first());
            d->plc.engineOf(station)->memory() = memory;
        }
        for (const SimMemoryFile::Assignment &assignment : assignments) {
            if (assignment.generated && d->plc.addGenerator(assignment.stationOr(stations.first()), assignment.area,
                                                            assignment.element, assignment.type, assignment.typed,
                                                            assignment.generator, d->clock.elapsed()))
                ++generated;
        }
    }
    if (generated > 0)
        d->inThread([&] { d->worker->startTicking(); });
    logChange(SimLogEntry::change(origin, -1, QStringLiteral("memory loaded"), QString(),
                                  QStringLiteral("%1: %2 line(s), %3 generator(s)").arg(name).arg(assignments.size()).arg(generated)));
}

QString SimServer::memoryFile() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const QList<int> stations = d->plc.stations();
    QString text;
    for (const int station : stations) {
        QList<SimMemoryFile::Assignment> generators;
        for (const SimGenerated &generated : d->plc.generators()) {
            if (generated.station != station)
                continue;
            SimMemoryFile::Assignment assignment;
            assignment.area = generated.area;
            assignment.element = generated.element;
            assignment.type = generated.type();
            assignment.typed = generated.typed;
            assignment.generated = true;
            assignment.generator = generated.generator.spec();
            generators << assignment;
        }
        text += SimMemoryFile::dump(d->plc.engineOf(station)->memory(), stations.size() == 1 ? -1 : station, generators);
    }
    return text;
}
