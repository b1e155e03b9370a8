// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef AREATYPE_H
#define AREATYPE_H

#include "Areas.h"

// The PLC's memory areas, each named by the two ASCII characters a request
// carries for it, packed into an int with the first character in the high
// byte: Area_D is 'D', '0'. A register read or write sends both characters,
// a bit read the second one only. The characters come from the protocol's
// area table (protocol/Areas.h); the driver picks one from a label, the link
// puts it into the frame.
//
// A struct, so that a class naming the areas as its own (LibNorvoTCP::Area_D)
// can inherit them.
struct NorvoArea
{
    enum AreaType {
        Area_None = 0,                                  // no area recognised
        Area_RT = Areas::requestCode(Areas::Area::RT), // timer registers
        Area_RC = Areas::requestCode(Areas::Area::RC), // counter registers
        Area_R = Areas::requestCode(Areas::Area::R),   // R data registers
        Area_D = Areas::requestCode(Areas::Area::D),   // D data registers
        Area_WX = Areas::requestCode(Areas::Area::X),  // input discretes, as 16-bit words
        Area_WY = Areas::requestCode(Areas::Area::Y),  // output discretes, as words
        Area_WM = Areas::requestCode(Areas::Area::M),  // internal relays, as words
        Area_WS = Areas::requestCode(Areas::Area::S),  // step relays, as words
        Area_WT = Areas::requestCode(Areas::Area::T),  // timer contacts, as words
        Area_WC = Areas::requestCode(Areas::Area::C)   // counter contacts, as words
    };
};

#endif // AREATYPE_H
