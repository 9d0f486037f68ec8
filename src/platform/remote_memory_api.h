// Memory of another process: blocks reserved in it, read and written, and
// which record layout it uses.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace hw::platform {

class RemoteMemoryApi {
public:
    virtual ~RemoteMemoryApi() = default;

    virtual RemoteAddress VirtualAllocEx(Handle process, std::uint64_t size,
                                         std::uint32_t allocationType, std::uint32_t protect) = 0;
    virtual bool VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                               std::uint32_t freeType) = 0;
    virtual bool ReadProcessMemory(Handle process, RemoteAddress address, void* buffer,
                                   std::uint64_t size, std::uint64_t* bytesRead) = 0;
    virtual bool WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                    std::uint64_t size, std::uint64_t* bytesWritten) = 0;
    // True in *wow64 when the process is a 32-bit one on 64-bit Windows.
    virtual bool IsWow64Process(Handle process, bool* wow64) = 0;
    // Whether Harrowatch itself is a 64-bit program.
    virtual bool Is64BitProcess() = 0;
};

}  // namespace hw::platform
