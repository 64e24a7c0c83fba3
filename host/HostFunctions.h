// The host functions the shaders call, declared once. Each entry gives the function's fixed slot
// in the host function table, its exact exported name, its result, its parameters, the argument
// list that forwards them, and what the shader gets when the host does not provide the function.
// Every stub, every pointer type and every fallback is made from this list.
#pragma once

#include "host/HostRecords.h"

namespace cvl {

// X(slot, name, result, parameters, arguments, fallback)
#define CORVALA_HOST_FUNCTIONS(X)                                                                  \
    X(85, mi_trace_eye, HostBoolean,                                                               \
      (HostColor * result, HostState * state, const HostVector* origin,                            \
       const HostVector* direction),                                                               \
      (result, state, origin, direction), traceNothing)                                            \
    X(115, mi_phen_eval, void*, (HostState * state, const void* parameter), (state, parameter),    \
      evaluateNothing)                                                                             \
    X(281, mi_vector_to_camera, void, (HostState * state, HostVector * out, const HostVector* in), \
      (state, out, in), copyVector)                                                                \
    X(285, mi_vector_from_camera, void,                                                            \
      (HostState * state, HostVector * out, const HostVector* in), (state, out, in), copyVector)

// Number of functions in the host interface, and so of slots in the table.
constexpr int hostFunctionCount = 668;

namespace fallback {

// A trace that cannot reach the host yields transparent black and reports no hit.
inline HostBoolean traceNothing(HostColor* result, HostState*, const HostVector*,
                                const HostVector*) {
    *result = HostColor{0.0f, 0.0f, 0.0f, 0.0f};
    return 0;
}

// No host value: the caller reads the parameter from the block instead.
inline void* evaluateNothing(HostState*, const void*) {
    return nullptr;
}

// No conversion available: the vector passes through unchanged.
inline void copyVector(HostState*, HostVector* out, const HostVector* in) {
    *out = *in;
}

}  // namespace fallback

}  // namespace cvl
