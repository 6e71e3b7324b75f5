#pragma once

#include <cstdint>
#include <utility>

// Owning types for system handles: a handle is owned from the call that returns it, so that
// no path out of a function (a throw included) can forget its close.
namespace fraglane::platform {

// Traits name the handle's type, the value that means "none" and the call that closes it.
template <typename Traits>
class Owned {
public:
    using Type = typename Traits::Type;

    Owned() = default;
    explicit Owned(Type handle) : m_handle(handle) {}
    ~Owned() { Close(); }
    Owned(Owned&& other) noexcept : m_handle(std::exchange(other.m_handle, Traits::None())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, Traits::None());
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Type Get() const { return m_handle; }
    bool Valid() const { return m_handle != Traits::None(); }
    // Closes now; false when the close itself failed (on some systems a write kept back
    // fails only there), true when nothing was open.
    bool Close() {
        if (!Valid())
            return true;
        return Traits::Close(std::exchange(m_handle, Traits::None()));
    }

private:
    Type m_handle = Traits::None();
};

// The handle of an open file: a file descriptor on POSIX systems, a Win32 HANDLE on Windows,
// held as a number. -1 is none on both (an fd of -1, INVALID_HANDLE_VALUE). Each system side
// defines the close.
struct FileHandleTraits {
    using Type = intptr_t;
    static constexpr intptr_t None() { return -1; }
    static bool Close(intptr_t handle);
};
using OwnedHandle = Owned<FileHandleTraits>;

}  // namespace fraglane::platform
