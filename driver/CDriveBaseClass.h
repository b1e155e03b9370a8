// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CDRIVEBASECLASS_H
#define CDRIVEBASECLASS_H

#include "CLabelVariable.h"

#include <QtCore/QObject>
#include <QtCore/QString>

// A fixed underlying type: a host may pass any int, and loading a value
// outside the enumerators is then defined.
enum EDebugCmdType : int {
    EDebugStart = 0,     // switch the request/answer log on
    EDebugStop = 1,      // switch it off
    EDebugBuildInfo = 2, // the build text
    EDebugDriveName = 3  // the driver's name
};

// Values travel in CLabelVariable::value as a QList of the type's element,
// in ReadVariable's result and in WriteVariable's record alike. The most
// values one request takes: a read of a register area (D, R, TMR, CTR, and
// M, S, T, C, read as 16-bit words of their bits), a read of X or Y (read
// bit by bit), and a write (of registers, on every area):
//
//   type        value holds               read: registers   X, Y   write
//   DT_Bool     QList<bool>                          4080    255   no
//   DT_Int8     QList<char>                           510     31   510
//   DT_UInt8    QList<unsigned char>                  510     31   510
//   DT_Int16    QList<short>                          255     15   255
//   DT_UInt16   QList<unsigned short>                 255     15   255
//   DT_Int32    QList<int>                            127      7   127
//   DT_UInt32   QList<unsigned int>                   127      7   127
//   DT_Float    QList<float>                          127      7   127
//   DT_Int64    QList<qint64>                          63      3    63
//   DT_UInt64   QList<quint64>                         63      3    63
//   DT_Double   QList<double>                          63      3    63
//
// Exactly that list, by its element type (qint16 is short, quint8 unsigned
// char):
//     CLabelVariable record;
//     record.value = QVariant::fromValue(QList<short>{1234});
//     drive->WriteVariable("D100", DT_Int16, record, 1);
// A plain number (record.value = 1234), a QVariantList or a list of another
// element is refused with status 2: QList<int> for DT_Int16, QList<double>
// for DT_Float, QList<qint8> (signed char) for DT_Int8, QList<int64_t>
// (long on 64-bit Linux) for DT_Int64.
//
// Counts: a read returns exactly count values. A write sends the first count
// values of the list (status 4 when it holds fewer). Two 8-bit values share a
// register, the first in the high byte: a write's count must be even (else
// 4). Single bits cannot be written (DT_Bool: 2): a 16-bit word written at a
// bit label sets the 16 bits from that label on, the label's bit the least
// significant, so read that word (DT_UInt16), change the bits and write it
// back. On X and Y use words for that: an 8-bit read takes each value from 8
// bits in address order (X0 to X7 first), while a write puts the first of a
// pair into the high byte (X8 to X15).
//
// A write's status (the record comes back with the host's value, the status
// and, after a good write, the time):
//   0  the PLC acknowledged the write
//   2  the type cannot be written (DT_Bool, DT_None, DT_QString, the
//      variants) or the value is not its list; nothing sent
//   3  the label is not usable; nothing sent
//   4  count below 1, odd for 8-bit values, or over the list's length;
//      nothing sent
//   5  over 255 registers, or a count over 65535; nothing sent
//   7  the PLC answered with an error (nothing written), or its answer was
//      unusable (the write may have been carried out)
//   8  no answer in time, or none to trust: the write may have been carried
//      out
//   9  the link is down, or another call waits on it: nothing sent; or the
//      link went away before the answer (the write may have been carried
//      out). ConnectDrive again when it is down.

// The host's view of a driver. The slot order is binding: the host calls
// through this table. There is deliberately no virtual destructor; the
// object is destroyed as the QObject it also is.
class CDriveBaseClass
{
public:
    virtual QString getDriveName() = 0;
    virtual QString getversion_number() = 0;
    virtual QString DebugCmd(EDebugCmdType command) = 0;
    virtual int ConnectDrive(QString par) = 0;
    virtual int SetConnectPar(QString par) = 0;
    virtual int DisConnectDrive() = 0;
    // The value's list and the counts by type: the table above.
    virtual CLabelVariable ReadVariable(QString label, DataType type) = 0;
    virtual CLabelVariable ReadVariable(QString label, DataType type, int count) = 0;
    virtual CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record) = 0;
    virtual CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record,
                                         int count) = 0;
    virtual int DestroyFree() = 0;
};

Q_DECLARE_INTERFACE(CDriveBaseClass, "CDriveBaseClass")

// The plug-in's one entry point: a new driver, owned by the caller.
extern "C" CDriveBaseClass *getSharedLibrary();

#endif // CDRIVEBASECLASS_H
