#ifndef NORVO_BENCH_REFERENCELOOP_H
#define NORVO_BENCH_REFERENCELOOP_H

#include "exchangeloop.h"

#include <QtCore/QString>

// The machine's own price of an exchange's pattern, without the driver and
// without Qt: a plain blocking socket sends the read request for 16
// registers, blocks until the whole answer is in, then sleeps `pauseMs` as
// the driver's pause does. Whatever this costs, any driver keeping the
// exchange's timing costs too; the driver's own part is what lies above it.
//
// `tcpConnection` is "127.0.0.1:PORT" of a simulator serving station 1.
// Failures count exchanges whose answer did not come whole within 300 ms;
// an unreachable simulator gives a run of 0 exchanges.
ExchangeRun runPlainSocketExchanges(const QString &tcpConnection, int count, int pauseMs);

#endif
