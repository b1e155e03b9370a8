#ifndef CMDNORVO_TCP_H
#define CMDNORVO_TCP_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtNetwork/QHostAddress>

class QSerialPort;
class QTcpSocket;
class QTimer;

// The driver's one link to one PLC: a serial port or a TCP socket, the
// receive buffer, the exchange of one request for one answer, and the
// three commands.
//
// Return codes of the commands: 0 success, -1 answer unusable,
// -2 no answer in time, -3 link not usable (nothing sent).
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
    int Read_bool(int station, QString addr, int count, QByteArray *out, int area, QString name);
    int Read_area(int station, QString addr, int count, QByteArray *out, int area, QString name);
    int Write_area(int station, QString addr, int count, QByteArray data, int area, QString name);

    bool debugOn = false;

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    void TimerTimeOut();

    QByteArray recvBuffer;
    QHostAddress hostAddress;
    QTcpSocket *tcpSocket = nullptr;
    QTimer *recvTimer = nullptr;
    QSerialPort *serialPort = nullptr;
    int recvIdleMs = 2;
    int tcpPort = 0;
};

#endif // CMDNORVO_TCP_H
