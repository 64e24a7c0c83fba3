// A host that does as little as a host can: conversions copy, the trace writes a constant.
#include "host/HostRecords.h"

using namespace cvl;

#define NOOP_EXPORT extern "C" __attribute__((visibility("default")))

NOOP_EXPORT HostBoolean mi_trace_eye(HostColor* result, HostState*, const HostVector*,
                                     const HostVector*) {
    *result = HostColor{1.0f, 1.0f, 1.0f, 1.0f};
    return 1;
}

NOOP_EXPORT void* mi_phen_eval(HostState*, const void* parameter) {
    return const_cast<void*>(parameter);
}

NOOP_EXPORT void mi_vector_to_camera(HostState*, HostVector* out, const HostVector* in) {
    *out = *in;
}

NOOP_EXPORT void mi_vector_from_camera(HostState*, HostVector* out, const HostVector* in) {
    *out = *in;
}
