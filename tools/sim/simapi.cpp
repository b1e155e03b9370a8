#include "simapi.h"

#include "simlabel.h"
#include "simlogfilter.h"
#include "simserver.h"
#include "simtyped.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRandomGenerator>

#include <cmath>

namespace {

using Reply = SimApi::Reply;

Reply json(int status, const QJsonObject &object)
{
    Reply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

Reply fail(const QString &error, int status = 400)
{
    return json(status, QJsonObject{{QStringLiteral("error"), error}});
}

// The request body as a JSON object; false with the refusal in `refusal`.
// `shape` shows the caller what the object looks like.
bool bodyObject(const QByteArray &body, const QString &shape, QJsonObject *object, Reply *refusal)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *refusal = fail(QStringLiteral("malformed JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
        return false;
    }
    if (!document.isObject()) {
        *refusal = fail(QStringLiteral("the body must be a JSON object %1").arg(shape));
        return false;
    }
    *object = document.object();
    return true;
}

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
QJsonValue toJson(SimType type, quint64 pattern)
{
    if (type == SimType::Bool)
        return QJsonValue(pattern != 0);
    const double number = SimTypes::toDouble(type, pattern);
    const bool inexact = !SimTypes::isFloat(type) && std::fabs(number) > 9007199254740992.0;
    if (!std::isfinite(number) || inexact)
        return QJsonValue(SimTypes::text(type, pattern));
    return QJsonValue(number);
}

bool fromJson(SimType type, const QJsonValue &value, quint64 *pattern, QString *error)
{
    if (type == SimType::Bool && value.isBool()) {
        *pattern = value.toBool() ? 1 : 0;
        return true;
    }
    if (value.isDouble())
        return SimTypes::fromNumber(type, value.toDouble(), pattern, error);
    if (value.isString())
        return SimTypes::parse(type, value.toString(), pattern, error);
    const QString shown = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    *error = QStringLiteral("value %1 is of the wrong type for %2").arg(shown.mid(1, shown.size() - 2),
                                                                        SimTypes::name(type));
    return false;
}

// A whole number from a query parameter or JSON; false with `error` set.
bool wholeNumber(const QString &name, const QString &text, qint64 lowest, qint64 highest, qint64 *value,
                 QString *error)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    if (!ok || number < lowest || number > highest) {
        *error = QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"")
                .arg(name).arg(lowest).arg(highest).arg(text);
        return false;
    }
    *value = number;
    return true;
}

QString jsonText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    return QStringLiteral("(not a number)");
}

// What a memory request addresses; `error` set when it is unusable.
struct Target {
    SimLabel label;
    SimType type = SimType::UInt16;
    int count = 1;
    int station = 1;
};

QString readTarget(const QString &labelText, const QString &typeText, const QString &countText,
                   const QString &stationText, const QList<int> &stations, Target *target)
{
    QString error;
    target->label = SimLabel::parse(labelText, &error);
    if (!target->label.isValid())
        return QStringLiteral("unknown label: %1").arg(error);
    target->type = SimAreas::isBitArea(target->label.area) ? SimType::Bool : SimType::UInt16;
    if (!typeText.isEmpty()) {
        bool ok = false;
        target->type = SimTypes::fromName(typeText, &ok);
        if (!ok)
            return QStringLiteral("unknown type \"%1\" (%2)").arg(typeText, SimTypes::names().join(QStringLiteral(", ")));
    }
    qint64 number = target->count;
    if (!countText.isNull() && !wholeNumber(QStringLiteral("count"), countText, 1, SimAreas::elementCount, &number, &error))
        return error;
    target->count = int(number);
    number = stations.first();
    if (!stationText.isNull() && !wholeNumber(QStringLiteral("station"), stationText, 0, 255, &number, &error))
        return error;
    target->station = int(number);
    if (!stations.contains(target->station))
        return QStringLiteral("station %1 is not simulated").arg(target->station);
    if (!SimTypes::fits(target->label.area, target->label.element, target->type, target->count)) {
        return QStringLiteral("%1 %2 value(s) from %3 reach past element 9999")
                .arg(target->count).arg(SimTypes::name(target->type), target->label.text());
    }
    return QString();
}

// The values, and each one's bit pattern in hex for a closer look.
QJsonObject memoryObject(const Target &target, const QVector<quint64> &patterns)
{
    QJsonArray values;
    QJsonArray hex;
    const int digits = qMax(1, SimTypes::bits(target.type) / 4);
    for (const quint64 pattern : patterns) {
        values.append(toJson(target.type, pattern));
        hex.append(QStringLiteral("0x%1").arg(QString::number(pattern, 16).toUpper().rightJustified(digits, QLatin1Char('0'))));
    }
    return QJsonObject{{QStringLiteral("label"), target.label.text()},
                       {QStringLiteral("type"), SimTypes::name(target.type)},
                       {QStringLiteral("station"), target.station},
                       {QStringLiteral("values"), values},
                       {QStringLiteral("hex"), hex}};
}

// A query parameter the route does not take, refused like an unknown field.
QString unknownParameter(const QMap<QString, QString> &query, const QStringList &known)
{
    for (auto it = query.begin(); it != query.end(); ++it) {
        if (!known.contains(it.key())) {
            return known.isEmpty() ? QStringLiteral("unknown query parameter \"%1\" (this request takes none)").arg(it.key())
                                   : QStringLiteral("unknown query parameter \"%1\" (%2)").arg(it.key(), known.join(QStringLiteral(", ")));
        }
    }
    return QString();
}

// The request's label, station and type for a memory change or a generator.
QString unknownFields(const QJsonObject &object, const QStringList &known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return QStringLiteral("unknown field \"%1\" (%2)").arg(it.key(), known.join(QStringLiteral(", ")));
    }
    return QString();
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
        {"GET", "/api/memory/", {QStringLiteral("count"), QStringLiteral("type"), QStringLiteral("station")}},
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
    const QString error = readTarget(label, query.value(QStringLiteral("type")), query.value(QStringLiteral("count")),
                                     query.value(QStringLiteral("station")), plc->stations(), &target);
    if (!error.isEmpty())
        return fail(error);
    QVector<quint64> patterns;
    if (!plc->readMemory(target.station, [&](const SimMemory &memory) {
            patterns = SimTypes::read(memory, target.label.area, target.label.element, target.type, target.count);
        }))
        return fail(QStringLiteral("station %1 is not simulated").arg(target.station));
    return json(200, memoryObject(target, patterns));
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

Reply SimApi::getLog(const QMap<QString, QString> &query, bool csv)
{
    qint64 since = 0;
    QString error;
    const QString sinceText = query.value(QStringLiteral("since"));
    if (!sinceText.isNull() && !wholeNumber(QStringLiteral("since"), sinceText, 0, std::numeric_limits<qint64>::max(), &since, &error))
        return fail(error);
    SimLogFilter filter;
    const QString failed = query.value(QStringLiteral("failed"));
    if (!failed.isNull() && failed != QLatin1String("0") && failed != QLatin1String("1"))
        return fail(QStringLiteral("failed takes 0 or 1, not \"%1\"").arg(failed));
    filter.failedOnly = failed == QLatin1String("1");
    qint64 station = -1;
    const QString stationText = query.value(QStringLiteral("station"));
    if (!stationText.isEmpty() && !wholeNumber(QStringLiteral("station"), stationText, 0, 255, &station, &error))
        return fail(error);
    filter.station = int(station);
    const QString labelText = query.value(QStringLiteral("label"));
    if (!labelText.isEmpty()) {
        const SimLabel label = SimLabel::parse(labelText, &error);
        if (!label.isValid())
            return fail(QStringLiteral("unknown label: %1").arg(error));
        filter.label = label.text();
    }

    const QList<SimLogEntry> all = plc->logEntries(since);
    QList<SimLogEntry> chosen;
    for (const SimLogEntry &entry : all) {
        if (filter.matches(entry))
            chosen << entry;
    }
    if (csv)
        return Reply{200, SimLogFilter::csv(chosen), "text/csv; charset=utf-8", QStringLiteral("norvo-sim-log.csv")};
    QJsonArray entries;
    for (const SimLogEntry &entry : qAsConst(chosen)) {
        entries.append(QJsonObject{
                {QStringLiteral("sequence"), double(entry.sequence)},
                {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODateWithMs)},
                {QStringLiteral("origin"), entry.origin},
                {QStringLiteral("station"), entry.station},
                {QStringLiteral("command"), entry.command},
                {QStringLiteral("label"), entry.label},
                {QStringLiteral("count"), entry.count},
                {QStringLiteral("outcome"), entry.outcome},
                {QStringLiteral("detail"), entry.detail},
                {QStringLiteral("failed"), entry.failed},
                {QStringLiteral("synchronising"), entry.synchronising}});
    }
    // The newest sequence looked at, so a filtered reader can ask on from there.
    const double last = all.isEmpty() ? double(since) : double(all.last().sequence);
    return json(200, QJsonObject{{QStringLiteral("entries"), entries}, {QStringLiteral("last"), last}});
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

Reply SimApi::getGenerators()
{
    QJsonArray list;
    for (const SimGenerated &generated : plc->generators()) {
        const SimTypes::Span span = SimTypes::span(generated.area, generated.element, generated.type(), 1);
        list.append(QJsonObject{{QStringLiteral("station"), generated.station},
                                {QStringLiteral("label"), generated.label()},
                                {QStringLiteral("type"), SimTypes::name(generated.type())},
                                {QStringLiteral("generator"), generated.generator.spec().text()},
                                // The storage it writes, for a page to mark.
                                {QStringLiteral("area"), SimLabel{span.area, 0}.text().chopped(1)},
                                {QStringLiteral("first"), span.first},
                                {QStringLiteral("last"), span.last}});
    }
    return json(200, QJsonObject{{QStringLiteral("generators"), list}});
}

Reply SimApi::addGenerator(const QByteArray &body, const QString &origin)
{
    QJsonObject object;
    Reply refusal;
    if (!bodyObject(body, QStringLiteral("{\"label\":L,\"generator\":G,...}"), &object, &refusal))
        return refusal;
    const QString unknown = unknownFields(object, {QStringLiteral("label"), QStringLiteral("type"), QStringLiteral("station"),
                                                   QStringLiteral("generator")});
    if (!unknown.isEmpty())
        return fail(unknown);
    for (const char *field : {"label", "generator"}) {
        if (!object.value(QLatin1String(field)).isString())
            return fail(QStringLiteral("the field \"%1\" is missing or no text").arg(QLatin1String(field)));
    }
    const QJsonValue type = object.value(QStringLiteral("type"));
    if (!type.isUndefined() && !type.isString())
        return fail(QStringLiteral("\"type\" must be a type name"));
    const QJsonValue station = object.value(QStringLiteral("station"));
    Target target;
    QString error = readTarget(object.value(QStringLiteral("label")).toString(), type.toString(), QStringLiteral("1"),
                               station.isUndefined() ? QString() : jsonText(station), plc->stations(), &target);
    if (!error.isEmpty())
        return fail(error);
    SimGeneratorSpec spec;
    if (!SimGeneratorSpec::parse(object.value(QStringLiteral("generator")).toString(), &spec, &error))
        return fail(error);
    if (!plc->addGenerator(origin, target.station, target.label.area, target.label.element, target.type,
                           !type.isUndefined(), spec))
        return fail(QStringLiteral("station %1 is not simulated").arg(target.station));
    return getGenerators();
}

Reply SimApi::stopGenerators(const QString &labelText, const QMap<QString, QString> &query, const QString &origin)
{
    if (labelText.isEmpty()) {
        plc->stopGenerators(origin, -1, SimArea::None, 0);
        return getGenerators();
    }
    Target target;
    const QString error = readTarget(labelText, QStringLiteral("bool"), QStringLiteral("1"), query.value(QStringLiteral("station")),
                                     plc->stations(), &target);
    if (!error.isEmpty())
        return fail(error);
    if (plc->stopGenerators(origin, target.station, target.label.area, target.label.element) == 0)
        return fail(QStringLiteral("no generator on %1 of station %2").arg(target.label.text()).arg(target.station));
    return getGenerators();
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
