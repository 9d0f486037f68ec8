// "Switch off, restore on every way out", said once: the action runs when
// the guard leaves its scope, by return or by exception.
#pragma once

#include <utility>

namespace hw {

template <class F>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() {
        if (armed_) f_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    // The restore is no longer wanted.
    void Dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

}  // namespace hw
