// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef BUILDINFO_H
#define BUILDINFO_H

#include <QtCore/QDate>
#include <QtCore/QString>
#include <QtCore/QTime>

// The build text that DebugCmd(EDebugBuildInfo) answers, from the compiler's
// date and time texts.
namespace BuildInfo {

// "Dec 18 2023", or "Dec  7 2026" as compilers write a one-digit day.
QDate parseCompileDate(const QString &text);
// "11:13:59".
QTime parseCompileTime(const QString &text);
// "v1.2.3 2023-12-18 11:13:59".
QString buildText(const QDate &date, const QTime &time);

// This library's own build.
QDate compileDate();
QTime compileTime();

} // namespace BuildInfo

#endif // BUILDINFO_H
