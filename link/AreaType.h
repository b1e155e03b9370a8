// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef AREATYPE_H
#define AREATYPE_H

// The PLC's memory areas, each named by the two ASCII characters a request
// carries for it, packed into an int with the first character in the high
// byte: Area_D is 'D', '0'. A register read or write sends both characters,
// a bit read the second one only. The one definition of the area codes:
// the driver picks one from a label, the link puts it into the frame.
//
// A struct, so that a class naming the areas as its own (LibNorvoTCP::Area_D)
// can inherit them.
struct NorvoArea
{
    enum AreaType {
        Area_None = 0,            // no area recognised
        Area_RT = 'R' << 8 | 'T', // timer registers
        Area_RC = 'R' << 8 | 'C', // counter registers
        Area_R = 'R' << 8 | '0',  // R data registers, elements 0 to 9999
        Area_D = 'D' << 8 | '0',  // D data registers, elements 0 to 9999
        Area_WX = 'W' << 8 | 'X', // input discretes, as 16-bit words
        Area_WY = 'W' << 8 | 'Y', // output discretes, as words
        Area_WM = 'W' << 8 | 'M', // internal relays, as words
        Area_WS = 'W' << 8 | 'S', // step relays, as words
        Area_WT = 'W' << 8 | 'T', // timer contacts, as words
        Area_WC = 'W' << 8 | 'C'  // counter contacts, as words
    };
};

#endif // AREATYPE_H
