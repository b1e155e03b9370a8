// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_TESTS_MESSAGECAPTURE_H
#define NORVO_TESTS_MESSAGECAPTURE_H

#include <QtCore/QList>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

// Collects everything written through Qt's message log while it lives
// (qDebug, qInfo, qWarning, qCritical), in order and by type. Installs its
// handler in the constructor and puts the previous one back in the
// destructor. Fatal messages still go to the previous handler.
//
//     MessageCapture log;
//     ... code under test ...
//     QCOMPARE(log.lines(QtWarningMsg), QStringList{"lib[Norvo]..."});
//
// One capture at a time; lines from any thread are collected.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    // The lines of one type, in the order they were written.
    QStringList lines(QtMsgType type) const;
    // Every line with its type, in order.
    QList<QPair<QtMsgType, QString>> all() const;
    int count() const;
    void clear();

    // Lines are also echoed to the previous handler when set (handy while
    // debugging a test); off by default.
    void setEcho(bool on);
};

#endif
