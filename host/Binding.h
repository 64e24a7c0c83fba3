// The by-name binding to the host renderer. The host hands over the handle of its interface
// module with miSetModuleHandle; each stub below looks its host function up by name in that
// module on first use, caches the address in the function's slot and forwards the call.
#pragma once

#include "host/HostFunctions.h"
#include "host/Platform.h"

extern "C" {

// Exported. Stores the host module's handle and empties the function table, so every host
// function is looked up again, in the new module, at its next call.
CORVALA_EXPORT void miSetModuleHandle(void* handle);
}

namespace cvl::host {

#define CORVALA_DECLARE_STUB(slot, name, Result, parameters, arguments, fallback) \
    Result name parameters;
CORVALA_HOST_FUNCTIONS(CORVALA_DECLARE_STUB)
#undef CORVALA_DECLARE_STUB

}  // namespace cvl::host
