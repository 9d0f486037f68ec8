// The owners of what the facade hands out: each handle is given back exactly
// once, whichever way its owner lets go of it.
#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "platform/owned.h"
#include "platform/sim/sim_desktop.h"
#include "platform/unique.h"

namespace hw::platform {
namespace {

// A number becomes a handle, a process id or an address in another process
// only when named as one: a process id passed where a window is expected does
// not compile, nor is one counted with.
// None, written 0, is any kind's.
static_assert(!std::is_convertible_v<Pid, Hwnd>);
static_assert(!std::is_convertible_v<std::uint32_t, Pid>);
static_assert(!std::is_convertible_v<Pid, std::uint32_t>);
static_assert(!std::is_convertible_v<std::uint64_t, Handle>);
static_assert(!std::is_convertible_v<Handle, Hwnd>);
static_assert(!std::is_convertible_v<std::uint64_t, RemoteAddress>);
static_assert(std::is_convertible_v<std::nullptr_t, HKey>);

Handle OpenOne(sim::SimDesktop& d, Pid pid) {
    Handle h = d.OpenProcess(proc::kQueryLimitedInformation, false, pid);
    EXPECT_TRUE(h) << "OpenProcess failed";
    return h;
}

TEST(Owned, GivesBackWhatItHoldsOnResetMoveAndDestructionExactlyOnce) {
    sim::SimDesktop d;
    const Pid pid = d.AddProcess("C:\\Games\\server.exe");
    {
        UniqueHandle empty;
        empty.reset(d, OpenOne(d, pid));  // an owner that held nothing takes it
        ASSERT_TRUE(empty);
        EXPECT_EQ(d.OpenHandleCount(), 1u);

        UniqueHandle held(d, OpenOne(d, pid));
        held.reset(d, OpenOne(d, pid));  // the first is given back
        EXPECT_EQ(d.OpenHandleCount(), 2u);

        UniqueHandle moved = std::move(held);
        EXPECT_FALSE(held);
        held = std::move(empty);
        EXPECT_EQ(d.OpenHandleCount(), 2u);

        moved.reset();
        EXPECT_EQ(d.OpenHandleCount(), 1u);
    }
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

// The Windows halves' owner, on values that record when they are given back.
std::vector<int> closed;
struct CountedTraits {
    using Value = int;
    static bool Valid(int v) { return v != 0; }
    static void Close(int v) { closed.push_back(v); }
};
using Counted = Unique<CountedTraits>;

TEST(Unique, GivesBackWhatItHoldsOnResetPutMoveAndDestructionExactlyOnce) {
    closed.clear();
    {
        Counted empty;
        empty.reset(1);  // an owner that held nothing takes it
        EXPECT_EQ(empty.get(), 1);
        *empty.put() = 2;  // filled as an out-parameter: 1 is given back first
        EXPECT_EQ(closed, std::vector<int>{1});

        Counted moved = std::move(empty);
        EXPECT_FALSE(empty);
        moved = Counted(3);  // 2 is given back
        Counted taken(4);
        EXPECT_EQ(taken.release(), 4);  // the caller's now: never given back here
        EXPECT_EQ(closed, (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(closed, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace hw::platform
