// Built in several variants (see tests/CMakeLists.txt): TEST_HOST_WITHOUT_TRACE leaves out
// mi_trace_eye, TEST_HOST_TRACE_ONLY provides nothing but mi_trace_eye, TEST_HOST_OTHER_COLOR
// traces another colour.
#include "tests/TestHost.h"

#if defined(_WIN32)
#define TEST_HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace testhost;

namespace {

thread_local Log log;

CallRecord& record(Call call) {
    static CallRecord overflow;
    if (log.callCount >= maxCalls) {
        return overflow;
    }
    CallRecord& entry = log.calls[log.callCount++];
    entry = CallRecord{};
    entry.call = call;
    return entry;
}

}  // namespace

TEST_HOST_EXPORT Log* testHostLog() {
    return &log;
}

TEST_HOST_EXPORT void testHostReset() {
    log = Log{};
    log.traceResult = 1;
}

#if !defined(TEST_HOST_WITHOUT_TRACE)
TEST_HOST_EXPORT HostBoolean mi_trace_eye(HostColor* result, HostState*, const HostVector* origin,
                                          const HostVector* direction) {
    CallRecord& entry = record(Call::traceEye);
    entry.in = *direction;
    entry.origin = *origin;
#if defined(TEST_HOST_OTHER_COLOR)
    *result = otherColor;
#else
    *result = standardColor;
#endif
    return log.traceResult;
}
#endif

#if !defined(TEST_HOST_TRACE_ONLY)
TEST_HOST_EXPORT void* mi_phen_eval(HostState*, const void* parameter) {
    record(Call::phenEval).address = parameter;
    for (int i = 0; i < log.connectionCount; ++i) {
        if (log.connections[i].parameter == parameter) {
            return const_cast<void*>(log.connections[i].value);
        }
    }
    return nullptr;
}

TEST_HOST_EXPORT void mi_vector_to_camera(HostState*, HostVector* out, const HostVector* in) {
    CallRecord& entry = record(Call::vectorToCamera);
    entry.in = *in;
    entry.outAliasesIn = out == in;
    *out = internalToCamera(*in);
    entry.out = *out;
}

TEST_HOST_EXPORT void mi_vector_from_camera(HostState*, HostVector* out, const HostVector* in) {
    CallRecord& entry = record(Call::vectorFromCamera);
    entry.in = *in;
    entry.outAliasesIn = out == in;
    *out = cameraToInternal(*in);
    entry.out = *out;
}
#endif
