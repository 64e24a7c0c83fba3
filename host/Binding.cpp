#include "host/Binding.h"

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace cvl::host {
namespace {

// Process-wide binding state. Both are constant-initialised (null), so loading the library runs
// no code. Each slot is one whole pointer-sized atomic: a reader on another thread sees either
// null or a complete address, and racing resolvers store the same address.
std::atomic<void*> hostModuleHandle{nullptr};
std::atomic<void*> hostFunctionTable[hostFunctionCount];

static_assert(sizeof(std::atomic<void*>) == sizeof(void*), "slots are plain pointer words");

// The slow path of every stub: look name up in the bound module, store the outcome in its slot
// and report what went wrong. Kept out of line so the resolved path stays one load, one test
// and one indirect call.
#if defined(__GNUC__)
__attribute__((noinline, cold))
#endif
void* resolve(int slot, const char* name) {
    void* handle = hostModuleHandle.load(std::memory_order_acquire);
    if (handle == nullptr) {
        std::fprintf(stderr, "DYNLOAD: dl_handle null\n");
    }
    int errorCode = 0;
    void* address = platform::lookUpSymbol(handle, name, &errorCode);
    hostFunctionTable[slot].store(address, std::memory_order_release);
    if (address == nullptr) {
        std::fprintf(stderr, "dlsym failed on \"%s\" (handle: %08" PRIxPTR " error: %d)\n", name,
                     reinterpret_cast<std::uintptr_t>(handle), errorCode);
    }
    return address;
}

}  // namespace

#define CORVALA_DEFINE_STUB(slot, name, Result, parameters, arguments, fallbackFunction)    \
    static_assert(slot >= 0 && slot < hostFunctionCount, #name " has a slot in the table"); \
    Result name parameters {                                                                \
        void* address = hostFunctionTable[slot].load(std::memory_order_acquire);            \
        if (__builtin_expect(address == nullptr, 0)) {                                      \
            address = resolve(slot, #name);                                                 \
            if (address == nullptr) {                                                       \
                return fallback::fallbackFunction arguments;                                \
            }                                                                               \
        }                                                                                   \
        return reinterpret_cast<Result(*) parameters>(address) arguments;                   \
    }
CORVALA_HOST_FUNCTIONS(CORVALA_DEFINE_STUB)
#undef CORVALA_DEFINE_STUB

}  // namespace cvl::host

extern "C" void miSetModuleHandle(void* handle) {
    using namespace cvl::host;
    hostModuleHandle.store(handle, std::memory_order_release);
    for (auto& slot : hostFunctionTable) {
        slot.store(nullptr, std::memory_order_release);
    }
}
