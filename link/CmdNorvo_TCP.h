#ifndef CMDNORVO_TCP_H
#define CMDNORVO_TCP_H

#include "OwedAnswers.h"
#include "SerialTransport.h"
#include "TcpTransport.h"

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtNetwork/QHostAddress>

class NorvoRequest;
class QSerialPort;
class QTcpSocket;
class QTimer;

// The driver's one link to one PLC: a serial port or a TCP socket, the
// receive buffer, the exchange of one request for one answer, and the
// three commands.
//
// Return codes of the commands: 0 success, -1 answer unusable,
// -2 no answer in time, -3 link not usable or another exchange still
// waiting (nothing sent).
//
// Everything runs on the thread that owns the object. The waits of an
// exchange process that thread's events; a command started from such an
// event is refused rather than allowed to take the waiting one's answer.
//
// A request that got no whole answer leaves that answer owed: it may still
// come, and it names no address. The link keeps the owed answers and never
// takes one for the answer to a later request (see OwedAnswers).
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

    // The exchange.
    int Only_send(QByteArray frame);
    int SendData(QByteArray request, QByteArray &reply, int timeoutMs);

    // The commands.
    int Read_bool(int station, QString number, int count, QByteArray *out, int area, QString label);
    int Read_area(int station, QString number, int count, QByteArray *out, int area, QString label);
    int Write_area(int station, QString number, int count, QByteArray data, int area, QString label);

    bool debugOn = false;

    // True when requests go out on the serial line (opened after the
    // socket, or the only link): that is the link a disconnect must close.
    bool serialLineInUse() const { return activeLink() == &serialLink; }

    // Read-only views for tests and diagnostics.
    int receiveIdleMs() const { return recvIdleMs; }
    QByteArray receivedBytes() const { return recvBuffer; }
    bool exchangeRunning() const { return exchangeActive; }
    int owedAnswers() const { return owed.size(); }

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    friend class TestLinkManager; // inspects the port settings applied

    void TimerTimeOut();

    QByteArray recvBuffer;
    QHostAddress hostAddress;
    QTcpSocket *tcpSocket = nullptr;
    QTimer *recvTimer = nullptr;
    QSerialPort *serialPort = nullptr;
    int recvIdleMs = 2;
    int tcpPort = 0;

    // Sets the flag for the lifetime of one exchange.
    class ExchangeScope
    {
    public:
        explicit ExchangeScope(bool &flag) : flag_(flag) { flag_ = true; }
        ~ExchangeScope() { flag_ = false; }
        ExchangeScope(const ExchangeScope &) = delete;
        ExchangeScope &operator=(const ExchangeScope &) = delete;

    private:
        bool &flag_;
    };

    // Log texts of a command and when its request line is written.
    struct CommandTexts;
    int runCommand(const NorvoRequest &request, const CommandTexts &texts, const QString &label,
                   QByteArray *out);
    int exchangeCommand(const NorvoRequest &request, const CommandTexts &texts,
                        const QString &label, QByteArray *out);
    int synchronise(int station);
    void logLine(const char *tag, const QString &label, int count, const QByteArray &frame) const;

    // The one place that decides which link requests go out on.
    LinkTransport *activeLink() const;
    void takeStaleInput();
    int exchange(const QByteArray &request, const AnswerShape &shape, QByteArray &reply,
                 int timeoutMs);
    bool takeAnswer(QByteArray &reply);
    int exchangeTimeoutMs(const QByteArray &request, const AnswerShape &shape) const;

    TcpTransport tcpLink { tcpSocket };
    SerialTransport serialLink { serialPort, recvTimer };
    OwedAnswers owed;
    QElapsedTimer clock; // ages the owed answers

    bool exchangeActive = false;
    bool serialOpenedLast = false; // the serial port was opened after the socket
};

#endif // CMDNORVO_TCP_H
