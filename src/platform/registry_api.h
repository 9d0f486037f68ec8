// The registry (advapi32). Results are Win32 error codes. Keys are opened
// in the 32-bit view of the registry on 64-bit Windows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    virtual long RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                              HKey& result) = 0;
    virtual long RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                HKey& result) = 0;
    virtual long RegCloseKey(HKey key) = 0;
    // Deletes a key that has no sub-keys (its values go with it).
    virtual long RegDeleteKey(HKey root, const std::string& subKey) = 0;
    virtual long RegDeleteValue(HKey key, const std::string& valueName) = 0;
    // data may be null to ask for the type and size only. With data given and
    // *size too small the call fails with ERROR_MORE_DATA and sets *size.
    virtual long RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) = 0;
    virtual long RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) = 0;
    virtual long RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                 std::uint32_t* values, std::uint32_t* maxValueNameLen) = 0;
    // *nameLen: in, the buffer's size in characters; out, the name's length.
    virtual long RegEnumValue(HKey key, std::uint32_t index, char* name,
                              std::uint32_t* nameLen) = 0;
    virtual long RegEnumKey(HKey key, std::uint32_t index, char* name,
                            std::uint32_t nameSize) = 0;
    // Returns the characters needed including the terminator (0 on failure).
    virtual std::uint32_t ExpandEnvironmentStrings(const std::string& source, char* destination,
                                                   std::uint32_t size) = 0;
};

}  // namespace hw::platform
