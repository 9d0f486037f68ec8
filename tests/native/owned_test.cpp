// The owners of what the facade hands out: each handle is given back exactly
// once, whichever way its owner lets go of it.
#include <gtest/gtest.h>

#include "platform/owned.h"
#include "platform/sim/sim_desktop.h"

namespace hw::platform {
namespace {

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
