// SPDX-License-Identifier: LGPL-2.1-or-later
// A stream of bytes arriving while answers are owed: frames cut out of it,
// owed answers dropped, frames nothing owes putting stations out of step, a
// synchronising read chosen. Whatever arrives, a cut frame runs from a
// start byte to the next end byte, only a frame that fits an owed request
// is dropped as owed, and the synchronising read's good answer can be no
// answer of unknown age.
#include "FuzzBytes.h"
#include "FuzzTargets.h"

#include "AreaType.h"
#include "OwedAnswers.h"
#include "simframe.h"

#include <QtCore/QList>

namespace {

const int areas[] = { NorvoArea::Area_D, NorvoArea::Area_RT, NorvoArea::Area_WX, NorvoArea::Area_WY };
const NorvoCommand *const commands[] = { &NorvoCommand::BitRead, &NorvoCommand::RegisterRead,
                                         &NorvoCommand::RegisterWrite };

// A PLC's answer to a request: its error code, and data characters made
// of fill's digits.
QByteArray answer(const NorvoRequest &request, char error, int dataChars, quint8 fill)
{
    SimRequest asReceived;
    asReceived.station = request.station();
    asReceived.command = request.frame().mid(3, 2);
    QByteArray data;
    for (int i = 0; i < dataChars; ++i)
        data += QByteArray::number(i % 2 ? fill & 0xF : 1, 16).toUpper();
    return SimFrame::answer(asReceived, error, data);
}

} // namespace

namespace NorvoFuzz {

void owedAnswers(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    OwedAnswers owed;
    QList<NorvoRequest> requests;
    const int station = in.inRange(0, 2);
    for (int n = in.byte() % 10; n > 0; --n) {
        const NorvoRequest request(*commands[in.byte() % 3], in.inRange(0, 2), "0000",
                                   in.inRange(0, 6), areas[in.byte() % 4], QByteArray(24, 1));
        requests << request;
        owed.owe(request.answerShape());
        if (in.byte() < 40)
            owed.linkOpened();
    }

    // The stream: raw bytes, and answers to the owed requests, good or
    // refused, whole or cut.
    QByteArray stream;
    for (int n = in.byte() % 8; n > 0 && !in.atEnd(); --n) {
        if (in.flag() || requests.isEmpty()) {
            stream += in.bytes(24);
            continue;
        }
        const NorvoRequest &request = requests.at(in.byte() % requests.size());
        const bool refused = in.flag();
        QByteArray frame = answer(request, refused ? '6' : '0',
                                  refused ? 0 : qMax(request.expectedDataChars(), 0), in.byte());
        if (in.flag())
            frame = frame.mid(in.inRange(0, frame.size()));
        stream += frame;
    }

    NorvoFrame::FrameCutter cutter(stream.constData(), stream.size());
    const char *at = nullptr;
    int frameSize = 0;
    while (cutter.next(&at, &frameSize)) {
        const QByteArray frame(at, frameSize);
        FUZZ_CHECK(frame.startsWith(0x02) && frame.endsWith(0x03));
        FUZZ_CHECK(frame.count(char(0x02)) == 1 && frame.count(char(0x03)) == 1);
        bool fitsOwed = false;
        for (const NorvoRequest &request : requests)
            fitsOwed = fitsOwed || request.answerShape().fits(frame);
        const int before = owed.size();
        if (owed.dropIfOwed(frame))
            FUZZ_CHECK(fitsOwed);
        else if (NorvoFrame::isIntact(frame))
            owed.loseCount(frame);
        FUZZ_CHECK(owed.size() <= before);
    }
    // What stays is a frame still arriving, or nothing.
    const QByteArray left = stream.mid(cutter.used());
    FUZZ_CHECK(left.isEmpty() || (left.startsWith(0x02) && !left.contains(0x03)
                                  && left.count(char(0x02)) == 1));

    // The synchronising read for a register read of the station: its good
    // answer is of another command.
    const NorvoRequest next(NorvoCommand::RegisterRead, station, "0100", 1, areas[0]);
    bool found = false;
    const NorvoRequest sync = owed.synchronisingRead(next.answerShape(), &found);
    FUZZ_CHECK(found);
    const QByteArray good = answer(sync, '0', sync.expectedDataChars(), 0);
    FUZZ_CHECK(sync.answerShape().fits(good));
    // Where anyone's answers may come, its shape is one nobody is likely to
    // have used; otherwise none the station may still send.
    FUZZ_CHECK(owed.mayComeInAnyShape(sync.answerShape().echo) || !owed.mayBeStale(good));
    FUZZ_CHECK(!next.answerShape().fits(good));
}

} // namespace NorvoFuzz
