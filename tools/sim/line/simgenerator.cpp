// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simgenerator.h"

#include "ValueGrammar.h"

#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

#include <cmath>
#include <limits>

namespace {

struct KindInfo {
    SimGeneratorRecipe::Kind kind;
    const char *name;
    const char *arguments;     // as the error messages show them
    int fewest;
    int most;
};

const KindInfo kinds[] = {
    {SimGeneratorRecipe::Ramp, "ramp", "START, END, STEP, PERIOD", 4, 4},
    {SimGeneratorRecipe::Counter, "counter", "PERIOD[, STEP]", 1, 2},
    {SimGeneratorRecipe::Sine, "sine", "LOW, HIGH, PERIOD", 3, 3},
    {SimGeneratorRecipe::Walk, "walk", "LOW, HIGH, STEP, PERIOD", 4, 4},
    {SimGeneratorRecipe::Toggle, "toggle", "PERIOD", 1, 1},
    {SimGeneratorRecipe::Scan, "scan", "", 0, 0},
};

const KindInfo &infoOf(SimGeneratorRecipe::Kind kind)
{
    for (const KindInfo &info : kinds) {
        if (info.kind == kind)
            return info;
    }
    return kinds[0];
}

QString shortest(double number)
{
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

bool parseNumber(const QString &text, double *number)
{
    bool ok = false;
    *number = text.toDouble(&ok);
    return ok && std::isfinite(*number);
}

// "250", "250ms", "1.5s": whole milliseconds from 1 to an hour.
bool parsePeriod(const QString &text, qint64 *ms)
{
    QString digits = text;
    double scale = 1;
    if (digits.endsWith(QLatin1String("ms"))) {
        digits.chop(2);
    } else if (digits.endsWith(QLatin1Char('s'))) {
        digits.chop(1);
        scale = 1000;
    }
    double number = 0;
    if (!parseNumber(digits.trimmed(), &number))
        return false;
    const double total = number * scale;
    if (total < 1 || total > 3600000 || total != std::floor(total))
        return false;
    *ms = qint64(total);
    return true;
}

QString periodText(qint64 ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1s").arg(ms / 1000) : QStringLiteral("%1ms").arg(ms);
}

quint64 maskOf(SimType type)
{
    const int bits = SimTypes::bits(type);
    return bits >= 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
}

// The lowest and highest value of a type, as doubles; the values a
// generator writes are rounded into this for integer types.
struct Range {
    double lowest;
    double highest;
};

Range rangeOf(SimType type)
{
    if (SimTypes::isFloat(type)) {
        const double largest = SimTypes::bits(type) == 32 ? double(std::numeric_limits<float>::max())
                                                         : std::numeric_limits<double>::max();
        return {-largest, largest};
    }
    if (type == SimType::Bool)
        return {0, 1};
    const int width = SimTypes::bits(type);
    const double span = std::ldexp(1.0, SimTypes::isSigned(type) ? width - 1 : width);
    return {SimTypes::isSigned(type) ? -span : 0.0, width >= 53 ? std::nextafter(span, 0.0) : span - 1};
}

} // namespace

QString SimGeneratorRecipe::problemIn(SimType type) const
{
    const Range range = rangeOf(type);
    const bool whole = !SimTypes::isFloat(type);
    const auto held = [&](double number) {
        const double written = whole ? std::round(number) : number;
        return written >= range.lowest && written <= range.highest;
    };
    const auto outside = [&](const char *name, double number) {
        return QStringLiteral("%1: %2 %3").arg(text(), QLatin1String(name), ValueGrammar::outOfRange(shortest(number), type));
    };
    QList<QPair<const char *, double>> bounds;
    if (kind == Ramp)
        bounds = {{"START", low}, {"END", high}};
    else if (kind == Sine || kind == Walk)
        bounds = {{"LOW", low}, {"HIGH", high}};
    for (const auto &bound : qAsConst(bounds)) {
        if (!held(bound.second))
            return outside(bound.first, bound.second);
    }
    if (kind != Ramp && kind != Counter && kind != Walk)
        return QString();
    // A step longer than the type's whole range lands nowhere in it; a
    // counter's step, rounded for an integer type, must still move it.
    if (std::fabs(step) > range.highest - range.lowest) {
        return QStringLiteral("%1: STEP %2 is more than the whole range of %3 (%4 to %5)")
                .arg(text(), shortest(step), SimTypes::name(type), shortest(range.lowest), shortest(range.highest));
    }
    if (kind == Counter && whole && std::llround(step) == 0) {
        return QStringLiteral("%1: STEP %2 rounds to 0 in %3, the counter would never move")
                .arg(text(), shortest(step), SimTypes::name(type));
    }
    return QString();
}

bool SimGeneratorRecipe::looksLikeOne(const QString &text)
{
    static const QRegularExpression call(QStringLiteral("^\\s*[A-Za-z]+\\s*\\(.*\\)\\s*$"));
    return call.match(text).hasMatch();
}

bool SimGeneratorRecipe::parse(const QString &text, SimGeneratorRecipe *recipe, QString *error)
{
    static const QRegularExpression call(QStringLiteral("^\\s*([A-Za-z]+)\\s*\\((.*)\\)\\s*$"));
    const QRegularExpressionMatch match = call.match(text);
    const KindInfo *info = nullptr;
    for (const KindInfo &kind : kinds) {
        if (match.hasMatch() && match.captured(1).compare(QLatin1String(kind.name), Qt::CaseInsensitive) == 0)
            info = &kind;
    }
    if (!info) {
        QStringList names;
        for (const KindInfo &kind : kinds)
            names << QStringLiteral("%1(%2)").arg(QLatin1String(kind.name), QLatin1String(kind.arguments));
        *error = QStringLiteral("\"%1\" is no generator (%2)").arg(text.trimmed(), names.join(QStringLiteral(", ")));
        return false;
    }
    QStringList arguments;
    if (!match.captured(2).trimmed().isEmpty()) {
        for (const QString &argument : match.captured(2).split(QLatin1Char(',')))
            arguments << argument.trimmed();
    }
    const QString usage = QStringLiteral("%1(%2)").arg(QLatin1String(info->name), QLatin1String(info->arguments));
    if (arguments.size() < info->fewest || arguments.size() > info->most) {
        *error = QStringLiteral("%1 takes %2").arg(QLatin1String(info->name), usage);
        return false;
    }

    SimGeneratorRecipe read;
    read.kind = info->kind;
    // The period is the last argument, except for a counter's step.
    const int periodAt = info->kind == Counter ? 0 : int(arguments.size()) - 1;
    QList<double> numbers;
    for (int i = 0; i < arguments.size(); ++i) {
        if (i == periodAt) {
            if (!parsePeriod(arguments.at(i), &read.periodMs)) {
                *error = QStringLiteral("%1: the period is milliseconds from 1 to 3600000 (\"250ms\", \"2s\"), not \"%2\"")
                        .arg(usage, arguments.at(i));
                return false;
            }
            continue;
        }
        double number = 0;
        if (!parseNumber(arguments.at(i), &number)) {
            *error = QStringLiteral("%1: \"%2\" is no number").arg(usage, arguments.at(i));
            return false;
        }
        numbers << number;
    }
    switch (read.kind) {
    case Ramp:
        read.low = numbers.at(0);
        read.high = numbers.at(1);
        read.step = numbers.at(2);
        if (read.step == 0 || (read.high - read.low) * read.step < 0) {
            *error = QStringLiteral("%1: the step must lead from START to END").arg(usage);
            return false;
        }
        break;
    case Counter:
        read.step = numbers.value(0, 1);
        if (read.step == 0) {
            *error = QStringLiteral("%1: the step must not be 0").arg(usage);
            return false;
        }
        break;
    case Sine:
    case Walk:
        read.low = numbers.at(0);
        read.high = numbers.at(1);
        read.step = numbers.value(2, 0);
        if (read.low > read.high || read.step < 0) {
            *error = QStringLiteral("%1: LOW must not be above HIGH%2")
                    .arg(usage, read.kind == Walk ? QStringLiteral(", nor STEP below 0") : QString());
            return false;
        }
        break;
    case Toggle:
    case Scan:
        break;
    }
    if (read.kind == Scan)
        read.periodMs = scanMs;
    *recipe = read;
    return true;
}

QString SimGeneratorRecipe::text() const
{
    const QString name = QLatin1String(infoOf(kind).name);
    const QString period = periodText(periodMs);
    switch (kind) {
    case Ramp:
        return QStringLiteral("%1(%2, %3, %4, %5)").arg(name, shortest(low), shortest(high), shortest(step), period);
    case Counter:
        return step == 1 ? QStringLiteral("%1(%2)").arg(name, period)
                         : QStringLiteral("%1(%2, %3)").arg(name, period, shortest(step));
    case Sine:
        return QStringLiteral("%1(%2, %3, %4)").arg(name, shortest(low), shortest(high), period);
    case Walk:
        return QStringLiteral("%1(%2, %3, %4, %5)").arg(name, shortest(low), shortest(high), shortest(step), period);
    case Toggle:
        return QStringLiteral("%1(%2)").arg(name, period);
    case Scan:
        break;
    }
    return name + QStringLiteral("()");
}

SimGenerator::SimGenerator(const SimGeneratorRecipe &recipe, SimType type, quint32 seed)
    : how(recipe), typeOf(type), random(seed), walked((recipe.low + recipe.high) / 2)
{
}

quint64 SimGenerator::valueAt(qint64 elapsedMs)
{
    const qint64 steps = qMax<qint64>(0, elapsedMs) / how.periodMs;
    switch (how.kind) {
    case SimGeneratorRecipe::Ramp: {
        const qint64 values = qint64(std::floor((how.high - how.low) / how.step)) + 1;
        return patternOf(how.low + double(steps % values) * how.step);
    }
    case SimGeneratorRecipe::Counter:
    case SimGeneratorRecipe::Scan:
        if (SimTypes::isFloat(typeOf))
            return patternOf(double(steps) * how.step);
        // Two's complement wraps the way a PLC's counter does.
        return quint64(steps) * quint64(qint64(std::llround(how.step))) & maskOf(typeOf);
    case SimGeneratorRecipe::Sine: {
        const double turn = double(qMax<qint64>(0, elapsedMs) % how.periodMs) / double(how.periodMs);
        const double middle = (how.low + how.high) / 2;
        return patternOf(middle + (how.high - how.low) / 2 * std::sin(2 * M_PI * turn));
    }
    case SimGeneratorRecipe::Walk:
        for (; stepsTaken < steps; ++stepsTaken) {
            // Drawn from the raw generator: the same on every platform.
            const double unit = double(random()) / 4294967295.0;
            walked = qBound(how.low, walked + (2 * unit - 1) * how.step, how.high);
        }
        return patternOf(walked);
    case SimGeneratorRecipe::Toggle:
        return patternOf(double(steps % 2));
    }
    return 0;
}

quint64 SimGenerator::patternOf(double number) const
{
    if (typeOf == SimType::Bool)
        return number != 0 ? 1 : 0;
    quint64 pattern = 0;
    QString unused;
    if (SimTypes::isFloat(typeOf)) {
        if (!SimTypes::fromNumber(typeOf, number, &pattern, &unused))
            SimTypes::fromNumber(typeOf, number < 0 ? -3.4e38 : 3.4e38, &pattern, &unused);
        return pattern;
    }
    // Kept within the type: the largest value a double holds below its top.
    const int width = SimTypes::bits(typeOf);
    const double span = std::ldexp(1.0, SimTypes::isSigned(typeOf) ? width - 1 : width);
    const double lowest = SimTypes::isSigned(typeOf) ? -span : 0.0;
    const double highest = width >= 53 ? std::nextafter(span, 0.0) : span - 1;
    SimTypes::fromNumber(typeOf, qBound(lowest, std::round(number), highest), &pattern, &unused);
    return pattern;
}
