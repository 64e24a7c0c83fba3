#include "host/Platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace cvl::platform {

#if defined(_WIN32)

void* lookUpSymbol(void* handle, const char* name, int* errorCode) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
    if (address == nullptr) {
        *errorCode = static_cast<int>(GetLastError());
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

#else

// The POSIX loader reports errors as text. The diagnostic needs a number, so a reported error
// is given as 127, the code the Windows loader uses for a missing procedure, keeping logs from
// both platforms alike. dlerror() is still called: it clears the loader's error state.
constexpr int loaderReportedError = 127;

void* lookUpSymbol(void* handle, const char* name, int* errorCode) {
    void* address = dlsym(handle, name);
    if (address == nullptr) {
        *errorCode = dlerror() != nullptr ? loaderReportedError : 0;
    }
    return address;
}

#endif

}  // namespace cvl::platform
