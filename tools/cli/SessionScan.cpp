// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"

#include "CDriveBaseClass.h"
#include "StatusText.h"
#include "FrameTrace.h"
#include "LinkProbe.h"

#include <QtCore/QElapsedTimer>

#include <unistd.h>

namespace {

// One line setting to try: the connection string and how it is shown.
struct LineSetting {
    QString connection;
    QString text; // "9600 8N1"; empty for TCP
};

QList<LineSetting> settingsToTry(const Invocation &invocation)
{
    if (!invocation.serial())
        return {LineSetting{invocation.connection, QString()}};
    const QStringList fields = invocation.connection.split(QLatin1Char(','));
    LineFormat own;
    own.dataBits = fields.at(2).toInt();
    own.stopBits = fields.at(3).toInt();
    own.parity = fields.at(4).at(0).toUpper();
    const QList<int> bauds = invocation.bauds.isEmpty() ? QList<int>{fields.at(1).toInt()}
                                                        : invocation.bauds;
    const QList<LineFormat> formats = invocation.formats.isEmpty() ? QList<LineFormat>{own}
                                                                   : invocation.formats;
    QList<LineSetting> settings;
    for (const int baud : bauds) {
        for (const LineFormat &format : formats) {
            LineSetting setting;
            setting.connection = QStringLiteral("%1,%2,%3,%4,%5")
                                     .arg(fields.at(0))
                                     .arg(baud)
                                     .arg(format.dataBits)
                                     .arg(format.stopBits)
                                     .arg(format.parity);
            setting.text = QStringLiteral("%1 %2").arg(baud).arg(format.text());
            settings << setting;
        }
    }
    return settings;
}

void showAnswer(Output &output, int station, const QString &connection, const LabelResult &answer)
{
    QString text = QStringLiteral("station %1 answers on %2").arg(station).arg(connection);
    if (answer.status != 0) {
        text += QStringLiteral(" (%1)").arg(answer.reason.isEmpty() ? QStringLiteral("unusable answer")
                                                                    : answer.reason);
    }
    QJsonObject object;
    object.insert(QStringLiteral("station"), station);
    object.insert(QStringLiteral("connection"), connection);
    object.insert(QStringLiteral("status"), answer.status);
    if (!answer.reason.isEmpty())
        object.insert(QStringLiteral("reason"), answer.reason);
    output.data(text, object);
}

} // namespace

// Asks every station of the range, at every line setting, for one register.
// A silent station costs the driver's whole answer timeout, which is what
// makes a full scan long.
int Session::scan(const Invocation &invocation, const volatile std::sig_atomic_t *stop)
{
    const bool progress = ::isatty(STDERR_FILENO);
    const QList<LineSetting> settings = settingsToTry(invocation);
    const int stations = invocation.lastStation - invocation.firstStation + 1;
    QElapsedTimer clock;
    clock.start();
    int tried = 0;
    int found = 0;
    bool done = false;
    if (invocation.serial() && settings.size() > 1
        && LinkProbe::isPseudoTerminal(invocation.connection.section(QLatin1Char(','), 0, 0))) {
        output_.note(QStringLiteral("this line is a pty, which cannot tell data bits or parity apart: "
                                    "every format will answer on it"));
    }
    for (const LineSetting &setting : settings) {
        if (done || *stop)
            break;
        // The line setting in use, where the progress line does not show it.
        if (settings.size() > 1 && !progress)
            output_.note(QStringLiteral("scanning at %1").arg(setting.text));
        driver_->DisConnectDrive();
        if (!connect(setting.connection))
            return ExitConnection;
        for (int station = invocation.firstStation; station <= invocation.lastStation; ++station) {
            if (*stop) {
                done = true;
                break;
            }
            if (progress) {
                output_.err() << "\rscanning "
                              << (setting.text.isEmpty() ? setting.connection : setting.text)
                              << ": station " << station << " ("
                              << station - invocation.firstStation + 1 << " of " << stations
                              << ")   " << Qt::flush;
            }
            driver_->SetConnectPar(QString::number(station));
            const LabelResult answer = readItem(stationProbe());
            ++tried;
            if (answer.status == StatusText::notConnected) {
                // Every later station would look silent.
                output_.error(QStringLiteral("the link was lost at station %1").arg(station),
                              ExitFailed);
                return ExitFailed;
            }
            // A refusal by the PLC (error code, or a damaged answer) is an answer too.
            if (answer.status != 0 && answer.status != 7)
                continue;
            ++found;
            if (progress)
                output_.err() << '\r' << QString(60, QLatin1Char(' ')) << '\r' << Qt::flush;
            showAnswer(output_, station, setting.connection, answer);
            if (invocation.firstOnly) {
                done = true;
                break;
            }
        }
    }
    if (progress)
        output_.err() << '\r' << QString(60, QLatin1Char(' ')) << '\r' << Qt::flush;

    const double seconds = clock.elapsed() / 1000.0;
    QJsonObject summary;
    summary.insert(QStringLiteral("tried"), tried);
    summary.insert(QStringLiteral("found"), found);
    summary.insert(QStringLiteral("seconds"), seconds);
    summary.insert(QStringLiteral("interrupted"), bool(*stop));
    output_.data(QStringLiteral("scan %1: %2 answering of %3 tried, %4 s")
                     .arg(*stop ? QStringLiteral("stopped") : QStringLiteral("done"))
                     .arg(found)
                     .arg(tried)
                     .arg(seconds, 0, 'f', 1),
                 summary);
    return found > 0 ? ExitOk : ExitFailed;
}
