// SPDX-License-Identifier: LGPL-2.1-or-later
// The three commands: one procedure, told apart by their frames and log texts.
#include "CmdNorvo_TCP.h"
#include "LinkAccount.h"
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

// The debug lines of a command, and of the synchronising read that may go
// before it (labelled by the element it reads).
class CmdNorvo_TCP::CommandLog final : public LinkExchange::Listener
{
public:
    CommandLog(const CmdNorvo_TCP &link, const CommandTexts &texts, const QString &label)
        : link_(link), texts_(texts), label_(label) {}

    void sending(const NorvoRequest &request, bool synchronising) override
    {
        if (!synchronising && texts_.requestLineFirst)
            link_.logLine(texts_.requestTag, label_, request.count(), request.frame());
    }

    void answered(const NorvoRequest &request, const QByteArray &answer, bool synchronising) override
    {
        if (synchronising) {
            const QString label = &request.command() == &NorvoCommand::BitRead
                ? QStringLiteral("X0") : QStringLiteral("D0");
            link_.logLine(CommandTexts::RegisterRead.requestTag, label, request.count(), request.frame());
            link_.logLine(CommandTexts::RegisterRead.responseTag, label, request.count(), answer);
            return;
        }
        if (!texts_.requestLineFirst)
            link_.logLine(texts_.requestTag, label_, request.count(), request.frame());
        link_.logLine(texts_.responseTag, label_, request.count(), answer);
    }

private:
    const CmdNorvo_TCP &link_;
    const CommandTexts &texts_;
    const QString &label_;
};

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
    // A command refused before anything is sent leaves no log line.
    CommandLog log(*this, texts, label);
    const LinkExchange::Result result = exchange.command(request, debugOn ? &log : nullptr);
    // A busy call comes from inside another command's waits; that one
    // sets its own verdict when it ends.
    lastVerdict = result.verdict;
    if (result.verdict.isGood())
        request.appendData(result.answer, out); // judged once, in the exchange
    return result.verdict.linkCode();
}

void CmdNorvo_TCP::logLine(const char *tag, const QString &label, int count,
                           const QByteArray &frame) const
{
    LinkAccount::Event line;
    line.kind = LinkAccount::Kind::FrameLine;
    line.verdict = QString::fromUtf8(tag);
    line.path = hostAddress.toString() + QLatin1Char(':') + QString::number(tcpPort);
    line.label = label;
    line.count = count;
    line.frame = frame;
    qDebug().noquote() << LinkAccount::format(line);
}
