// norvo-bench-codec: the driver's own work, without the waits.
//
//  - decode and encode of 1, 16 and 255 registers for each value width, as
//    the read and write paths run them (the driver's set_variant_* and
//    Wset_variant_* members); per_value is the time per value;
//  - the pure steps of one ReadVariable call (address, request frame, answer
//    check, decode, time stamp);
//  - the exchange's 5 ms pause alone, as the driver sleeps and as a plain
//    poll() sleeps: what the pause costs this machine;
//  - a whole ReadVariable / WriteVariable against an in-process simulator:
//    its CPU column is the calling thread's own CPU, the wait excluded.

#include "LibNorvoTCP.h"
#include "NorvoFrame.h"
#include "valuecoding.h"

#include "simengine.h"
#include "simserver.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>

#include <benchmark/benchmark.h>

#include <poll.h>

namespace {

const int registerCounts[] = {1, 16, 255};

struct Width
{
    int bits;
    DataType type;
    QVariant (LibNorvoTCP::*decode)(QByteArray, int);
    int (LibNorvoTCP::*encode)(CLabelVariable, int, QByteArray *);
    QVariant (*values)(int n); // n values of the type, for the encoder
};

template <typename T>
QVariant valueList(int n)
{
    QList<T> list;
    for (int i = 0; i < n; ++i)
        list.append(T(0x5A5A5A5A5A5A5A5AULL + quint64(i) * 0x0101010101010101ULL));
    return QVariant::fromValue(list);
}

const Width widths[] = {
    {8, DT_UInt8, &LibNorvoTCP::set_variant_UInt8, &LibNorvoTCP::Wset_variant_UInt8,
     valueList<unsigned char>},
    {16, DT_UInt16, &LibNorvoTCP::set_variant_UInt16, &LibNorvoTCP::Wset_variant_uInt16,
     valueList<unsigned short>},
    {32, DT_UInt32, &LibNorvoTCP::set_variant_UInt32, &LibNorvoTCP::Wset_variant_UInt32,
     valueList<unsigned int>},
    {64, DT_UInt64, &LibNorvoTCP::set_variant_UInt64, &LibNorvoTCP::Wset_variant_UInt64,
     valueList<quint64>},
};

// Values that `registers` registers carry; a value wider than the registers
// needs the smallest request that holds one.
int valuesIn(int registers, int bits)
{
    return qMax(1, registers * 16 / bits);
}

QByteArray nibbles(int count)
{
    QByteArray data;
    for (int i = 0; i < count; ++i)
        data.append(char((i * 7 + 3) & 0xF));
    return data;
}

void timePerValue(benchmark::State &state, int values)
{
    state.counters["per_value"] = benchmark::Counter(
        values, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void decode(benchmark::State &state, const Width &width, int registers)
{
    LibNorvoTCP driver;
    const int n = valuesIn(registers, width.bits);
    const QByteArray data = nibbles(n * width.bits / 4);
    for (auto _ : state) {
        QVariant value = (driver.*width.decode)(data, n);
        benchmark::DoNotOptimize(value);
    }
    timePerValue(state, n);
}

void encode(benchmark::State &state, const Width &width, int registers)
{
    LibNorvoTCP driver;
    const int n = valuesIn(registers, width.bits);
    CLabelVariable record;
    record.value = width.values(n);
    for (auto _ : state) {
        QByteArray out;
        const int result = (driver.*width.encode)(record, n, &out);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out);
    }
    timePerValue(state, n);
}

// --- the pure steps of one read of 16 registers ------------------------------

const QString label = QStringLiteral("D100");
constexpr int readRegisters = 16;

void readStepAddress(benchmark::State &state)
{
    LibNorvoTCP driver;
    for (auto _ : state) {
        const LibNorvoTCP::AreaType area = driver.getArea(label);
        QString number = driver.getAddr(label, area);
        benchmark::DoNotOptimize(number);
    }
}

NorvoRequest read16()
{
    return NorvoRequest(NorvoCommand::RegisterRead, 1, QStringLiteral("0100"), readRegisters,
                        LibNorvoTCP::Area_D);
}

void readStepRequest(benchmark::State &state)
{
    for (auto _ : state) {
        NorvoRequest request = read16();
        benchmark::DoNotOptimize(request);
    }
}

void readStepAnswer(benchmark::State &state)
{
    // The answer as the PLC gives it, made by the simulator's engine.
    SimEngine plc;
    const NorvoRequest request = read16();
    const QByteArray answer = plc.respond(request.frame());
    QByteArray probe;
    if (request.takeAnswer(answer, &probe) != 0) {
        state.SkipWithError("the simulator's answer was refused");
        return;
    }
    for (auto _ : state) {
        QByteArray out;
        const int result = request.takeAnswer(answer, &out);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out);
    }
}

void readStepTimestamp(benchmark::State &state)
{
    for (auto _ : state) {
        QDateTime now = QDateTime::currentDateTime();
        benchmark::DoNotOptimize(now);
    }
}

// --- the exchange's pause on its own -------------------------------------------

// The driver's 5 ms pause, an event loop that runs the thread's events.
void pauseEventLoop(benchmark::State &state)
{
    CmdNorvo_TCP link;
    for (auto _ : state)
        link.mysleep(5);
}

// The same time asleep without Qt: what any 5 ms sleep costs this machine.
void pausePlain(benchmark::State &state)
{
    for (auto _ : state)
        ::poll(nullptr, 0, 5);
}

// --- whole calls against the simulator ----------------------------------------

struct ConnectedDriver
{
    SimServer plc;
    LibNorvoTCP driver;

    bool connect()
    {
        return plc.startTcp()
            && driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(plc.port())) == 0;
    }
};

void wholeRead(benchmark::State &state, int registers)
{
    ConnectedDriver link;
    if (!link.connect()) {
        state.SkipWithError("no simulator");
        return;
    }
    for (auto _ : state) {
        const CLabelVariable record = link.driver.ReadVariable(label, DT_UInt16, registers);
        if (record.status != 0) {
            state.SkipWithError("a read failed");
            break;
        }
    }
}

void wholeWrite(benchmark::State &state, int registers)
{
    ConnectedDriver link;
    if (!link.connect()) {
        state.SkipWithError("no simulator");
        return;
    }
    CLabelVariable record;
    record.value = valueList<unsigned short>(registers);
    for (auto _ : state) {
        const CLabelVariable written = link.driver.WriteVariable(label, DT_UInt16, record, registers);
        if (written.status != 0) {
            state.SkipWithError("a write failed");
            break;
        }
    }
}

void registerBenchmarks(int exchangeIterations)
{
    for (const Width &width : widths) {
        for (int registers : registerCounts) {
            const std::string suffix = "/" + std::to_string(width.bits) + "bit/"
                + std::to_string(registers) + "reg";
            benchmark::RegisterBenchmark(("decode" + suffix).c_str(), decode, width, registers);
            benchmark::RegisterBenchmark(("encode" + suffix).c_str(), encode, width, registers);
        }
    }
    benchmark::RegisterBenchmark("read16_step/address", readStepAddress);
    benchmark::RegisterBenchmark("read16_step/request_frame", readStepRequest);
    benchmark::RegisterBenchmark("read16_step/answer_check", readStepAnswer);
    benchmark::RegisterBenchmark("read16_step/decode", decode, widths[1], readRegisters);
    benchmark::RegisterBenchmark("read16_step/timestamp", readStepTimestamp);
    // Real time sets the pace; the CPU column is this thread's own CPU.
    benchmark::RegisterBenchmark("pause_5ms/event_loop", pauseEventLoop)
        ->Iterations(exchangeIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("pause_5ms/plain_poll", pausePlain)
        ->Iterations(exchangeIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);
    for (int registers : {1, 16, 255}) {
        benchmark::RegisterBenchmark(("whole_call/ReadVariable/" + std::to_string(registers) + "reg").c_str(),
                                     wholeRead, registers)
            ->Iterations(exchangeIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("whole_call/WriteVariable/16reg", wholeWrite, 16)
        ->Iterations(exchangeIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char *argv[])
{
    benchmark::Initialize(&argc, argv);
    // --quick: a few exchanges only, to check that everything runs.
    int exchangeIterations = 300;
    if (argc > 1 && std::string(argv[1]) == "--quick") {
        exchangeIterations = 3;
        for (int i = 1; i < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    // The exchange's waits run Qt event loops.
    QCoreApplication app(argc, argv);
    registerBenchmarks(exchangeIterations);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
