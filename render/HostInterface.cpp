// The renderer's host interface module: the four host functions a lens library binds to by
// name. It is loaded privately and handed to the library; everything it does comes from the
// frame context carried by the sample's state.
#include "render/HostContext.h"

#if defined(_WIN32)
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using cvl::HostBoolean;
using cvl::HostColor;
using cvl::HostState;
using cvl::HostVector;
using render::SampleState;

namespace {

const render::FrameContext& frameOf(HostState* state) {
    return *reinterpret_cast<SampleState*>(state)->frame;
}

}  // namespace

HOST_EXPORT void mi_vector_to_camera(HostState* state, HostVector* out, const HostVector* in) {
    *out = frameOf(state).cameraToWorld.applyInverse(*in);
}

HOST_EXPORT void mi_vector_from_camera(HostState* state, HostVector* out, const HostVector* in) {
    *out = frameOf(state).cameraToWorld.apply(*in);
}

HOST_EXPORT HostBoolean mi_trace_eye(HostColor* result, HostState* state, const HostVector* origin,
                                     const HostVector* direction) {
    const render::FrameContext& frame = frameOf(state);
    return frame.trace(frame.world, *origin, *direction, result) ? 1 : 0;
}

// A connected parameter's value for this frame; parameters that are not the lens's own get
// nothing, and the lens then reads its block.
HOST_EXPORT void* mi_phen_eval(HostState* state, const void* parameter) {
    const render::FrameContext& frame = frameOf(state);
    const auto* word = static_cast<const std::uint32_t*>(parameter);
    const std::ptrdiff_t index = word - frame.parameterBlock;
    if (frame.parameterBlock == nullptr || index < 0 || index >= frame.parameterCount) {
        return nullptr;
    }
    return const_cast<std::uint32_t*>(frame.connectedValues + index);
}
