#include "CmdNorvo_TCP.h"

// Skeleton: to be completed.
CmdNorvo_TCP::CmdNorvo_TCP() = default;
CmdNorvo_TCP::~CmdNorvo_TCP() = default;
void CmdNorvo_TCP::Ethconnected() {}
void CmdNorvo_TCP::Ethdisconnected() {}
void CmdNorvo_TCP::EthreadyRead() {}
void CmdNorvo_TCP::serialreadyRead() {}
