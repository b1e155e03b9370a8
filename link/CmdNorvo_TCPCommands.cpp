// The three commands: one procedure, told apart by their frames and log texts.
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"

#include <QtCore/QDebug>

struct CmdNorvo_TCP::CommandTexts
{
    const char *requestTag;
    const char *responseTag;
    bool requestLineFirst; // the request line is written before the exchange

    static const CommandTexts BitRead;
    static const CommandTexts RegisterRead;
    static const CommandTexts RegisterWrite;
};

const CmdNorvo_TCP::CommandTexts CmdNorvo_TCP::CommandTexts::BitRead {
    "lib[Norvo]读命令", "lib[Norvo]响应", true };
const CmdNorvo_TCP::CommandTexts CmdNorvo_TCP::CommandTexts::RegisterRead {
    "lib[Norvo]读命令", "lib[Norvo]响应", false };
const CmdNorvo_TCP::CommandTexts CmdNorvo_TCP::CommandTexts::RegisterWrite {
    "写命令", "响应", false };

int CmdNorvo_TCP::Read_bool(int station, QString number, int count, QByteArray *out, int area,
                            QString label)
{
    return runCommand(NorvoRequest(NorvoCommand::BitRead, station, number, count, area),
                      CommandTexts::BitRead, label, out);
}

int CmdNorvo_TCP::Read_area(int station, QString number, int count, QByteArray *out, int area,
                            QString label)
{
    return runCommand(NorvoRequest(NorvoCommand::RegisterRead, station, number, count, area),
                      CommandTexts::RegisterRead, label, out);
}

int CmdNorvo_TCP::Write_area(int station, QString number, int count, QByteArray data, int area,
                             QString label)
{
    return runCommand(NorvoRequest(NorvoCommand::RegisterWrite, station, number, count, area, data),
                      CommandTexts::RegisterWrite, label, nullptr);
}

int CmdNorvo_TCP::runCommand(const NorvoRequest &request, const CommandTexts &texts,
                             const QString &label, QByteArray *out)
{
    // Refused without a trace: another exchange is waiting on this link
    // (this call comes from an event handled inside its waits).
    if (exchangeActive)
        return -3;
    const ExchangeScope scope(exchangeActive);
    return exchangeCommand(request, texts, label, out);
}

int CmdNorvo_TCP::exchangeCommand(const NorvoRequest &request, const CommandTexts &texts,
                                  const QString &label, QByteArray *out)
{
    // A drop that happened while nobody listened shows up here, before
    // the status test.
    takeStaleInput();
    if (Connection_status() == -3)
        return -3;
    // Unanswered, it has taken the request's turn: nothing is sent.
    const AnswerShape shape = request.answerShape();
    if (owed.overlaps(shape) && synchronise(request.station()) != 0)
        return -2;

    if (debugOn && texts.requestLineFirst)
        logLine(texts.requestTag, label, request.count(), request.frame());
    QByteArray reply;
    exchange(request.frame(), shape, reply, exchangeTimeoutMs(request.frame(), shape));
    if (debugOn) {
        if (!texts.requestLineFirst)
            logLine(texts.requestTag, label, request.count(), request.frame());
        logLine(texts.responseTag, label, request.count(), reply);
    }

    if (reply.isEmpty())
        return -2;
    return request.takeAnswer(reply, out);
}

void CmdNorvo_TCP::logLine(const char *tag, const QString &label, int count,
                           const QByteArray &frame) const
{
    qDebug().noquote() << QStringLiteral("%1 %2:%3 Area=%4  len = %5 msg : %6")
                              .arg(QString::fromUtf8(tag), hostAddress.toString(),
                                   QString::number(tcpPort), label, QString::number(count),
                                   QString::fromLatin1(frame.toHex()));
}
