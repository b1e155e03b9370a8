// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_FRAMETRACE_H
#define NORVO_CLI_FRAMETRACE_H

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>
#include <QtCore/QString>

// Reads what the driver logs: its request and answer lines (debug switch
// on, the frame in hex) and the link's own account of frames (category
// norvo.link: refusals with their verdict, dropped frames, synchronising
// reads). Frames are decoded for people: station, command, label, count,
// data, checksum, the PLC's error code. Why an answer was refused is the
// link's verdict, put in words; the trace judges no frame itself.
class FrameTrace
{
public:
    // True for a request or answer line of the driver.
    static bool isFrameLine(const QString &message);
    // True for the logging category of the link's account.
    static bool isLinkAccount(const char *category);
    // The logging rule that switches the link's account on.
    static QString linkAccountRule();

    // The line decoded for people ("12:00:00.123 -> station 1 ..."); an
    // empty text for a line that is no frame line. An answer the link
    // refused carries the reason in brackets.
    QString take(const QString &message, const QDateTime &time);
    // A line of the link's account decoded ("12:00:00.123 !! dropped a late
    // answer: station 1 ..."); an empty text for a refusal, whose reason goes
    // on the answer line that follows it.
    QString takeLinkLine(const QString &message, const QDateTime &time);

    // Why the link refused the last answer since forget(), or why it sent
    // no request; empty when nothing was refused.
    QString failure() const;
    void forget();

    // The latest answer that came after the wait it missed, with advice;
    // empty when none did.
    QString lateAnswer() const;

    // The answer wait the link last learnt (its account says so); 0: none.
    int learntWaitMs() const { return learntWaitMs_; }

    // How many requests went out so far.
    int requestsSent() const { return requests_; }

    // An error code the PLC answers with, and the meaning norvo-sim gives it:
    // "PLC error code 6 (norvo-sim: busy)".
    static QString plcErrorText(char code);

private:
    QString request(const QByteArray &frame, const QString &label);
    QString answer(const QByteArray &frame);
    QString linkText(const QString &message);
    // The link's verdict on an answer, worded for people.
    QString refusalText(const QString &verdict, const QByteArray &answer) const;

    QByteArray lastEcho_; // station and command of the last request
    int lastDataChars_ = -1; // data characters a good answer to it carries
    // The last refusal, worded once its answer line is in (a register
    // command logs its request line after the refusal).
    bool refusalPending_ = false;
    QString refusedVerdict_;
    QByteArray refusedAnswer_;
    QString failure_;
    int requests_ = 0;
    int lateMs_ = 0;
    int learntWaitMs_ = 0;
    int lateWaitMs_ = 0;
};

#endif
