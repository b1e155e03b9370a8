#ifndef NORVO_CLI_FRAMETRACE_H
#define NORVO_CLI_FRAMETRACE_H

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>
#include <QtCore/QString>

// Reads the lines the driver logs with its debug switch on (one per request
// and one per answer, the frame in hex) and decodes their frames: station,
// command, label, count, data, checksum, the PLC's error code. It remembers
// why the last answer was refused, so that a failed read can name it.
class FrameTrace
{
public:
    // True for a request or answer line of the driver.
    static bool isFrameLine(const QString &message);

    // The line decoded for people ("12:00:00.123 -> station 1 ..."); an
    // empty text for a line that is no frame line.
    QString take(const QString &message, const QDateTime &time);

    // Why the last answer taken since forget() was unusable; empty when it
    // was good or none was taken.
    QString failure() const { return failure_; }
    void forget() { failure_.clear(); }

    // How many requests went out so far.
    int requestsSent() const { return requests_; }

    // The meaning of an error code the PLC answers with.
    static QString plcErrorText(char code);

private:
    QString request(const QByteArray &frame, const QString &label);
    QString answer(const QByteArray &frame);

    QByteArray lastEcho_; // station and command of the last request
    int lastDataChars_ = -1; // data characters a good answer to it carries
    QString failure_;
    int requests_ = 0;
};

#endif
