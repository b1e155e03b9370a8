// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LIBNORVOTCP_H
#define LIBNORVOTCP_H

#include "AreaType.h"
#include "CDriveBaseClass.h"
#include "CmdNorvo_TCP.h"
#include "connectionstring.h"
#include "requestplan.h"
#include "valuecoding.h"

#include <QtCore/QObject>

// The driver: connection strings, the station number, label addresses and
// the read and write paths, all over one CmdNorvo_TCP. The memory areas
// (AreaType, Area_D, ...) are the link's, named here as the driver's own.
class LibNorvoTCP : public QObject, public CDriveBaseClass, public NorvoArea
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    LibNorvoTCP();
    ~LibNorvoTCP() override;

    QString getDriveName() override;
    QString getversion_number() override;
    QString DebugCmd(EDebugCmdType command) override;
    int DisConnectDrive() override;
    int ConnectDrive(QString par) override;
    int SetConnectPar(QString par) override;
    CLabelVariable ReadVariable(QString label, DataType type) override;
    CLabelVariable ReadVariable(QString label, DataType type, int count) override;
    CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record) override;
    CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record,
                                 int count) override;
    int DestroyFree() override;

    // Label addresses.
    AreaType getArea(QString label);
    QString extractedValue(QString src, QString acc);
    QString getAddr(QString label, AreaType area);
    int getBytelen(DataType type, int count);

    // Read path.
    CLabelVariable Read_data(QString number, DataType type, int count, int area,
                             QString label);
    // The pure part of a read: the count values that the data of the read
    // planned by RequestPlan::read(type, count, area) hold (bit bytes from a
    // bit read, nibble bytes from a register read), by the type's decoder
    // below; an invalid QVariant for a type the PLC has no layout for. start:
    // the element number, handed to set_variant_bool.
    QVariant decodeAnswer(DataType type, const RequestPlan::Read &plan, QByteArray data,
                          int count, int start);
    void bool_conversion_int(QByteArray *data, int count);
    QVariant set_variant_bool(int start, QByteArray data, int n);
    QVariant set_variant_Int8(QByteArray data, int n);
    QVariant set_variant_UInt8(QByteArray data, int n);
    QVariant set_variant_Int16(QByteArray data, int n);
    QVariant set_variant_UInt16(QByteArray data, int n);
    QVariant set_variant_Int32(QByteArray data, int n);
    QVariant set_variant_UInt32(QByteArray data, int n);
    QVariant set_variant_fload(QByteArray data, int n);
    QVariant set_variant_Int64(QByteArray data, int n);
    QVariant set_variant_UInt64(QByteArray data, int n);
    QVariant set_variant_double(QByteArray data, int n);

    // Write path.
    CLabelVariable Write_D(QString number, DataType type, int count, CLabelVariable record,
                           int area, QString label);
    // The pure part of a write: appends the nibbles of the first count
    // elements of the record's list by the type's encoder below, and nothing
    // unless the result is Encoded; NotWritable for a type without one.
    ValueCoding::EncodeResult encodeRecord(DataType type, const CLabelVariable &record, int count,
                                           QByteArray *out);
    int Wset_variant_Int8(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_UInt8(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_Int16(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_uInt16(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_Int32(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_UInt32(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_float(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_Int64(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_UInt64(CLabelVariable record, int count, QByteArray *out);
    int Wset_variant_double(CLabelVariable record, int count, QByteArray *out);

    CmdNorvo_TCP cmd;
    int stationNo = 1;
    // The last serial and the last TCP connection string the host gave.
    ConnectionString serialLine;
    ConnectionString tcpLink;
};

#endif // LIBNORVOTCP_H
