// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo-bench-codec: decode and encode of 1, 16 and 255 registers for each
// value width as the read and write paths run them (per_value: the time per
// value), the other pure steps of one read of 16 registers, and the read
// planner over a plant's 1000 labels.
#include "LibNorvoTCP.h"
#include "MergedReader.h"
#include "NorvoFrame.h"
#include "requestplan.h"
#include "valuecoding.h"
#include "simplc.h"
#include "planlabels.h"

#include <QtCore/QDateTime>

#include <algorithm>

#include <benchmark/benchmark.h>

namespace {

template <typename T>
QVariant valueList(int n)
{
    QList<T> list;
    for (int i = 0; i < n; ++i)
        list.append(T(0x5A5A5A5A5A5A5A5AULL + quint64(i) * 0x0101010101010101ULL));
    return QVariant::fromValue(list);
}

struct Width
{
    int bits;
    DataType type;
    QVariant (*values)(int n); // n values of the type, for the encoder
};

const Width widths[] = {
    {8, DT_UInt8, valueList<unsigned char>},
    {16, DT_UInt16, valueList<unsigned short>},
    {32, DT_UInt32, valueList<unsigned int>},
    {64, DT_UInt64, valueList<quint64>},
};

// Decodes or encodes the values that `registers` registers carry (a value
// wider than the registers takes the smallest request that holds one), with
// the pure steps the read and write paths call.
void coding(benchmark::State &state, const Width &width, int registers, bool encoding)
{
    LibNorvoTCP driver;
    const int n = qMax(1, registers * 16 / width.bits);
    const RequestPlan::Read plan = RequestPlan::read(width.type, n, LibNorvoTCP::Area_D);
    QByteArray nibbles;
    for (int i = 0; i < n * width.bits / 4; ++i)
        nibbles.append(char((i * 7 + 3) & 0xF));
    CLabelVariable record;
    record.value = width.values(n);
    for (auto _ : state) {
        if (encoding) {
            QByteArray out;
            benchmark::DoNotOptimize(driver.encodeRecord(width.type, record, n, &out));
            benchmark::DoNotOptimize(out);
        } else {
            benchmark::DoNotOptimize(driver.decodeAnswer(width.type, plan, nibbles, n, 100));
        }
    }
    state.counters["per_value"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

NorvoRequest read16()
{
    return NorvoRequest(NorvoCommand::RegisterRead, 1, QStringLiteral("0100"), 16, LibNorvoTCP::Area_D);
}

void readStepAnswer(benchmark::State &state)
{
    const NorvoRequest request = read16();
    const QByteArray answer = SimPlc().respond(request.frame()); // as the PLC gives it
    QByteArray out;
    if (!request.check(answer).isGood())
        state.SkipWithError("the simulator's answer was refused");
    for (auto _ : state) {
        // What a command does with its answer: the check, then the data.
        const bool good = request.check(answer).isGood();
        if (good)
            request.appendData(answer, &out);
        benchmark::DoNotOptimize(good);
        out.clear();
    }
}

// Planning 1000 labels; `requests` is the reads a cycle sends, merged or one a label.
void planLabels(benchmark::State &state, bool merge)
{
    const QVector<ReadPlan::Item> items = clusteredLabels();
    ReadPlan::Settings settings;
    settings.merge = merge;
    int requests = 0;
    for (auto _ : state) {
        const QVector<ReadPlan::Run> runs = ReadPlan::plan(items, settings);
        requests = runs.size();
        benchmark::DoNotOptimize(runs);
    }
    state.counters["labels"] = double(items.size());
    state.counters["requests"] = requests;
}

// A cycle's own work without the link: every run read as if the PLC
// answered at once (zeros), the labels' values cut from the merged answers.
void cycleWithoutLink(benchmark::State &state, bool merge)
{
    ReadPlan::Settings settings;
    settings.merge = merge;
    MergedReader reader(clusteredLabels(), settings);
    const QDateTime now = QDateTime::currentDateTime();
    const auto answer = [&now](const MergedReader::Request &request) {
        if (request.item >= 0) // a label alone: what the driver hands back is passed on as it is
            return MergedReader::Reply{0, QVariant::fromValue(QList<quint16>{0}), now};
        QList<quint16> words;
        for (int i = 0; i < request.count; ++i)
            words.append(quint16(i * 0x0101));
        return MergedReader::Reply{0, QVariant::fromValue(words), now};
    };
    int failed = 0;
    for (auto _ : state) {
        const QVector<MergedReader::Result> results = reader.read(answer);
        failed = int(std::count_if(results.begin(), results.end(), [](const auto &r) { return r.status != 0; }));
        benchmark::DoNotOptimize(results);
    }
    state.counters["requests"] = reader.requests();
    state.counters["failed"] = failed;
}

} // namespace

int main(int argc, char *argv[])
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    for (const Width &width : widths) {
        for (int registers : {1, 16, 255}) {
            const std::string suffix = "/" + std::to_string(width.bits) + "bit/" + std::to_string(registers) + "reg";
            benchmark::RegisterBenchmark(("decode" + suffix).c_str(), coding, width, registers, false);
            benchmark::RegisterBenchmark(("encode" + suffix).c_str(), coding, width, registers, true);
        }
    }
    benchmark::RegisterBenchmark("read16_step/address", [](benchmark::State &state) {
        LibNorvoTCP driver;
        const QString label = QStringLiteral("D100");
        for (auto _ : state)
            benchmark::DoNotOptimize(driver.getAddr(label, driver.getArea(label)));
    });
    benchmark::RegisterBenchmark("read16_step/request_frame", [](benchmark::State &state) {
        for (auto _ : state)
            benchmark::DoNotOptimize(read16());
    });
    benchmark::RegisterBenchmark("read16_step/answer_check", readStepAnswer);
    benchmark::RegisterBenchmark("read16_step/timestamp", [](benchmark::State &state) {
        for (auto _ : state)
            benchmark::DoNotOptimize(QDateTime::currentDateTime());
    });
    benchmark::RegisterBenchmark("plan/1000_labels/merged", planLabels, true)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("plan/1000_labels/one_a_label", planLabels, false)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("cycle_without_link/1000_labels/merged", cycleWithoutLink, true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("cycle_without_link/1000_labels/one_a_label", cycleWithoutLink, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
