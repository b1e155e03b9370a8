#include "PlcFrame.h"

namespace PlcFrame {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int parseHex2(const QByteArray &bytes, int at)
{
    if (at + 2 > bytes.size())
        return -1;
    const int high = hexValue(bytes.at(at));
    const int low = hexValue(bytes.at(at + 1));
    return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

} // namespace

QByteArray hex2(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out;
    out.append(digits[(value >> 4) & 0xF]);
    out.append(digits[value & 0xF]);
    return out;
}

QByteArray checksum(const QByteArray &bytes)
{
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return hex2(int(sum & 0xFF));
}

QByteArray answer(int station, const QByteArray &command, char errorCode,
                  const QByteArray &dataChars)
{
    QByteArray frame;
    frame.append(Stx);
    frame.append(hex2(station));
    frame.append(command);
    frame.append(errorCode);
    frame.append(dataChars);
    frame.append(checksum(frame));
    frame.append(Etx);
    return frame;
}

QByteArray registerChars(const QList<quint16> &registers)
{
    QByteArray out;
    for (quint16 r : registers)
        out += hex2(r >> 8) + hex2(r);
    return out;
}

Request parseRequest(const QByteArray &frame)
{
    Request r;
    if (frame.size() < 2 || frame.at(0) != Stx || frame.at(frame.size() - 1) != Etx) {
        r.fault = QStringLiteral("no start or end byte");
        return r;
    }
    if (frame.size() < 7) {
        r.fault = QStringLiteral("too short");
        return r;
    }
    r.station = parseHex2(frame, 1);
    r.command = frame.mid(3, 2);
    r.count = parseHex2(frame, 5);

    int areaChars = 0;
    if (r.command == "44")
        areaChars = 1;
    else if (r.command == "46" || r.command == "47")
        areaChars = 2;
    if (areaChars == 0) {
        r.fault = QStringLiteral("unknown command");
        return r;
    }
    const int addressAt = 7 + areaChars;
    const int dataAt = addressAt + 4;
    const int checksumAt = frame.size() - 3;
    r.area = frame.mid(7, areaChars);
    r.address = frame.mid(addressAt, 4);
    if (checksumAt >= dataAt)
        r.data = frame.mid(dataAt, checksumAt - dataAt);

    if (r.station < 0 || r.count < 0) {
        r.fault = QStringLiteral("station or count is not hex");
        return r;
    }
    const int dataChars = r.command == "47" ? 4 * r.count : 0;
    if (checksumAt != dataAt + dataChars) {
        r.fault = QStringLiteral("length does not match the count");
        return r;
    }
    if (frame.mid(checksumAt, 2) != checksum(frame.left(checksumAt))) {
        r.fault = QStringLiteral("bad checksum");
        return r;
    }
    r.valid = true;
    return r;
}

QByteArray answerTo(const Request &request, const QByteArray &dataChars)
{
    return answer(request.station, request.command, '0', dataChars);
}

} // namespace PlcFrame
