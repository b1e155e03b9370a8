// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary connection strings through ConnectDrive, with nothing reachable
// behind them: every serial port name is moved under a directory that does
// not exist, and every TCP address that parses goes to a loopback port that
// is bound but not listening, so a connection is refused at once and no
// byte leaves the machine. Then the rest of the lifecycle runs on the
// driver, which must answer with its documented codes.
#include "FuzzBytes.h"
#include "FuzzTargets.h"
#include "RefusingPort.h"

#include "LibNorvoTCP.h"
#include "connectionstring.h"
#include "labelstatus.h"

#include <QtCore/QDir>
#include <QtNetwork/QHostAddress>

namespace {

constexpr char unreachableDir[] = "/nonexistent-norvo-fuzz/";

// Qt's serial port takes a lock file named after the port in the first
// writable one of these folders. A port name with a NUL character leaves
// its lock file behind (cut at the NUL, it cannot be removed by its name),
// and a later process that finds such a stale file recurses without end in
// QLockFile; so none may stay behind between inputs.
void removeLockFilesLeft()
{
    for (const char *folder : { "/var/lock", "/run/lock", "/tmp", "/var/tmp" }) {
        QDir dir(QString::fromLatin1(folder));
        const QStringList left = dir.entryList({ QStringLiteral("LCK.._nonexistent-norvo-fuzz_*") },
                                               QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &name : left)
            dir.remove(name);
    }
}

// The text with whatever it could reach replaced by something unreachable;
// the parts that only decide the outcome stay as they are.
QString unreachable(const QString &text)
{
    const ConnectionString parsed = ConnectionString::parse(text);
    switch (parsed.kind) {
    case ConnectionString::Serial:
        return QLatin1String(unreachableDir) + text; // the port name comes first
    case ConnectionString::Tcp:
        if (parsed.isComplete() && !QHostAddress(parsed.host).isNull())
            return QStringLiteral("127.0.0.1:%1").arg(refusingPort());
        return text; // refused before any socket is touched
    case ConnectionString::Unrecognised:
        break;
    }
    return text;
}

} // namespace

namespace NorvoFuzz {

void connectionStrings(const uint8_t *data, size_t size)
{
    // One long-lived driver sees every input in turn, as a host that
    // reconnects; a fresh one now and then covers the first connect.
    if (refusingPort() == 0)
        NorvoFuzz::fail("a loopback port to hold", __FILE__, __LINE__);
    // An earlier run stopped between an input and its clean-up may have left one.
    static const bool startedClean = (removeLockFilesLeft(), true);
    Q_UNUSED(startedClean);
    static LibNorvoTCP *driver = new LibNorvoTCP;
    FuzzBytes in(data, size);
    if (in.flag()) {
        delete driver;
        driver = new LibNorvoTCP;
    }
    const QString station = in.text(8);
    const QString original = in.text(int(qMax<size_t>(in.remaining(), 1)));

    // The parse itself, on the untouched text.
    const ConnectionString parsed = ConnectionString::parse(original);
    if (parsed.kind == ConnectionString::Tcp && parsed.isComplete())
        FUZZ_CHECK(parsed.port >= 1 && parsed.port <= 0xFFFF && !parsed.host.isEmpty());
    if (parsed.kind == ConnectionString::Serial && parsed.isComplete())
        FUZZ_CHECK(!parsed.portName.isEmpty());
    if (parsed.kind == ConnectionString::Unrecognised)
        FUZZ_CHECK(!original.contains(QLatin1Char(',')) && !original.contains(QLatin1Char(':'))
                   && !original.contains(QLatin1Char(';')));

    const int stationNo = driver->SetConnectPar(station);
    FUZZ_CHECK(stationNo == -1 || (stationNo >= 0 && stationNo <= 0xFF));

    // Nothing answers, so nothing may report a link.
    const QString text = unreachable(original);
    const int connected = driver->ConnectDrive(text);
    if (parsed.kind == ConnectionString::Serial)
        removeLockFilesLeft();
    FUZZ_CHECK(connected == -1 || connected == -3 || connected == -4);
    if (parsed.kind == ConnectionString::Unrecognised)
        FUZZ_CHECK(connected == -4);
    if (!parsed.isComplete())
        FUZZ_CHECK(connected == -1 || connected == -4);

    const CLabelVariable read = driver->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
    FUZZ_CHECK(read.status == LabelStatus::NotConnected && !read.value.isValid());
    CLabelVariable record;
    record.value = QVariant::fromValue(QList<short>{ 1, 2 });
    const CLabelVariable written = driver->WriteVariable(QStringLiteral("D100"), DT_Int16, record, 2);
    FUZZ_CHECK(written.status == LabelStatus::NotConnected);

    if (in.flag()) {
        const int closed = driver->DisConnectDrive();
        FUZZ_CHECK(closed == 0 || closed == 1);
    }
    if (in.flag()) {
        // Each call tears down one link object (the serial side first).
        int freed = driver->DestroyFree();
        for (int more = 0; freed == 0 && more < 2; ++more)
            freed = driver->DestroyFree();
        FUZZ_CHECK(freed == 1);
    }
}

} // namespace NorvoFuzz
