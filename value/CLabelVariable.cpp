// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CLabelVariable.h"

#include "labelelement_p.h"

#include <type_traits>

// The PLC's bytes travel in QList<char>; atchar and atInt8 hand them out as
// 0..255, which needs the target's unsigned plain char on every build.
static_assert(std::is_unsigned<char>::value, "build with -funsigned-char");

CLabelVariable::CLabelVariable()
    : status(1), accessError(1), count(0), type(DT_None), auxValue(0)
{
}

CLabelVariable::CLabelVariable(const CLabelVariable &other) = default;

CLabelVariable &CLabelVariable::operator=(const CLabelVariable &other)
{
    status = other.status;
    value = other.value;
    timestamp = other.timestamp;
    address = other.address;
    count = other.count;
    type = other.type;
    auxText = other.auxText;
    return *this;
}

CLabelVariable::~CLabelVariable() = default;

bool CLabelVariable::atbool(int pos)
{
    return LabelElement::at<bool>(value, pos, accessError);
}

char CLabelVariable::atchar(int pos)
{
    return LabelElement::at<char>(value, pos, accessError);
}

char CLabelVariable::atInt8(int pos)
{
    return LabelElement::at<char>(value, pos, accessError);
}

unsigned char CLabelVariable::atUInt8(int pos)
{
    return LabelElement::at<unsigned char>(value, pos, accessError);
}

short CLabelVariable::atInt16(int pos)
{
    return LabelElement::at<short>(value, pos, accessError);
}

unsigned short CLabelVariable::atUInt16(int pos)
{
    return LabelElement::at<unsigned short>(value, pos, accessError);
}

int CLabelVariable::atInt32(int pos)
{
    return LabelElement::at<int>(value, pos, accessError);
}

unsigned int CLabelVariable::atUInt32(int pos)
{
    return LabelElement::at<unsigned int>(value, pos, accessError);
}

float CLabelVariable::atFloat(int pos)
{
    return LabelElement::at<float>(value, pos, accessError);
}

qint64 CLabelVariable::atInt64(int pos)
{
    return LabelElement::at<qint64>(value, pos, accessError);
}

quint64 CLabelVariable::atUInt64(int pos)
{
    return LabelElement::at<quint64>(value, pos, accessError);
}

double CLabelVariable::atDouble(int pos)
{
    return LabelElement::at<double>(value, pos, accessError);
}

QString CLabelVariable::atQString(int pos)
{
    return LabelElement::at<QString>(value, pos, accessError);
}
