// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes as the Sparkplug commands a host sends norvo-edge: a DCMD
// against a device with a tag of each type, scalar and array, and an NCMD;
// also as a stored payload that takes its seq when it is sent. Every metric
// of a command is written or refused; what is written is the tag's count of
// values that the daemon's write path takes, and a tag's value sent back
// as norvo-edge publishes it commands the same write.
#include "FuzzTargets.h"

#include "Sparkplug.h"
#include "writerequest.h"

namespace NorvoFuzz {

namespace {

using Payload = norvo::sparkplug::Payload;

// A device's tags: each type as a scalar and as an array, all writable, and
// one that is not.
QList<Sparkplug::TagState> deviceTags()
{
    QList<Sparkplug::TagState> tags;
    for (const ValueTypes::Info &info : ValueTypes::table) {
        for (const int count : {1, 4}) {
            Sparkplug::TagState state;
            state.tag.name = QLatin1String(info.name) + (count > 1 ? QStringLiteral("[4]") : QString());
            state.tag.label = QStringLiteral("D100");
            state.tag.area = Areas::Area::D;
            state.tag.element = 100;
            state.tag.type = info.type;
            state.tag.count = count;
            state.tag.writable = true;
            state.alias = quint64(tags.size() + 1);
            tags << state;
        }
    }
    Sparkplug::TagState readOnly = tags.first();
    readOnly.tag.name = QStringLiteral("readonly");
    readOnly.tag.writable = false;
    readOnly.alias = 1000;
    tags << readOnly;
    return tags;
}

// The values a DCMD of this value by alias writes; fails the run when it
// writes nothing.
QJsonArray commandedAgain(const Sparkplug::TagState &state, const QVariant &value,
                          const QList<Sparkplug::TagState> &tags)
{
    Sparkplug::Reading reading;
    reading.value = value;
    reading.timeMs = 1;
    Payload command;
    *command.add_metrics() = Sparkplug::metric(state.tag, state.alias, reading, false);
    const std::string bytes = command.SerializeAsString();
    QList<Sparkplug::Write> writes;
    QList<Sparkplug::Refusal> refusals;
    FUZZ_CHECK(Sparkplug::deviceCommand(QByteArray(bytes.data(), int(bytes.size())), tags, &writes, &refusals));
    FUZZ_CHECK(writes.size() == 1 && refusals.isEmpty());
    return writes.first().values;
}

} // namespace

void sparkplugCommands(const uint8_t *data, size_t size)
{
    static const QList<Sparkplug::TagState> tags = deviceTags();
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    Payload parsed;
    const bool isPayload = parsed.ParseFromArray(bytes.constData(), bytes.size());

    // NCMD
    const bool rebirth = Sparkplug::rebirthRequested(bytes);
    FUZZ_CHECK(!rebirth || isPayload);

    // A stored payload when it is sent.
    const QByteArray sent = Sparkplug::sequenced(bytes, 7, true);
    if (!isPayload) {
        FUZZ_CHECK(sent == bytes);
    } else {
        Payload out;
        FUZZ_CHECK(out.ParseFromArray(sent.constData(), sent.size()));
        FUZZ_CHECK(out.has_seq() && out.seq() == 7);
        FUZZ_CHECK(out.metrics_size() == parsed.metrics_size());
        for (const Sparkplug::Metric &metric : out.metrics())
            FUZZ_CHECK(metric.is_historical());
    }

    // DCMD
    QList<Sparkplug::Write> writes;
    QList<Sparkplug::Refusal> refusals;
    const bool isCommand = Sparkplug::deviceCommand(bytes, tags, &writes, &refusals);
    FUZZ_CHECK(isCommand == isPayload);
    if (!isCommand)
        return;
    FUZZ_CHECK(writes.size() + refusals.size() == parsed.metrics_size());
    for (const Sparkplug::Refusal &refusal : qAsConst(refusals))
        FUZZ_CHECK(!refusal.metric.isEmpty() && !refusal.reason.isEmpty());
    for (const Sparkplug::Write &write : qAsConst(writes)) {
        FUZZ_CHECK(write.tag >= 0 && write.tag < tags.size());
        const Sparkplug::TagState &state = tags.at(write.tag);
        FUZZ_CHECK(state.tag.writable);
        FUZZ_CHECK(write.values.size() == state.tag.count);
        // As the daemon writes it: the values may be out of the type's
        // range (an int16 in a 32-bit field), never of a kind it cannot read.
        QVariant list;
        const QString refusal = WriteRequest::typedValues(state.tag.type, write.values, &list);
        // Arrays carry each element in its own width; 64-bit, float and
        // bool scalars have a field of their own.
        const int bits = ValueTypes::info(state.tag.type).bits;
        if (state.tag.count > 1 || bits == 64 || bits == 1 || state.tag.type == ValueTypes::Type::Float)
            FUZZ_CHECK(refusal.isEmpty());
        if (!refusal.isEmpty())
            continue;
        FUZZ_CHECK(commandedAgain(state, list, tags) == write.values);
    }
}

} // namespace NorvoFuzz
