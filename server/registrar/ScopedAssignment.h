#pragma once

#include <type_traits>
#include <utility>

namespace registrar {

// Gives a variable another value for as long as it lives and puts the old value back however the scope is
// left, an exception included.
template <typename T>
class ScopedAssignment {
    static_assert(std::is_nothrow_move_constructible<T>::value && std::is_nothrow_move_assignable<T>::value,
                  "restoring the old value must not throw");

public:
    ScopedAssignment(T& variable, T value) noexcept : variable_(variable), saved_(std::move(variable)) {
        variable_ = std::move(value);
    }
    ~ScopedAssignment() { variable_ = std::move(saved_); }
    ScopedAssignment(const ScopedAssignment&) = delete;
    ScopedAssignment& operator=(const ScopedAssignment&) = delete;

private:
    T& variable_;
    T saved_;
};

}  // namespace registrar
