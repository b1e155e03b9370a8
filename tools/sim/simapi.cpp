#include "simapi.h"

#include "simlabel.h"
#include "simserver.h"
#include "simtyped.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cmath>

namespace {

using Reply = SimApi::Reply;

Reply json(int status, const QJsonObject &object)
{
    return Reply{status, QJsonDocument(object).toJson(QJsonDocument::Compact)};
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

QJsonObject memoryObject(const Target &target, const QVector<quint64> &patterns)
{
    QJsonArray values;
    for (const quint64 pattern : patterns)
        values.append(toJson(target.type, pattern));
    return QJsonObject{{QStringLiteral("label"), target.label.text()},
                       {QStringLiteral("type"), SimTypes::name(target.type)},
                       {QStringLiteral("station"), target.station},
                       {QStringLiteral("values"), values}};
}

} // namespace

SimApi::SimApi(SimServer *plc, const SimLinkInfo &info)
    : plc(plc), info(info)
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
                     const QByteArray &body)
{
    const QString memoryPrefix = QStringLiteral("/api/memory/");
    const QString faultsPrefix = QStringLiteral("/api/faults/");
    const bool get = method == QLatin1String("GET");
    if (path.startsWith(memoryPrefix)) {
        const QString label = path.mid(memoryPrefix.size());
        if (get)
            return getMemory(label, query);
        if (method == QLatin1String("PUT"))
            return putMemory(label, query, body);
    } else if (path == QLatin1String("/api/log")) {
        if (get)
            return getLog(query);
    } else if (path == QLatin1String("/api/faults")) {
        if (get)
            return getFaults();
        if (method == QLatin1String("POST"))
            return addFault(body);
        if (method == QLatin1String("DELETE"))
            return clearFaults(QString());
    } else if (path.startsWith(faultsPrefix)) {
        if (method == QLatin1String("DELETE"))
            return clearFaults(path.mid(faultsPrefix.size()));
    } else if (path == QLatin1String("/api/links/drop")) {
        if (method == QLatin1String("POST"))
            return dropLinks();
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

Reply SimApi::putMemory(const QString &label, const QMap<QString, QString> &query, const QByteArray &body)
{
    QJsonObject object;
    Reply refusal;
    if (!bodyObject(body, QStringLiteral("{\"type\":T,\"values\":[...]}"), &object, &refusal))
        return refusal;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("type") && it.key() != QLatin1String("values") && it.key() != QLatin1String("station"))
            return fail(QStringLiteral("unknown field \"%1\" (type, values, station)").arg(it.key()));
    }
    const QJsonValue values = object.value(QStringLiteral("values"));
    if (!values.isArray() || values.toArray().isEmpty())
        return fail(QStringLiteral("\"values\" must be a non-empty array"));
    const QJsonValue type = object.value(QStringLiteral("type"));
    if (!type.isUndefined() && !type.isString())
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
    if (!plc->changeMemory(target.station, [&](SimMemory *memory) {
            SimTypes::write(memory, target.label.area, target.label.element, target.type, patterns);
            stored = SimTypes::read(*memory, target.label.area, target.label.element, target.type, target.count);
        }))
        return fail(QStringLiteral("station %1 is not simulated").arg(target.station));
    return json(200, memoryObject(target, stored));
}

Reply SimApi::getLog(const QMap<QString, QString> &query)
{
    qint64 since = 0;
    QString error;
    const QString sinceText = query.value(QStringLiteral("since"));
    if (!sinceText.isNull() && !wholeNumber(QStringLiteral("since"), sinceText, 0, std::numeric_limits<qint64>::max(), &since, &error))
        return fail(error);
    QJsonArray entries;
    for (const SimLogEntry &entry : plc->requestEntries(since)) {
        entries.append(QJsonObject{
                {QStringLiteral("sequence"), double(entry.sequence)},
                {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODateWithMs)},
                {QStringLiteral("station"), entry.station},
                {QStringLiteral("command"), entry.command},
                {QStringLiteral("label"), entry.label},
                {QStringLiteral("count"), entry.count},
                {QStringLiteral("outcome"), entry.outcome}});
    }
    return json(200, QJsonObject{{QStringLiteral("entries"), entries}});
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

Reply SimApi::addFault(const QByteArray &body)
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

    std::lock_guard<std::mutex> lock(faultChange);
    SimFaults faults = plc->faults();
    faults.*kind->rule = rule;
    if (hasMs && ms >= 0)
        faults.*kind->ms = ms;
    if (code != 0)
        faults.errorCode = code;
    plc->setFaults(faults);
    return getFaults();
}

Reply SimApi::clearFaults(const QString &kindName)
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
    return getFaults();
}

Reply SimApi::dropLinks()
{
    const int open = plc->connectionCount();
    plc->closeConnections();
    return json(200, QJsonObject{{QStringLiteral("dropped"), open}});
}

Reply SimApi::getStatus()
{
    QJsonArray stations;
    for (const int station : plc->stations())
        stations.append(station);
    return json(200, QJsonObject{{QStringLiteral("link"), info.link},
                                 {QStringLiteral("settings"), info.settings},
                                 {QStringLiteral("ptyLink"), info.ptyLink},
                                 {QStringLiteral("gateway"), info.gateway},
                                 {QStringLiteral("stations"), stations},
                                 {QStringLiteral("types"), QJsonArray::fromStringList(SimTypes::names())},
                                 {QStringLiteral("faultKinds"), QJsonArray::fromStringList(faultKinds())}});
}
