#ifndef AREATYPE_H
#define AREATYPE_H

// A PLC memory area: the two ASCII characters the PLC names it by, the
// first in the high byte.
struct AreaCodes
{
    enum AreaType {
        Area_None = 0,
        Area_D = 'D' << 8 | '0',
        Area_WX = 'W' << 8 | 'X', // discrete inputs, read bit by bit
    };
};

#endif // AREATYPE_H
