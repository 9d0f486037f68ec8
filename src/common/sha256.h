// SHA-256 (FIPS 180-4), fed in runs of bytes: what tells a file's content
// from another's without keeping either.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace hw::sha256 {

class Hasher {
public:
    Hasher();
    void Add(const void* bytes, std::size_t size);
    // The digest of all added; the hasher is spent.
    std::array<std::uint8_t, 32> Finish();

private:
    void Block(const std::uint8_t* block);
    std::uint32_t h_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

// A digest in lower-case hex.
std::string Hex(const std::array<std::uint8_t, 32>& digest);

}  // namespace hw::sha256
