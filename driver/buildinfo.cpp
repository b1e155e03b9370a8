// SPDX-License-Identifier: LGPL-2.1-or-later
#include "buildinfo.h"

#include <QtCore/QLocale>

namespace BuildInfo {

QDate parseCompileDate(const QString &text)
{
    QString date = text;
    date.replace(QLatin1String("  "), QLatin1String(" "));
    // "d" takes one or two digits, so a build from the 1st to the 9th keeps its date.
    return QLocale(QLocale::English).toDate(date, QStringLiteral("MMM d yyyy"));
}

QTime parseCompileTime(const QString &text)
{
    return QTime::fromString(text, QStringLiteral("hh:mm:ss"));
}

QString buildText(const QDate &date, const QTime &time)
{
    return QStringLiteral("v" NORVO_VERSION " %1 %2")
        .arg(date.toString(QStringLiteral("yyyy-MM-dd")), 0, QLatin1Char(' '))
        .arg(time.toString(QStringLiteral("hh:mm:ss")), 0, QLatin1Char(' '));
}

QDate compileDate()
{
    return parseCompileDate(QStringLiteral(__DATE__));
}

QTime compileTime()
{
    return parseCompileTime(QStringLiteral(__TIME__));
}

} // namespace BuildInfo
