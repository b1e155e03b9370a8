#ifndef NORVO_BENCH_EXCHANGELOOP_H
#define NORVO_BENCH_EXCHANGELOOP_H

#include "latencystats.h"

#include <QtCore/QList>
#include <QtCore/QString>

#include <functional>

class CDriveBaseClass;

// One kind of exchange the host makes: a read or a write of `registers`
// 16-bit registers from D100 on.
struct ExchangeKind
{
    bool write = false;
    int registers = 1;

    QString name() const; // "read 16", "write 64"
};

// What a run of exchanges cost the host.
struct ExchangeRun
{
    LatencyStats latency;    // per exchange, ms
    int exchanges = 0;
    int failures = 0;        // records whose status was not 0
    int lastFailureStatus = 0;
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0; // the whole host process, user + system
    qint64 sleeps = 0;       // voluntary context switches of the process

    double perSecond() const;
    double cpuMicrosPerExchange() const;
    double sleepsPerExchange() const;
};

// Times `count` calls of `exchange` (given the call's number, returning 0
// for success or the failure's status) one by one, with the process's CPU
// and sleeps over all of them.
ExchangeRun timeExchanges(int count, const std::function<int(int)> &exchange);

// `count` exchanges of one kind, the drivers taking turns (one read or write
// each per turn), timed one by one.
ExchangeRun runExchanges(const QList<CDriveBaseClass *> &drivers, const ExchangeKind &kind,
                         int count);

// Writes a pattern to 64 registers and reads it back: proves the figures are
// made of real, correct exchanges. Empty on success, else what went wrong.
QString checkRoundTrip(CDriveBaseClass *driver);

#endif
