#ifndef NORVO_CLI_SESSION_H
#define NORVO_CLI_SESSION_H

#include "Invocation.h"
#include "ResultText.h"

#include <QtCore/QTextStream>

#include <csignal>

class CDriveBaseClass;

// One run of a command against one driver, as the host would drive it:
// debug switch, station, connection, then the reads and writes. Results go
// to `out`, problems to `err`. Closing the link is left to the caller.
class Session
{
public:
    Session(CDriveBaseClass *driver, QTextStream &out, QTextStream &err);

    // The exit status. `pluginFile` is shown by info; a poll stops at the
    // next read once *stop is set.
    int run(const Invocation &invocation, const QString &pluginFile,
            const volatile std::sig_atomic_t *stop);

private:
    int info(const Invocation &invocation, const QString &pluginFile);
    int read(const Invocation &invocation);
    int write(const Invocation &invocation);
    int poll(const Invocation &invocation, const volatile std::sig_atomic_t *stop);

    bool connect(const Invocation &invocation);
    // False, with the reason on err, unless ConnectDrive's result is 0.
    bool reportConnection(const QString &connection, int result);
    LabelResult readOnce(const Invocation &invocation);
    // Shows one result; false (with the reason on err) unless it is usable.
    bool show(const LabelResult &result, ResultTable *table, bool first,
              const Invocation &invocation);

    CDriveBaseClass *driver_;
    QTextStream &out_;
    QTextStream &err_;
};

#endif
