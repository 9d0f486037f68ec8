// The owners of what the facade hands out: each handle is given back exactly
// once, whichever way its owner lets go of it.
#include <gtest/gtest.h>

#include <type_traits>

#include "platform/owned.h"
#include "platform/sim/sim_desktop.h"

namespace hw::platform {
namespace {

// A number becomes a handle or an address in another process only when named
// as one: a process id passed where a window is expected does not compile.
// None, written 0, is any kind's.
static_assert(!std::is_convertible_v<Pid, Hwnd>);
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

}  // namespace
}  // namespace hw::platform
