// SPDX-License-Identifier: LGPL-2.1-or-later
// The generator routes of SimApi.

#include "simapi.h"

#include "simapijson.h"
#include "simserver.h"

#include <QtCore/QJsonArray>

using namespace SimApiJson;

Reply SimApi::getGenerators()
{
    QJsonArray list;
    for (const SimGenerated &generated : plc->generators()) {
        const SimTypes::Span span = SimTypes::span(generated.area, generated.element, generated.type(), 1);
        list.append(QJsonObject{{QStringLiteral("station"), generated.station},
                                {QStringLiteral("label"), generated.label()},
                                {QStringLiteral("type"), SimTypes::name(generated.type())},
                                {QStringLiteral("generator"), generated.generator.recipe().text()},
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
    SimGeneratorRecipe recipe;
    if (!SimGeneratorRecipe::parse(object.value(QStringLiteral("generator")).toString(), &recipe, &error))
        return fail(error);
    error = recipe.problemIn(target.type);
    if (!error.isEmpty())
        return fail(type.isUndefined() ? error + QStringLiteral(" (%1 without a \"type\" is %2)")
                                                     .arg(target.label.text(), SimTypes::name(target.type))
                                       : error);
    if (!plc->addGenerator(origin, target.station, target.label.area, target.label.element, target.type,
                           !type.isUndefined(), recipe))
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
