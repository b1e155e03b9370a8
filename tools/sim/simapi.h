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
//   GET    /api/log?since=SEQ
//   GET    /api/faults
//   POST   /api/faults         {"kind":K,"every":N,"chance":P,"ms":MS,"code":C}
//   DELETE /api/faults         all of them
//   DELETE /api/faults/KIND    one of them
//   POST   /api/links/drop
//   GET    /api/status
//
// A bad request is answered 400 with {"error":"..."} and changes nothing.
// Every function may be called from several threads at once.
class SimApi
{
public:
    struct Reply {
        int status = 200;
        QByteArray body;       // JSON
    };

    SimApi(SimServer *plc, const SimLinkInfo &info);

    Reply handle(const QString &method, const QString &path, const QMap<QString, QString> &query,
                 const QByteArray &body);

    // The kinds of fault, as the command line names them.
    static QStringList faultKinds();

private:
    Reply getMemory(const QString &label, const QMap<QString, QString> &query);
    Reply putMemory(const QString &label, const QMap<QString, QString> &query, const QByteArray &body);
    Reply getLog(const QMap<QString, QString> &query);
    Reply getFaults();
    Reply addFault(const QByteArray &body);
    Reply clearFaults(const QString &kind);
    Reply dropLinks();
    Reply getStatus();

    SimServer *plc;
    SimLinkInfo info;
    std::mutex faultChange;    // one read-change-write of the faults at a time
};

#endif
