#include "CLabelVariable.h"

// Skeleton: to be completed.
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
