// One move-only owner for everything the facade hands out that must be given
// back: kernel handles, registry keys, memory reserved in another process.
// Each has exactly one owner, which gives it back on every way out.
#pragma once

#include <utility>

#include "platform/desktop.h"

namespace hw::platform {

template <class Traits>
class Owned {
public:
    using Value = typename Traits::Value;

    Owned() = default;
    Owned(Desktop& desktop, Value value) : d_(&desktop), v_(value) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : d_(other.d_), v_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            d_ = other.d_;
            v_ = other.release();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Value get() const { return v_; }
    explicit operator bool() const { return Traits::Valid(v_); }
    // Gives back what it holds.
    void reset() {
        if (d_ && Traits::Valid(v_)) Traits::Close(*d_, v_);
        v_ = Value{};
    }
    // Gives back what it holds and takes `value`, got from `desktop`, instead:
    // an owner that held nothing has no desktop to give it back to otherwise.
    void reset(Desktop& desktop, Value value) {
        reset();
        d_ = &desktop;
        v_ = value;
    }
    // Hands what it holds over to the caller, who gives it back.
    Value release() { return std::exchange(v_, Value{}); }
    // For a call that fills an out-parameter: gives back what it holds first.
    Value* put(Desktop& desktop) {
        reset();
        d_ = &desktop;
        return &v_;
    }

private:
    Desktop* d_ = nullptr;
    Value v_{};
};

struct HandleTraits {
    using Value = Handle;
    static bool Valid(Handle h) { return h != 0 && h != kInvalidHandle; }
    static void Close(Desktop& d, Handle h) { d.CloseHandle(h); }
};

struct KeyTraits {
    using Value = HKey;
    static bool Valid(HKey k) { return k != 0; }
    static void Close(Desktop& d, HKey k) { d.RegCloseKey(k); }
};

// A block of memory reserved in another process, with the handle it was
// reserved through (which must outlive it).
struct RemoteMemory {
    Handle process = 0;
    RemoteAddress address = 0;
};
struct RemoteMemoryTraits {
    using Value = RemoteMemory;
    static bool Valid(const RemoteMemory& m) { return m.address != 0; }
    static void Close(Desktop& d, const RemoteMemory& m) { d.VirtualFreeEx(m.process, m.address, 0, mem::kRelease); }
};

using UniqueHandle = Owned<HandleTraits>;
using UniqueKey = Owned<KeyTraits>;
using UniqueRemoteMemory = Owned<RemoteMemoryTraits>;

// Reserves `size` bytes of read-write memory in the process.
inline UniqueRemoteMemory ReserveRemote(Desktop& d, Handle process, std::uint64_t size) {
    return {d, {process, process ? d.VirtualAllocEx(process, size, mem::kCommit, mem::kReadWrite) : 0}};
}

}  // namespace hw::platform
