// A tiny host for the tests: a shared module exporting the four host functions, with a camera
// space that differs from its internal space, and a per-thread record of every call it gets.
#pragma once

#include "host/HostRecords.h"

namespace testhost {

using cvl::HostBoolean;
using cvl::HostColor;
using cvl::HostState;
using cvl::HostVector;

enum class Call : int { traceEye, phenEval, vectorToCamera, vectorFromCamera };

struct CallRecord {
    Call call;
    HostVector in;        // conversions: the vector handed in; trace: the direction
    HostVector out;       // conversions: the vector handed back
    HostVector origin;    // trace: the ray origin
    const void* address;  // phen_eval: the parameter's address
    bool outAliasesIn;    // conversions: out and in were the same vector
};

struct Connection {
    const void* parameter;  // address the shader asks about
    const void* value;      // what mi_phen_eval returns for it (null is allowed)
};

constexpr int maxCalls = 32;
constexpr int maxConnections = 8;

struct Log {
    int callCount;
    CallRecord calls[maxCalls];
    HostBoolean traceResult;  // what mi_trace_eye returns
    int connectionCount;
    Connection connections[maxConnections];
};

// The module's camera space is its internal space turned by a signed permutation of the axes:
// exact in floats, and no axis maps to itself, so a skipped conversion cannot go unnoticed.
inline HostVector cameraToInternal(const HostVector& c) {
    return {-c.y, c.z, -c.x};
}
inline HostVector internalToCamera(const HostVector& i) {
    return {-i.z, -i.x, i.y};
}

// The colour each module variant traces.
constexpr HostColor standardColor{0.5f, 0.25f, 0.75f, 1.0f};
constexpr HostColor otherColor{1.0f, 0.0f, 0.0f, 1.0f};

// Control exports of the module: the calling thread's log, and a reset to the defaults
// (no calls, trace result 1, no connections).
using LogFunction = Log* (*)();
using ResetFunction = void (*)();

}  // namespace testhost
