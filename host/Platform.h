// Export marking and the platform's by-name symbol lookup.
#pragma once

#if defined(_WIN32)
#define CORVALA_EXPORT __declspec(dllexport)
#else
#define CORVALA_EXPORT __attribute__((visibility("default")))
#endif

namespace cvl::platform {

// Looks name up in the loaded module handle (null is passed to the loader unchanged). On
// failure returns null and stores the loader's error code, read at once, in errorCode.
void* lookUpSymbol(void* handle, const char* name, int* errorCode);

}  // namespace cvl::platform
