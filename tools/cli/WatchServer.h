// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_WATCHSERVER_H
#define NORVO_CLI_WATCHSERVER_H

#include "ResultText.h"

#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

#include <functional>
#include <memory>

class WatchRecorder;

// watch's page and the JSON behind it, served over HTTP from threads of
// its own. It reads the recorder; a write from the page is handed to the
// poll's thread (the driver's) and waited for.
class WatchServer
{
public:
    // Runs one write on the driver's thread: item index, and the values as
    // the record holds them (ValueText::parseValues), `count` of them.
    using Writer = std::function<LabelResult(int item, const QVariant &values, int count)>;

    // `about` (the connection, the interval) goes to the page with the items.
    WatchServer(WatchRecorder &recorder, const QJsonObject &about, bool allowWrite);
    ~WatchServer();
    WatchServer(const WatchServer &) = delete;
    WatchServer &operator=(const WatchServer &) = delete;

    // Listens on host:port (port 0 picks a free one); false with `error` set.
    bool start(const QString &host, int port, QString *error);
    // "http://HOST:PORT/" once started.
    QString url() const;

    // Runs the writes the page asked for since the last call, with `writer`;
    // called by the poll between reads.
    void serveWrites(const Writer &writer);
    // Refuses writes still waiting and those to come: norvo is stopping.
    void stop();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif
