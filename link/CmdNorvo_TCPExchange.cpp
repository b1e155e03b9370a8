// One request, one answer: sending, waiting, what counts as the answer,
// and the answers still owed by earlier requests.
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"

#include <QtCore/QIODevice>

#include <algorithm>

namespace {

// The exchange's waits: up to firstBytesWaitMs for the first bytes of the
// answer, a pause of answerPauseMs once they are in, then a look every
// answerLookMs until the command's time-out.
constexpr int firstBytesWaitMs = 300;
constexpr int answerPauseMs = 5;
constexpr int answerLookMs = 10;
// The command's time-out, before the time on a serial line is added.
constexpr int answerPollMs = 50;

} // namespace

unsigned char CmdNorvo_TCP::cs_Check(QByteArray data, unsigned count)
{
    return NorvoFrame::checksum(data, count);
}

unsigned short CmdNorvo_TCP::GetHexconversionchar(unsigned short value)
{
    return NorvoFrame::hexChar(value);
}

unsigned short CmdNorvo_TCP::GetcharconversionHex(unsigned short code)
{
    return NorvoFrame::hexValue(code);
}

int CmdNorvo_TCP::Only_send(QByteArray frame)
{
    LinkTransport *link = activeLink();
    return link && link->write(frame) ? 0 : 1;
}

// Before a request goes out. While nothing is owed, whatever arrived since
// the last exchange is noise and goes. Otherwise what has arrived is taken
// in and the owed answers among it are dropped; a frame still arriving
// stays, as it may be one of them.
void CmdNorvo_TCP::takeStaleInput()
{
    LinkTransport *link = activeLink();
    owed.expire(clock.elapsed());
    if (owed.isEmpty()) {
        if (link)
            link->dropStaleInput();
        recvBuffer.clear();
        return;
    }
    if (link)
        recvBuffer.append(link->takeArrived());
    for (QByteArray frame = NorvoFrame::takeFrame(recvBuffer); !frame.isEmpty();
         frame = NorvoFrame::takeFrame(recvBuffer)) {
        owed.dropIfOwed(frame); // anything else is not awaited by anyone
    }
}

// Moves the answer, if one is in, from recvBuffer to reply. While nothing
// is owed the answer is the whole buffer once it ends in the end byte
// (data characters are hex digits, so that byte can only end a frame).
// Otherwise owed answers are dropped and the first other frame is taken.
bool CmdNorvo_TCP::takeAnswer(QByteArray &reply)
{
    if (owed.isEmpty()) {
        if (!recvBuffer.endsWith(NorvoFrame::EndByte))
            return false;
        reply = recvBuffer;
        recvBuffer.clear();
        return true;
    }
    for (;;) {
        const QByteArray frame = NorvoFrame::takeFrame(recvBuffer);
        if (frame.isEmpty())
            return false;
        if (!owed.dropIfOwed(frame)) {
            reply = frame;
            return true;
        }
    }
}

// Sends the request and waits for its answer: 0 with the answer in reply,
// -1 with nothing whole in time. An answer that came only in part is
// handed over at the time-out, for the command to refuse.
//
// Only an answer that fits the request (echo, length, or an error answer)
// settles it, and with it everything its station owed before. Otherwise
// the request's own answer may still come, and it joins the owed ones.
int CmdNorvo_TCP::exchange(const QByteArray &request, const AnswerShape &shape, QByteArray &reply,
                           int timeoutMs)
{
    Only_send(request);
    QElapsedTimer sent;
    sent.start();

    QByteArray answer;
    bool whole = false;
    const bool answersOwed = !owed.isEmpty();
    for (int waitMs = firstBytesWaitMs;;) {
        waitForReady(waitMs);
        mysleep(answerPauseMs);
        if (timeoutMs < 1) {
            owed.add(shape, clock.elapsed());
            return -1;
        }
        whole = takeAnswer(answer);
        // Only owed answers came and were dropped: the wait for this
        // request's own first bytes goes on.
        waitMs = firstBytesWaitMs - int(sent.elapsed());
        const LinkTransport *link = activeLink();
        const bool bytesPending = link && link->device() && link->device()->bytesAvailable() > 0;
        if (whole || !answersOwed || !recvBuffer.isEmpty() || bytesPending || waitMs <= 0)
            break;
    }
    for (int elapsed = 0; !whole;) {
        elapsed += answerLookMs;
        mysleep(answerLookMs);
        whole = takeAnswer(answer);
        if (elapsed >= timeoutMs)
            break;
    }
    if (!whole) {
        // Time is up: a part of an answer still goes to the command, which
        // refuses it; nothing at all means no answer.
        answer = recvBuffer;
        recvBuffer.clear();
    }

    if (whole && shape.fits(answer))
        owed.settleStation(shape.echo);
    else
        owed.add(shape, clock.elapsed());
    if (answer.isEmpty())
        return -1;
    reply.append(answer);
    return 0;
}

int CmdNorvo_TCP::SendData(QByteArray request, QByteArray &reply, int timeoutMs)
{
    // A nested exchange would clear the buffer under the waiting one.
    if (exchangeActive)
        return -1;
    const ExchangeScope scope(exchangeActive);
    takeStaleInput();
    return exchange(request, AnswerShape::ofRequest(request), reply, timeoutMs);
}

// The request's answer could be taken for one still owed: first a read
// whose answer cannot, and everything up to its answer goes. Answers come
// in order, so once it is answered nothing older from the station can come.
// 0 when it was answered.
int CmdNorvo_TCP::synchronise(int station)
{
    const NorvoRequest read = owed.synchronisingRead(station);
    const AnswerShape shape = read.answerShape();
    QByteArray reply;
    const int result = exchange(read.frame(), shape, reply, exchangeTimeoutMs(read.frame(), shape));
    if (debugOn) {
        const QString label = &read.command() == &NorvoCommand::BitRead ? QStringLiteral("X0")
                                                                        : QStringLiteral("D0");
        logLine("lib[Norvo]读命令", label, read.count(), read.frame());
        logLine("lib[Norvo]响应", label, read.count(), reply);
    }
    if (result != 0 || !shape.fits(reply))
        return -1;
    takeStaleInput();
    return 0;
}

// On a serial line the request and the answer take their time on the wire:
// at 1200 baud a 20-character answer alone needs about 170 ms.
int CmdNorvo_TCP::exchangeTimeoutMs(const QByteArray &request, const AnswerShape &shape) const
{
    const LinkTransport *link = activeLink();
    const int answerChars = std::max(shape.goodLength, NorvoFrame::AnswerOverhead);
    return answerPollMs + (link ? link->wireMs(request.size() + answerChars) : 0);
}
