#pragma once

#include <utility>

namespace win {

// Owns one platform resource and gives it back exactly once. `Traits` names the handle type, the value that
// means "none", whether a value is a live resource, and how to give it back:
//   struct Traits { using Handle = ...; static Handle none(); static bool valid(Handle); static void
//   close(Handle); };
// `close` may also be a member of a traits object that the owner keeps (one that gives the resource back
// through a seam, say). Copy is deleted, move allowed.
template <typename Traits>
class UniqueResource : private Traits {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() noexcept = default;
    // Takes ownership of a resource the caller already holds.
    explicit UniqueResource(Handle handle, Traits traits = Traits()) noexcept
        : Traits(std::move(traits)), handle_(handle) {}
    explicit UniqueResource(Traits traits) noexcept : Traits(std::move(traits)) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept
        : Traits(static_cast<Traits&&>(other)), handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            static_cast<Traits&>(*this) = static_cast<Traits&&>(other);
        }
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    bool valid() const noexcept { return Traits::valid(handle_); }
    explicit operator bool() const noexcept { return valid(); }
    Handle release() noexcept { return std::exchange(handle_, Traits::none()); }
    void reset(Handle handle = Traits::none()) noexcept {
        if (Traits::valid(handle_)) this->Traits::close(handle_);
        handle_ = handle;
    }
    // For out-parameters: the previous resource is given back first, so nothing leaks between a call and its
    // owner.
    Handle* receive() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::none();
};

}  // namespace win
