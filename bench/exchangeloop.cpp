#include "exchangeloop.h"

#include "processstats.h"

#include "CDriveBaseClass.h"

#include <QtCore/QElapsedTimer>

namespace {

const QString firstRegister = QStringLiteral("D100");

QList<unsigned short> pattern(int registers, unsigned short seed)
{
    QList<unsigned short> values;
    values.reserve(registers);
    for (int i = 0; i < registers; ++i)
        values.append(static_cast<unsigned short>(seed + i * 0x0101));
    return values;
}

CLabelVariable writeRecord(const QList<unsigned short> &values)
{
    CLabelVariable record;
    record.value = QVariant::fromValue(values);
    return record;
}

} // namespace

QString ExchangeKind::name() const
{
    return QStringLiteral("%1 %2").arg(write ? QStringLiteral("write") : QStringLiteral("read"))
        .arg(registers);
}

double ExchangeRun::perSecond() const
{
    return wallSeconds > 0 ? exchanges / wallSeconds : 0.0;
}

double ExchangeRun::cpuMicrosPerExchange() const
{
    return exchanges > 0 ? cpuSeconds * 1e6 / exchanges : 0.0;
}

double ExchangeRun::sleepsPerExchange() const
{
    return exchanges > 0 ? double(sleeps) / exchanges : 0.0;
}

ExchangeRun timeExchanges(int count, const std::function<int(int)> &exchange)
{
    ExchangeRun run;
    std::vector<double> latencies;
    latencies.reserve(std::size_t(qMax(0, count)));

    QElapsedTimer wall;
    QElapsedTimer one;
    const qint64 sleepsBefore = ProcessStats::voluntarySwitches();
    const double cpuBefore = ProcessStats::cpuSeconds();
    wall.start();
    for (int i = 0; i < count; ++i) {
        one.start();
        const int status = exchange(i);
        latencies.push_back(double(one.nsecsElapsed()) / 1e6);
        if (status != 0) {
            ++run.failures;
            run.lastFailureStatus = status;
        }
    }
    run.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    run.cpuSeconds = ProcessStats::cpuSeconds() - cpuBefore;
    run.sleeps = ProcessStats::voluntarySwitches() - sleepsBefore;
    run.exchanges = qMax(0, count);
    run.latency = LatencyStats::of(std::move(latencies));
    return run;
}

ExchangeRun runExchanges(const QList<CDriveBaseClass *> &drivers, const ExchangeKind &kind,
                         int count)
{
    if (drivers.isEmpty())
        return ExchangeRun();
    const CLabelVariable record = writeRecord(pattern(kind.registers, 0x1234));
    return timeExchanges(count, [&](int i) {
        CDriveBaseClass *driver = drivers.at(i % drivers.size());
        return kind.write
            ? driver->WriteVariable(firstRegister, DT_UInt16, record, kind.registers).status
            : driver->ReadVariable(firstRegister, DT_UInt16, kind.registers).status;
    });
}

QString checkRoundTrip(CDriveBaseClass *driver)
{
    constexpr int registers = 64;
    const QList<unsigned short> written = pattern(registers, 0xA5C3);
    const CLabelVariable write =
        driver->WriteVariable(firstRegister, DT_UInt16, writeRecord(written), registers);
    if (write.status != 0)
        return QStringLiteral("writing %1 registers gave status %2").arg(registers).arg(write.status);
    CLabelVariable read = driver->ReadVariable(firstRegister, DT_UInt16, registers);
    if (read.status != 0)
        return QStringLiteral("reading %1 registers gave status %2").arg(registers).arg(read.status);
    if (read.value.value<QList<unsigned short>>() != written)
        return QStringLiteral("the %1 registers read back differ from those written").arg(registers);
    return QString();
}
