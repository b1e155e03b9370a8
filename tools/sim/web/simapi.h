// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMAPI_H
#define SIMAPI_H

#include <QtCore/QByteArray>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <mutex>

class SimServer;

// What the web console shows about the link besides the PLC itself.
struct SimLinkInfo {
    QString link;          // the line norvo-sim printed: "pty /dev/pts/3", ...
    QString settings;      // "9600,8,1,N" when the line has settings to match
    QString ptyLink;       // the stable symlink to the pty, if any
    bool gateway = false;  // TCP behind a serial-to-Ethernet gateway
};

// The REST API of the simulator, apart from HTTP: one request in, one JSON
// answer out. Labels and types are the norvo command line's.
//
//   GET    /api/memory/LABEL?count=N&type=T&station=S
//   PUT    /api/memory/LABEL   {"type":T,"values":[...],"station":S}
//   GET    /api/memory-file    the memory as a memory file (text)
//   PUT    /api/memory-file?name=FILE   a memory file (text) replaces the memory
//   GET    /api/log?since=SEQ&failed=1&station=S&label=L
//   GET    /api/log.csv?...    the same as CSV
//   GET    /api/faults
//   POST   /api/faults         {"kind":K,"every":N,"chance":P,"ms":MS,"code":C}
//   DELETE /api/faults         all of them
//   DELETE /api/faults/KIND    one of them
//   GET    /api/generators
//   POST   /api/generators     {"label":L,"type":T,"station":S,"generator":"ramp(0, 100, 5, 1s)"}
//   DELETE /api/generators     all of them
//   DELETE /api/generators/LABEL?station=S
//   POST   /api/links/drop
//   GET    /api/status
//
// A bad request is answered 400 with {"error":"..."} and changes nothing;
// unknown fields and query parameters are refused. Changes are logged with
// their origin: "page" for the web console, "api" otherwise. Every
// function may be called from several threads at once.
class SimApi
{
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        QString fileName;      // offered for saving when set
    };

    SimApi(SimServer *plc, const SimLinkInfo &info);

    // `origin` is "page" or "api", for the log.
    Reply handle(const QString &method, const QString &path, const QMap<QString, QString> &query,
                 const QByteArray &body, const QString &origin = QStringLiteral("api"));

    // The kinds of fault, as the command line names them.
    static QStringList faultKinds();

private:
    Reply route(const QString &method, const QString &path, const QMap<QString, QString> &query,
                const QByteArray &body, const QString &origin);
    Reply getMemory(const QString &label, const QMap<QString, QString> &query);
    Reply putMemory(const QString &label, const QMap<QString, QString> &query, const QByteArray &body,
                    const QString &origin);
    Reply getMemoryFile();
    Reply putMemoryFile(const QMap<QString, QString> &query, const QByteArray &body, const QString &origin);
    Reply getLog(const QMap<QString, QString> &query, bool csv);
    Reply getFaults();
    Reply addFault(const QByteArray &body, const QString &origin);
    Reply clearFaults(const QString &kind, const QString &origin);
    Reply getGenerators();
    Reply addGenerator(const QByteArray &body, const QString &origin);
    Reply stopGenerators(const QString &label, const QMap<QString, QString> &query, const QString &origin);
    Reply dropLinks(const QString &origin);
    Reply getStatus();

    SimServer *plc;
    SimLinkInfo info;
    QString runId;             // new each run, so a page notices a restart
    std::mutex faultChange;    // one read-change-write of the faults at a time
};

#endif
