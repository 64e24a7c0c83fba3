// Pixel buffers large enough that zero-filling them costs as much as rendering into them.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace render {

// An allocator whose vectors leave new elements uninitialised: every pixel is written anyway.
template <class T>
struct NoFill : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = NoFill<U>;
    };
    NoFill() = default;
    template <class U>
    NoFill(const NoFill<U>&) {}

    template <class U, class... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        if constexpr (sizeof...(Arguments) == 0) {
            ::new (static_cast<void*>(place)) U;
        } else {
            ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
        }
    }
};

// Premultiplied linear RGBA floats, row by row from the top.
using Pixels = std::vector<float, NoFill<float>>;
// 8-bit codes, row by row from the top.
using Bytes = std::vector<unsigned char, NoFill<unsigned char>>;

}  // namespace render
