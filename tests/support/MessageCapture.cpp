// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MessageCapture.h"

#include <QtCore/QMutex>
#include <QtCore/QMutexLocker>

namespace {

QMutex captureMutex;
QList<QPair<QtMsgType, QString>> captured;
QtMessageHandler previousHandler = nullptr;
bool echo = false;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        QMutexLocker lock(&captureMutex);
        captured.append(qMakePair(type, text));
        if (!echo)
            return;
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

MessageCapture::MessageCapture()
{
    QMutexLocker lock(&captureMutex);
    captured.clear();
    echo = false;
    previousHandler = qInstallMessageHandler(collect);
}

MessageCapture::~MessageCapture()
{
    QMutexLocker lock(&captureMutex);
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
    captured.clear();
}

QStringList MessageCapture::lines(QtMsgType type) const
{
    QMutexLocker lock(&captureMutex);
    QStringList out;
    for (const auto &line : qAsConst(captured)) {
        if (line.first == type)
            out << line.second;
    }
    return out;
}

QList<QPair<QtMsgType, QString>> MessageCapture::all() const
{
    QMutexLocker lock(&captureMutex);
    return captured;
}

int MessageCapture::count() const
{
    QMutexLocker lock(&captureMutex);
    return captured.size();
}

void MessageCapture::clear()
{
    QMutexLocker lock(&captureMutex);
    captured.clear();
}

void MessageCapture::setEcho(bool on)
{
    QMutexLocker lock(&captureMutex);
    echo = on;
}
