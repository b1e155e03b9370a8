// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CMDNORVO_TCP_H
#define CMDNORVO_TCP_H

#include "LinkClock.h"
#include "LinkExchange.h"
#include "LinkVerdict.h"
#include "SerialTransport.h"
#include "TcpTransport.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtNetwork/QHostAddress>

class NorvoRequest;
class QSerialPort;
class QTcpSocket;
class QTimer;

// The driver's one link to one PLC: a serial port or a TCP socket, the
// exchange of one request for one answer, and the three commands.
//
// Return codes of the commands: 0 success, -1 answer unusable,
// -2 no answer in time (or none that can be trusted), -3 link not usable
// or another exchange still waiting (nothing sent). verdict() names the
// fault of the last command.
//
// One link at a time feeds the exchange: opening one kind closes the
// other, and bytes of a closed link never reach it. The exchange (see
// LinkExchange) owns the receive buffer and the answers still owed, which
// outlive any link: behind a gateway, a late answer may come over the
// next connection.
//
// Everything runs on the thread that owns the object. The waits of an
// exchange process that thread's events; a command started from such an
// event is refused, and a link opened, closed or torn down from one ends
// the waiting exchange with -3.
class CmdNorvo_TCP : public QObject
{
    Q_OBJECT
public:
    CmdNorvo_TCP();
    ~CmdNorvo_TCP() override;

    int serialConnectDrive(QString portName, int baudRate, int dataBits, int stopBits,
                           QString parity);
    int serialDisConnectDrive();
    int EthConnectDrive(QString ip, int port);
    int EthDisConnectDrive();
    int Connection_status();
    int deletetcpSocket();
    int deleteSerialPort();
    int DestroyFree();
    int waitForReady(int ms);
    void mysleep(int ms);

    // Frame helpers.
    unsigned char cs_Check(QByteArray data, unsigned count);
    unsigned short GetHexconversionchar(unsigned short value);
    unsigned short GetcharconversionHex(unsigned short code);

    // The exchange of a frame made elsewhere.
    int Only_send(QByteArray frame);
    int SendData(QByteArray request, QByteArray &reply, int timeoutMs);

    // The commands.
    int Read_bool(int station, QString number, int count, QByteArray *out, int area, QString label);
    int Read_area(int station, QString number, int count, QByteArray *out, int area, QString label);
    int Write_area(int station, QString number, int count, QByteArray data, int area, QString label);
    LinkVerdict verdict() const { return lastVerdict; }

    bool debugOn = false;

    // True when the serial line is the link requests go out on.
    bool serialLineInUse() const { return exchange.link() == &serialLink; }

    // Read-only views for tests and diagnostics.
    int receiveIdleMs() const { return recvIdleMs; }
    bool exchangeRunning() const { return exchange.isRunning(); }
    int owedAnswers() const { return exchange.owed().size(); }
    // How long the current path waits for an answer's first bytes.
    int answerWaitMs() const { return exchange.answerWaitMs(); }

    // The host's wait for answers on the links opened from now on (the
    // connection string's "timeout"); 0 lets each path learn its line.
    void setAnswerWait(int ms) { answerWaitSetting = ms; }

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    friend class TestLinkManager; // inspects the port settings applied

    void TimerTimeOut();
    void serialLineError(int error);

    // Log texts of a command and when its request line is written.
    struct CommandTexts;
    class CommandLog;
    int runCommand(const NorvoRequest &request, const CommandTexts &texts, const QString &label,
                   QByteArray *out);
    void logLine(const char *tag, const QString &label, int count, const QByteArray &frame) const;

    QHostAddress hostAddress;
    QTcpSocket *tcpSocket = nullptr;
    QTimer *recvTimer = nullptr;
    QSerialPort *serialPort = nullptr;
    int recvIdleMs = 2;
    int tcpPort = 0;
    int answerWaitSetting = 0;

    TcpTransport tcpLink { tcpSocket };
    SerialTransport serialLink { serialPort, recvTimer };
    SteadyLinkClock clock;
    LinkExchange exchange { clock }; // recvBuffer and the owed answers
    LinkVerdict lastVerdict;
};

#endif // CMDNORVO_TCP_H
