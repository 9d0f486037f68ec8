// Memory of simulated processes: blocks reserved, read and written across
// processes, and the blocks given back.
#include "platform/sim/sim_desktop.h"

#include <cstring>

namespace hw::platform::sim {

RemoteAddress SimDesktop::VirtualAllocEx(Handle process, std::uint64_t size, std::uint32_t allocationType,
                                         std::uint32_t protect) {
    SimProcess* p = ProcessWith(process, proc::kVmOperation);
    if (!p) return {};
    if (!p->alive) return Fail(err::kAccessDenied), RemoteAddress{};
    if (size == 0 || !(allocationType & mem::kCommit) || protect != mem::kReadWrite)
        return Fail(err::kInvalidParameter), RemoteAddress{};
    // A 32-bit program's address space ends at 4 GB; a 64-bit one gets
    // blocks above it, so an address cut to 32 bits points nowhere.
    const std::uint64_t limit = p->is32Bit ? (1ull << 32) : (1ull << 47);
    const std::uint64_t pages = (size + 0xFFF) & ~0xFFFull;
    if (!p->is32Bit && p->nextAddress.value() < (1ull << 32)) p->nextAddress += 0x7FF00000000ull;
    if (size > (1ull << 30) || p->nextAddress.value() + pages > limit) return Fail(8 /* ERROR_NOT_ENOUGH_MEMORY */), RemoteAddress{};
    const RemoteAddress a = p->nextAddress;
    p->nextAddress += pages + 0x10000;
    p->memory[a].assign(pages, 0);
    return a;
}

bool SimDesktop::VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                               std::uint32_t freeType) {
    SimProcess* p = ProcessWith(process, proc::kVmOperation);
    if (!p) return false;
    if (size != 0 || freeType != mem::kRelease) return Fail(err::kInvalidParameter);
    auto it = p->memory.find(address);
    if (it == p->memory.end()) return Fail(487 /* ERROR_INVALID_ADDRESS */);
    p->released[address] = it->second.size();
    p->memory.erase(it);
    return true;
}

bool SimDesktop::WasReleased(const SimProcess& p, RemoteAddress address) const {
    auto it = p.released.upper_bound(address);
    if (it == p.released.begin()) return false;
    --it;
    return address < it->first + it->second;
}

std::uint8_t* SimDesktop::MemoryAt(Pid pid, RemoteAddress address, std::uint64_t size) {
    SimProcess* p = FindProcess(pid);
    if (!p || !p->alive) return nullptr;
    auto it = p->memory.upper_bound(address);
    if (it == p->memory.begin()) return nullptr;
    --it;
    if (address < it->first || address + size > it->first + it->second.size()) return nullptr;
    return it->second.data() + (address - it->first);
}

std::uint8_t* SimDesktop::HostedAccess(Pid pid, RemoteAddress address, std::uint64_t size, bool write) {
    std::uint8_t* at = MemoryAt(pid, address, size);
    if (at) return at;
    if (SimProcess* p = FindProcess(pid); p && p->alive && WasReleased(*p, address))
        releasedAccesses_.push_back({pid, address, write});
    return nullptr;
}

bool SimDesktop::ReadMemory(Pid pid, RemoteAddress address, void* buffer, std::uint64_t size) {
    const std::uint8_t* at = HostedAccess(pid, address, size, false);
    if (at) std::memcpy(buffer, at, size);
    return at != nullptr;
}

bool SimDesktop::WriteMemory(Pid pid, RemoteAddress address, const void* buffer, std::uint64_t size) {
    std::uint8_t* at = HostedAccess(pid, address, size, true);
    if (at) std::memcpy(at, buffer, size);
    return at != nullptr;
}

std::size_t SimDesktop::RemoteBlockCount(Pid pid) {
    SimProcess* p = FindProcess(pid);
    return p ? p->memory.size() : 0;
}

bool SimDesktop::ReadProcessMemory(Handle process, RemoteAddress address, void* buffer, std::uint64_t size,
                                   std::uint64_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    SimProcess* p = ProcessWith(process, proc::kVmRead);
    if (!p) return false;
    const std::uint8_t* at = MemoryAt(p->pid, address, size);
    if (!at) return Fail(299 /* ERROR_PARTIAL_COPY */);
    std::memcpy(buffer, at, size);
    if (bytesRead) *bytesRead = size;
    return true;
}

bool SimDesktop::WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                    std::uint64_t size, std::uint64_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    SimProcess* p = ProcessWith(process, proc::kVmWrite | proc::kVmOperation);
    if (!p) return false;
    std::uint8_t* at = MemoryAt(p->pid, address, size);
    if (!at) return Fail(299 /* ERROR_PARTIAL_COPY */);
    std::memcpy(at, buffer, size);
    if (bytesWritten) *bytesWritten = size;
    return true;
}

bool SimDesktop::IsWow64Process(Handle process, bool* wow64) {
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    // Only 64-bit Windows runs programs under WOW64.
    *wow64 = windows64_ && p->is32Bit;
    return true;
}

}  // namespace hw::platform::sim
