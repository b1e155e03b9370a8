// SPDX-License-Identifier: LGPL-2.1-or-later
// SimServer's changes from outside the link: typed writes, generators,
// memory files loaded and written, each logged with its origin.

#include "simserver.h"

#include "simlabel.h"
#include "simserverworker.h"

#include <QtCore/QStringList>

void SimServer::logChange(const SimLogEntry &entry)
{
    d->worker->log(entry);
}

bool SimServer::writeValues(const QString &origin, int station, SimArea area, int element, SimType type,
                            const QVector<quint64> &values, QVector<quint64> *stored)
{
    return d->logged([&] {
        SimPlc *target = d->line.plcOf(station);
        if (!target)
            return false;
        SimTypes::write(&target->memory(), area, element, type, values);
        target->memory().declare({area, element, type, int(values.size())});
        *stored = SimTypes::read(target->memory(), area, element, type, int(values.size()));
        d->line.stopGenerators(station, SimTypes::span(area, element, type, int(values.size())), origin,
                              QStringLiteral("written by the %1").arg(origin));
        QStringList texts;
        for (const quint64 value : qAsConst(*stored))
            texts << SimTypes::text(type, value);
        d->line.logChange(SimLogEntry::change(origin, station, QStringLiteral("write"), SimLabel{area, element}.text(),
                                             SimTypes::name(type) + QLatin1Char(' ') + texts.join(QStringLiteral(", "))));
        return true;
    });
}

void SimServer::setGeneratorSeed(quint32 seed)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->line.setGeneratorSeed(seed);
}

bool SimServer::addGenerator(const QString &origin, int station, SimArea area, int element, SimType type, bool typed,
                             const SimGeneratorRecipe &recipe)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->line.addGenerator(station, area, element, type, typed, recipe, d->clock.elapsed()))
            return false;
    }
    d->inThread([&] { d->worker->startTicking(); });
    logChange(SimLogEntry::change(origin, station, QStringLiteral("generator started"), SimLabel{area, element}.text(),
                                  (typed ? SimTypes::name(type) + QLatin1Char(' ') : QString()) + recipe.text()));
    return true;
}

QList<SimGenerated> SimServer::generators() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->line.generators();
}

int SimServer::stopGenerators(const QString &origin, int station, SimArea area, int element)
{
    const QString why = QStringLiteral("stopped by the %1").arg(origin);
    int stopped = 0;
    d->logged([&] {
        const int before = d->line.generators().size();
        if (area == SimArea::None) {
            for (const SimGenerated &generated : d->line.generators())
                d->line.stopGenerators(generated.station, SimTypes::span(generated.area, generated.element, generated.type(), 1),
                                      origin, why);
        } else {
            d->line.stopGenerators(station, SimTypes::span(area, element, SimType::Bool, 1), origin, why);
        }
        stopped = before - d->line.generators().size();
        return true;
    });
    return stopped;
}

void SimServer::load(const QString &origin, const QString &name, const QList<SimMemoryFile::Assignment> &assignments)
{
    int generated = 0;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        const QList<int> stations = d->line.stations();
        d->line.stopAllGenerators();
        for (const int station : stations) {
            SimMemory memory;
            SimMemoryFile::apply(assignments, &memory, station, stations.first());
            d->line.plcOf(station)->memory() = memory;
        }
        for (const SimMemoryFile::Assignment &assignment : assignments) {
            if (assignment.generated && d->line.addGenerator(assignment.stationOr(stations.first()), assignment.area,
                                                            assignment.element, assignment.type, assignment.typed,
                                                            assignment.generator, d->clock.elapsed()))
                ++generated;
        }
    }
    if (generated > 0)
        d->inThread([&] { d->worker->startTicking(); });
    logChange(SimLogEntry::change(origin, -1, QStringLiteral("memory loaded"), QString(),
                                  QStringLiteral("%1: %2 line(s), %3 generator(s)").arg(name).arg(assignments.size()).arg(generated)));
}

QString SimServer::memoryFile() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const QList<int> stations = d->line.stations();
    QString text;
    for (const int station : stations) {
        QList<SimMemoryFile::Assignment> generators;
        for (const SimGenerated &generated : d->line.generators()) {
            if (generated.station != station)
                continue;
            SimMemoryFile::Assignment assignment;
            assignment.area = generated.area;
            assignment.element = generated.element;
            assignment.type = generated.type();
            assignment.typed = generated.typed;
            assignment.generated = true;
            assignment.generator = generated.generator.recipe();
            generators << assignment;
        }
        text += SimMemoryFile::dump(d->line.plcOf(station)->memory(), stations.size() == 1 ? -1 : station, generators);
    }
    return text;
}
