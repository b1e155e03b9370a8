// SPDX-License-Identifier: LGPL-2.1-or-later
#include "RecordSymbols.h"

#include "CLabelVariable.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

// The record's special members under the names the compiler calls them by
// (Itanium C++ ABI, complete-object variants). Linking the library instead
// would fix the record's code to whichever libLibNorvo.so.1 the loader finds
// at start, so "--plugin" would run another build's record code beside the
// chosen plug-in, and norvo could not start where no library is installed.
//
// They return the object, as constructors and destructors do under the ARM
// ABI; elsewhere callers ignore the result.

#define NORVO_RECORD_CONSTRUCT "_ZN14CLabelVariableC1Ev"
#define NORVO_RECORD_COPY_CONSTRUCT "_ZN14CLabelVariableC1ERKS_"
#define NORVO_RECORD_DESTROY "_ZN14CLabelVariableD1Ev"

namespace {

using Construct = void (*)(CLabelVariable *);
using CopyConstruct = void (*)(CLabelVariable *, const CLabelVariable *);
using Destroy = void (*)(CLabelVariable *);

Construct pluginConstruct = nullptr;
CopyConstruct pluginCopyConstruct = nullptr;
Destroy pluginDestroy = nullptr;

template<typename Function>
Function bound(Function function)
{
    if (!function) {
        std::fputs("norvo: a label record was used before a plug-in was loaded\n", stderr);
        std::abort();
    }
    return function;
}

} // namespace

#define NORVO_RECORD_SYMBOL(name) __asm__(name) __attribute__((visibility("hidden")))

extern "C" {
CLabelVariable *norvoRecordConstruct(CLabelVariable *self)
    NORVO_RECORD_SYMBOL(NORVO_RECORD_CONSTRUCT);
CLabelVariable *norvoRecordCopyConstruct(CLabelVariable *self, const CLabelVariable *other)
    NORVO_RECORD_SYMBOL(NORVO_RECORD_COPY_CONSTRUCT);
CLabelVariable *norvoRecordDestroy(CLabelVariable *self)
    NORVO_RECORD_SYMBOL(NORVO_RECORD_DESTROY);

CLabelVariable *norvoRecordConstruct(CLabelVariable *self)
{
    bound(pluginConstruct)(self);
    return self;
}

CLabelVariable *norvoRecordCopyConstruct(CLabelVariable *self, const CLabelVariable *other)
{
    bound(pluginCopyConstruct)(self, other);
    return self;
}

CLabelVariable *norvoRecordDestroy(CLabelVariable *self)
{
    bound(pluginDestroy)(self);
    return self;
}
}

QString bindRecordSymbols(void *pluginHandle)
{
    void *construct = dlsym(pluginHandle, NORVO_RECORD_CONSTRUCT);
    void *copyConstruct = dlsym(pluginHandle, NORVO_RECORD_COPY_CONSTRUCT);
    void *destroy = dlsym(pluginHandle, NORVO_RECORD_DESTROY);
    const std::pair<void *, const char *> symbols[] = {
        {construct, NORVO_RECORD_CONSTRUCT},
        {copyConstruct, NORVO_RECORD_COPY_CONSTRUCT},
        {destroy, NORVO_RECORD_DESTROY}};
    for (const auto &symbol : symbols) {
        if (!symbol.first)
            return QStringLiteral("the plug-in exports no %1").arg(QLatin1String(symbol.second));
    }
    pluginConstruct = reinterpret_cast<Construct>(construct);
    pluginCopyConstruct = reinterpret_cast<CopyConstruct>(copyConstruct);
    pluginDestroy = reinterpret_cast<Destroy>(destroy);
    return QString();
}
