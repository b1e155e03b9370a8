// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMLABEL_H
#define SIMLABEL_H

#include "simarea.h"

#include <QtCore/QString>

// A label as the norvo command line writes it (protocol/Areas.h): an area
// and an element number of one to four digits, "D100", "HR7", "TMR5",
// "CTR12", "X17". The bit areas X, Y, M, S,
// T and C name bits; read with a wider type they are read as words, as the
// driver does, so there are no word labels of their own.
struct SimLabel {
    SimArea area = SimArea::None;
    int element = 0;

    bool isValid() const { return area != SimArea::None; }

    // The label's text; registers R, RT and RC are written HR, TMR and CTR.
    QString text() const;

    // A CLI label, case-insensitive; an invalid label with `error` set
    // otherwise. With `olderNames` the simulator's own older area names
    // (RT, RC, WX, WY, WM, WS, WT, WC) are taken too, so that old memory
    // files still load.
    static SimLabel parse(const QString &text, QString *error, bool olderNames = false);
};

#endif
