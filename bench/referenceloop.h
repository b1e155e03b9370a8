#ifndef NORVO_BENCH_REFERENCELOOP_H
#define NORVO_BENCH_REFERENCELOOP_H

#include "exchangeloop.h"

#include <QtCore/QString>

// The machine's own price of an exchange's pattern, without the driver and
// without Qt: a plain socket makes the driver's exchange step by step. It
// sends the read request for 16 registers, waits up to 300 ms for the first
// answer bytes, sleeps `pauseMs` (the driver's fixed pause), then takes the
// answer if it ends in the end byte, else looks again every 10 ms for up to
// 50 ms. Whatever this costs, any driver keeping the exchange's timing costs
// too; the driver's own part is what lies above it.
//
// `tcpConnection` is "127.0.0.1:PORT" of a simulator serving station 1.
// Failures count exchanges without a whole answer by the last look.
class PlainSocketClient
{
public:
    explicit PlainSocketClient(const QString &tcpConnection);
    ~PlainSocketClient();
    PlainSocketClient(const PlainSocketClient &) = delete;
    PlainSocketClient &operator=(const PlainSocketClient &) = delete;

    bool isConnected() const { return fd >= 0; }
    // `count` exchanges, timed as the driver's are; 0 exchanges when not connected.
    ExchangeRun run(int count, int pauseMs);

private:
    int fd;
};

// One connection for one run; an unreachable simulator gives 0 exchanges.
ExchangeRun runPlainSocketExchanges(const QString &tcpConnection, int count, int pauseMs);

#endif
