// One move-only owner for whatever the Windows halves are handed and must
// give back by a call of its own: kernel handles, GDI objects, icons, menus,
// COM interfaces, strings and memory the OS allocated, an object selected
// into a DC. `Traits` names the value (Value, whose Value{} is none), tells
// whether one is held (Valid) and gives it back (Close). What is held is given
// back exactly once, on every way out.
#pragma once

#include <type_traits>
#include <utility>

namespace hw::platform {

template <class Traits>
class Unique {
public:
    using Value = typename Traits::Value;

    Unique() = default;
    explicit Unique(Value value) : v_(value) {}
    ~Unique() { reset(); }
    Unique(Unique&& other) noexcept : v_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    const Value& get() const { return v_; }
    explicit operator bool() const { return Traits::Valid(v_); }
    // Calls through an interface pointer (COM).
    Value operator->() const
        requires std::is_pointer_v<Value> && std::is_class_v<std::remove_pointer_t<Value>>
    {
        return v_;
    }
    // Gives back what it holds and takes `value` instead.
    void reset(Value value = Value{}) {
        const Value old = std::exchange(v_, value);
        if (Traits::Valid(old)) Traits::Close(old);
    }
    // Hands what it holds over to the caller, who gives it back.
    Value release() { return std::exchange(v_, Value{}); }
    // For a call that fills an out-parameter: gives back what it holds first.
    Value* put() {
        reset();
        return &v_;
    }

private:
    Value v_{};
};

}  // namespace hw::platform
