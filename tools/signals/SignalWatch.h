// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_SIGNALWATCH_H
#define NORVO_SIGNALWATCH_H

#include <QtCore/QObject>

#include <initializer_list>

class QSocketNotifier;

// Unix signals as Qt signals on the thread's event loop. The handler only
// writes the signal's number to a socket pair; the rest runs outside it.
// One watch a process; SIGPIPE is ignored, so that a reader that went away
// does not end the program.
class SignalWatch : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatch(QObject *parent = nullptr);
    ~SignalWatch() override;

    // False when the socket pair cannot be made.
    bool watch(std::initializer_list<int> numbers);

signals:
    void received(int number);

private:
    QSocketNotifier *notifier_ = nullptr;
};

#endif
