// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simapi.h"

#include "simapijson.h"
#include "simserver.h"

#include <QtCore/QJsonArray>
#include <QtCore/QRandomGenerator>

using namespace SimApiJson;

namespace {

struct FaultKind {
    const char *name;
    SimFaultRule SimFaults::*rule;
    int SimFaults::*ms;        // the fault's "ms", nullptr when it takes none
};

const FaultKind faultKindTable[] = {
    {"delay", &SimFaults::delay, &SimFaults::delayMs}, {"drop", &SimFaults::drop, nullptr},
    {"bad-checksum", &SimFaults::badChecksum, nullptr}, {"error", &SimFaults::error, nullptr},
    {"split", &SimFaults::split, &SimFaults::splitPauseMs}, {"dup", &SimFaults::dup, &SimFaults::dupPauseMs},
    {"close", &SimFaults::close, nullptr},
};

const FaultKind *faultKindOf(const QString &name)
{
    for (const FaultKind &kind : faultKindTable) {
        if (name == QLatin1String(kind.name))
            return &kind;
    }
    return nullptr;
}

// Integers beyond 2^53 and floats that JSON has no number for travel as text.

// The values the memory file, the API or a typed generator declared a type
// for, one by one, where their registers meet those `target` reads: each
// as a memory answer of its own with the registers it spans, "first" to
// "last". Values of 8 bits come by the register (its two bytes); bools in
// registers and values over bits are left to the caller's own type.
QJsonArray declaredValues(const SimMemory &memory, const QList<SimMemory::Typed> &generatedTypes, const Target &target)
{
    QList<SimMemory::Typed> all = memory.declared();
    for (const SimMemory::Typed &generated : generatedTypes) {
        const SimTypes::Span span = SimTypes::span(generated.area, generated.element, generated.type, 1);
        for (int i = all.size() - 1; i >= 0; --i) {
            if (SimTypes::span(all.at(i).area, all.at(i).element, all.at(i).type, all.at(i).count).meets(span))
                all.removeAt(i);
        }
        all << generated;
    }
    const SimTypes::Span asked = SimTypes::span(target.label.area, target.label.element, target.type, target.count);
    QJsonArray declared;
    for (const SimMemory::Typed &typed : qAsConst(all)) {
        const int bits = SimTypes::bits(typed.type);
        if (SimAreas::isBitArea(typed.area) || bits < 8)
            continue;
        const int registers = bits == 8 ? 1 : bits / 16;
        const int perPlace = bits == 8 ? 2 : 1;
        for (int value = 0; value < typed.count; value += perPlace) {
            const int element = typed.element + value / perPlace * registers;
            const SimTypes::Span span = SimTypes::span(typed.area, element, typed.type, perPlace);
            if (!span.meets(asked))
                continue;
            Target place = target;
            place.label = SimLabel{typed.area, element};
            place.type = typed.type;
            place.count = perPlace;
            QJsonObject object = memoryObject(place, SimTypes::read(memory, typed.area, element, typed.type, perPlace));
            object.insert(QStringLiteral("first"), span.first);
            object.insert(QStringLiteral("last"), span.last);
            declared.append(object);
        }
    }
    return declared;
}

} // namespace

SimApi::SimApi(SimServer *plc, const SimLinkInfo &info)
    : plc(plc), info(info),
      runId(QString::number(QRandomGenerator::global()->generate64(), 16))
{
}

QStringList SimApi::faultKinds()
{
    QStringList kinds;
    for (const FaultKind &kind : faultKindTable)
        kinds << QLatin1String(kind.name);
    return kinds;
}

Reply SimApi::handle(const QString &method, const QString &path, const QMap<QString, QString> &query,
                     const QByteArray &body, const QString &origin)
{
    // The query parameters each resource takes, by method.
    struct Parameters {
        const char *method;
        const char *path;      // a trailing '/' takes any name after it
        QStringList known;
    };
    static const QList<Parameters> parameters = {
        {"GET", "/api/memory/", {QStringLiteral("count"), QStringLiteral("type"), QStringLiteral("station"),
                                 QStringLiteral("declared")}},
        {"PUT", "/api/memory/", {QStringLiteral("station")}},
        {"PUT", "/api/memory-file", {QStringLiteral("name")}},
        {"GET", "/api/log", {QStringLiteral("since"), QStringLiteral("failed"), QStringLiteral("station"), QStringLiteral("label")}},
        {"GET", "/api/log.csv", {QStringLiteral("since"), QStringLiteral("failed"), QStringLiteral("station"), QStringLiteral("label")}},
        {"DELETE", "/api/generators/", {QStringLiteral("station")}},
    };
    QStringList known;
    for (const Parameters &p : parameters) {
        const QLatin1String name(p.path);
        const bool prefix = name.endsWith(QLatin1Char('/'));
        if (method == QLatin1String(p.method) && (prefix ? path.startsWith(name) : path == name))
            known = p.known;
    }
    const QString unknown = unknownParameter(query, known);
    if (!unknown.isEmpty())
        return fail(unknown);
    return route(method, path, query, body, origin);
}

Reply SimApi::route(const QString &method, const QString &path, const QMap<QString, QString> &query,
                    const QByteArray &body, const QString &origin)
{
    const QString memoryPrefix = QStringLiteral("/api/memory/");
    const QString faultsPrefix = QStringLiteral("/api/faults/");
    const QString generatorsPrefix = QStringLiteral("/api/generators/");
    const bool get = method == QLatin1String("GET");
    const bool put = method == QLatin1String("PUT");
    const bool post = method == QLatin1String("POST");
    const bool remove = method == QLatin1String("DELETE");
    if (path.startsWith(memoryPrefix)) {
        const QString label = path.mid(memoryPrefix.size());
        if (get)
            return getMemory(label, query);
        if (put)
            return putMemory(label, query, body, origin);
    } else if (path == QLatin1String("/api/memory-file")) {
        if (get)
            return getMemoryFile();
        if (put)
            return putMemoryFile(query, body, origin);
    } else if (path == QLatin1String("/api/log") || path == QLatin1String("/api/log.csv")) {
        if (get)
            return getLog(query, path.endsWith(QLatin1String(".csv")));
    } else if (path == QLatin1String("/api/faults")) {
        if (get)
            return getFaults();
        if (post)
            return addFault(body, origin);
        if (remove)
            return clearFaults(QString(), origin);
    } else if (path.startsWith(faultsPrefix)) {
        if (remove)
            return clearFaults(path.mid(faultsPrefix.size()), origin);
    } else if (path == QLatin1String("/api/generators")) {
        if (get)
            return getGenerators();
        if (post)
            return addGenerator(body, origin);
        if (remove)
            return stopGenerators(QString(), query, origin);
    } else if (path.startsWith(generatorsPrefix)) {
        if (remove)
            return stopGenerators(path.mid(generatorsPrefix.size()), query, origin);
    } else if (path == QLatin1String("/api/links/drop")) {
        if (post)
            return dropLinks(origin);
    } else if (path == QLatin1String("/api/status")) {
        if (get)
            return getStatus();
    } else {
        return fail(QStringLiteral("no such resource: %1").arg(path), 404);
    }
    return fail(QStringLiteral("%1 is not allowed on %2").arg(method, path), 405);
}

Reply SimApi::getMemory(const QString &label, const QMap<QString, QString> &query)
{
    Target target;
    QString error = readTarget(label, query.value(QStringLiteral("type")), query.value(QStringLiteral("count")),
                               query.value(QStringLiteral("station")), plc->stations(), &target);
    if (!error.isEmpty())
        return fail(error);
    const QString declaredText = query.value(QStringLiteral("declared"));
    if (!declaredText.isNull() && declaredText != QLatin1String("0") && declaredText != QLatin1String("1"))
        return fail(QStringLiteral("declared takes 0 or 1, not \"%1\"").arg(declaredText));
    // Typed generators declare their label's type as a typed line does.
    QList<SimMemory::Typed> generatedTypes;
    for (const SimGenerated &generated : plc->generators()) {
        if (generated.station == target.station && generated.typed)
            generatedTypes << SimMemory::Typed{generated.area, generated.element, generated.type(), 1};
    }
    QVector<quint64> patterns;
    QJsonArray declared;
    if (!plc->readMemory(target.station, [&](const SimMemory &memory) {
            patterns = SimTypes::read(memory, target.label.area, target.label.element, target.type, target.count);
            if (declaredText == QLatin1String("1"))
                declared = declaredValues(memory, generatedTypes, target);
        }))
        return fail(QStringLiteral("station %1 is not simulated").arg(target.station));
    QJsonObject object = memoryObject(target, patterns);
    if (declaredText == QLatin1String("1"))
        object.insert(QStringLiteral("declared"), declared);
    return json(200, object);
}

Reply SimApi::putMemory(const QString &label, const QMap<QString, QString> &query, const QByteArray &body,
                        const QString &origin)
{
    QJsonObject object;
    Reply refusal;
    if (!bodyObject(body, QStringLiteral("{\"type\":T,\"values\":[...]}"), &object, &refusal))
        return refusal;
    const QString unknown = unknownFields(object, {QStringLiteral("type"), QStringLiteral("values"), QStringLiteral("station")});
    if (!unknown.isEmpty())
        return fail(unknown);
    const QJsonValue values = object.value(QStringLiteral("values"));
    if (!values.isArray() || values.toArray().isEmpty())
        return fail(QStringLiteral("\"values\" must be a non-empty array"));
    // Without a type the words would be guessed; the caller says what it means.
    const QJsonValue type = object.value(QStringLiteral("type"));
    if (type.isUndefined())
        return fail(QStringLiteral("the field \"type\" is missing (%1)").arg(SimTypes::names().join(QStringLiteral(", "))));
    if (!type.isString())
        return fail(QStringLiteral("\"type\" must be a type name"));
    QString stationText = query.value(QStringLiteral("station"));
    const QJsonValue station = object.value(QStringLiteral("station"));
    if (!station.isUndefined())
        stationText = jsonText(station);

    Target target;
    const QJsonArray array = values.toArray();
    QString error = readTarget(label, type.toString(), QString::number(array.size()), stationText, plc->stations(), &target);
    if (!error.isEmpty())
        return fail(error);
    QVector<quint64> patterns;
    for (const QJsonValue &value : array) {
        quint64 pattern = 0;
        if (!fromJson(target.type, value, &pattern, &error))
            return fail(error);
        patterns.append(pattern);
    }
    QVector<quint64> stored;
    if (!plc->writeValues(origin, target.station, target.label.area, target.label.element, target.type, patterns, &stored))
        return fail(QStringLiteral("station %1 is not simulated").arg(target.station));
    return json(200, memoryObject(target, stored));
}

Reply SimApi::getMemoryFile()
{
    Reply reply{200, plc->memoryFile().toUtf8(), "text/plain; charset=utf-8", QStringLiteral("norvo-sim-memory.txt")};
    return reply;
}

Reply SimApi::putMemoryFile(const QMap<QString, QString> &query, const QByteArray &body, const QString &origin)
{
    const QString name = query.value(QStringLiteral("name"), QStringLiteral("upload"));
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(QString::fromUtf8(body), plc->stations());
    if (!loaded.ok())
        return fail(QStringLiteral("%1:%2: %3").arg(name).arg(loaded.errorLine).arg(loaded.error));
    plc->load(origin, name, loaded.assignments);
    return json(200, QJsonObject{{QStringLiteral("loaded"), name},
                                 {QStringLiteral("lines"), loaded.assignments.size()}});
}

Reply SimApi::getFaults()
{
    const SimFaults faults = plc->faults();
    QJsonArray list;
    for (const FaultKind &kind : faultKindTable) {
        const SimFaultRule &rule = faults.*kind.rule;
        if (!rule.isActive())
            continue;
        QJsonObject fault{{QStringLiteral("kind"), QLatin1String(kind.name)},
                          {QStringLiteral("every"), rule.every},
                          {QStringLiteral("chance"), rule.chance}};
        if (kind.ms)
            fault.insert(QStringLiteral("ms"), faults.*kind.ms);
        if (kind.rule == &SimFaults::error)
            fault.insert(QStringLiteral("code"), QString(QLatin1Char(faults.errorCode)));
        list.append(fault);
    }
    return json(200, QJsonObject{{QStringLiteral("faults"), list}, {QStringLiteral("seed"), double(faults.seed)}});
}

Reply SimApi::addFault(const QByteArray &body, const QString &origin)
{
    QJsonObject object;
    Reply refusal;
    if (!bodyObject(body, QStringLiteral("{\"kind\":K,...}"), &object, &refusal))
        return refusal;
    const FaultKind *kind = faultKindOf(object.value(QStringLiteral("kind")).toString());
    if (!kind) {
        return fail(QStringLiteral("unknown fault \"%1\" (%2)")
                    .arg(jsonText(object.value(QStringLiteral("kind"))), faultKinds().join(QStringLiteral(", "))));
    }
    const bool hasMs = kind->ms != nullptr;
    const bool hasCode = kind->rule == &SimFaults::error;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const bool known = key == QLatin1String("kind") || key == QLatin1String("every") || key == QLatin1String("chance")
                || (hasMs && key == QLatin1String("ms")) || (hasCode && key == QLatin1String("code"));
        if (!known)
            return fail(QStringLiteral("the %1 fault takes no \"%2\"").arg(QLatin1String(kind->name), key));
    }

    SimFaultRule rule;
    QString error;
    qint64 number = 0;
    if (object.contains(QStringLiteral("every"))) {
        if (!wholeNumber(QStringLiteral("every"), jsonText(object.value(QStringLiteral("every"))), 1, 1000000000, &number, &error))
            return fail(error);
        rule.every = int(number);
    }
    if (object.contains(QStringLiteral("chance"))) {
        const QJsonValue chance = object.value(QStringLiteral("chance"));
        if (!chance.isDouble() || !(chance.toDouble() >= 0.0 && chance.toDouble() <= 1.0))
            return fail(QStringLiteral("chance takes a probability from 0 to 1, not %1").arg(jsonText(chance)));
        rule.chance = chance.toDouble();
    }
    if (!rule.isActive())
        rule = SimFaultRule::always();
    int ms = -1;
    if (object.contains(QStringLiteral("ms"))) {
        if (!wholeNumber(QStringLiteral("ms"), jsonText(object.value(QStringLiteral("ms"))), 0, 3600000, &number, &error))
            return fail(error);
        ms = int(number);
    }
    if (kind->rule == &SimFaults::delay && ms <= 0)
        return fail(QStringLiteral("the delay fault needs \"ms\" from 1 to 3600000"));
    char code = 0;
    if (object.contains(QStringLiteral("code"))) {
        const QString text = jsonText(object.value(QStringLiteral("code"))).toUpper();
        if (text.size() != 1 || !QStringLiteral("123456789ABCDEF").contains(text))
            return fail(QStringLiteral("code takes one character 1..9 or A..F, not \"%1\"").arg(text));
        code = text.at(0).toLatin1();
    }

    QStringList detail;
    {
        std::lock_guard<std::mutex> lock(faultChange);
        SimFaults faults = plc->faults();
        faults.*kind->rule = rule;
        if (hasMs && ms >= 0)
            faults.*kind->ms = ms;
        if (code != 0)
            faults.errorCode = code;
        plc->setFaults(faults);
        detail << (rule.every > 0 ? QStringLiteral("every %1").arg(rule.every) : QString())
               << (rule.chance > 0 ? QStringLiteral("chance %1").arg(rule.chance) : QString())
               << (hasMs ? QStringLiteral("%1 ms").arg(faults.*kind->ms) : QString())
               << (hasCode ? QStringLiteral("code %1").arg(QLatin1Char(faults.errorCode)) : QString());
    }
    detail.removeAll(QString());
    plc->logChange(SimLogEntry::change(origin, -1, QStringLiteral("fault on"), QString(),
                                       QLatin1String(kind->name) + QLatin1Char(' ') + detail.join(QStringLiteral(", "))));
    return getFaults();
}

Reply SimApi::clearFaults(const QString &kindName, const QString &origin)
{
    const FaultKind *kind = faultKindOf(kindName);
    if (!kindName.isEmpty() && !kind)
        return fail(QStringLiteral("unknown fault \"%1\" (%2)").arg(kindName, faultKinds().join(QStringLiteral(", "))));
    {
        std::lock_guard<std::mutex> lock(faultChange);
        SimFaults faults = plc->faults();
        if (kind) {
            faults.*kind->rule = SimFaultRule();
        } else {
            SimFaults none;
            none.seed = faults.seed;
            faults = none;
        }
        plc->setFaults(faults);
    }
    plc->logChange(SimLogEntry::change(origin, -1, QStringLiteral("fault off"), QString(),
                                       kind ? QLatin1String(kind->name) : QLatin1String("all")));
    return getFaults();
}

Reply SimApi::dropLinks(const QString &origin)
{
    const int open = plc->connectionCount();
    plc->closeConnections();
    plc->logChange(SimLogEntry::change(origin, -1, QStringLiteral("connections dropped"), QString(),
                                       QStringLiteral("%1 open").arg(open)));
    return json(200, QJsonObject{{QStringLiteral("dropped"), open}});
}

Reply SimApi::getStatus()
{
    QJsonArray stations;
    for (const int station : plc->stations())
        stations.append(station);
    return json(200, QJsonObject{{QStringLiteral("run"), runId},
                                 {QStringLiteral("link"), info.link},
                                 {QStringLiteral("settings"), info.settings},
                                 {QStringLiteral("ptyLink"), info.ptyLink},
                                 {QStringLiteral("gateway"), info.gateway},
                                 {QStringLiteral("stations"), stations},
                                 {QStringLiteral("types"), QJsonArray::fromStringList(SimTypes::names())},
                                 {QStringLiteral("faultKinds"), QJsonArray::fromStringList(faultKinds())}});
}

