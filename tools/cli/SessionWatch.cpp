// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"

#include "CDriveBaseClass.h"
#include "FrameTrace.h"
#include "StatusText.h"
#include "ValueText.h"
#include "WatchRecorder.h"
#include "WatchServer.h"

namespace {

// Hands the poll's results and events to the page, and the page's writes
// to the driver.
class PageObserver final : public PollObserver
{
public:
    PageObserver(WatchRecorder &recorder, WatchServer &server, WatchServer::Writer writer)
        : recorder_(recorder), server_(server), writer_(std::move(writer))
    {
    }

    void result(int item, const LabelResult &result) override { recorder_.add(item, result); }
    void event(const QString &name, const QString &detail) override { recorder_.addEvent(name, detail); }
    void serve() override { server_.serveWrites(writer_); }

private:
    WatchRecorder &recorder_;
    WatchServer &server_;
    WatchServer::Writer writer_;
};

} // namespace

// A poll whose results also go to a page on loopback, with a trend; the
// page may write to the watched labels when --allow-write allows it.
int Session::watch(const Invocation &invocation, const volatile std::sig_atomic_t *stop)
{
    WatchRecorder recorder(invocation.items, qint64(invocation.keepMinutes) * 60 * 1000);
    const QJsonObject about{{QStringLiteral("connection"), invocation.connection},
                            {QStringLiteral("interval_ms"), invocation.intervalMs}};
    WatchServer server(recorder, about, invocation.allowWrite);
    QString error;
    if (!server.start(invocation.httpHost, invocation.httpPort, &error)) {
        output_.error(error, ExitUsage);
        return ExitUsage;
    }
    // The URL is the first line, so that a script can read it; CSV on
    // stdout stays CSV, so there it goes with the notes.
    if (invocation.format == Invocation::Csv || invocation.format == Invocation::CsvWide)
        output_.note(QStringLiteral("watch %1").arg(server.url()));
    else
        output_.data(QStringLiteral("watch %1").arg(server.url()),
                     QJsonObject{{QStringLiteral("watch"), server.url()}});
    output_.note(QStringLiteral("the page is at %1%2").arg(server.url(),
                 invocation.allowWrite ? QStringLiteral(" (writes allowed)") : QString()));
    const bool loopback = invocation.httpHost.startsWith(QLatin1String("127."))
                          || invocation.httpHost == QLatin1String("::1");
    if (!loopback) {
        output_.note(QStringLiteral("the page is open to every machine that reaches %1%2")
                         .arg(invocation.httpHost,
                              invocation.allowWrite ? QStringLiteral(", and so are the writes") : QString()));
    }

    // The server has checked the value texts as norvo write does.
    auto writer = [&](int index, const QVariant &values, int count) {
        const ReadItem &item = invocation.items.at(index);
        QStringList texts;
        ValueText::formatValues(item.type, values, ValueText::Style::Plain, &texts);
        const LabelResult result = writeValues(item.label, item.type, values, count, count > 1);
        const QString outcome = QStringLiteral("page wrote %1 %2 %3: status %4 %5%6")
                                    .arg(item.label, ValueText::typeName(item.type), texts.join(QLatin1Char(' ')))
                                    .arg(result.status)
                                    .arg(StatusText::labelStatus(result.status),
                                         result.reason.isEmpty() ? QString() : QStringLiteral(": ") + result.reason);
        output_.note(outcome);
        recorder.addEvent(QStringLiteral("write"), outcome);
        return result;
    };
    PageObserver observer(recorder, server, writer);
    const int exitCode = poll(invocation, stop, &observer);
    server.stop();
    return exitCode;
}
