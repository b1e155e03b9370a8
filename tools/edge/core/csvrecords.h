// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_CSVRECORDS_H
#define NORVO_EDGE_CSVRECORDS_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

// CSV as spreadsheets save it: fields between commas; a field in double
// quotes may hold commas, line breaks and doubled quotes (""). Lines end in
// LF or CR LF. Blank lines and lines starting with # are skipped.
namespace CsvRecords {

struct Record
{
    int line = 0; // where the record starts, from 1
    QStringList fields;
};

// Splits text into records. Spaces around a field are dropped (those inside
// quotes are kept); an unquoted field is taken as it stands, quotes and all.
// Returns an empty text, or why the text is no CSV and *errorLine.
QString split(const QString &text, QList<Record> *records, int *errorLine);

} // namespace CsvRecords

#endif
