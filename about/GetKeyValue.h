#pragma once

// Kept free of Qt, so that it can be built for Windows with the registry layer alone.

#include "platform/system/Registry.h"

#include <cstdint>
#include <string>

namespace vellumo {

// The most one value may hold; a longer one counts as missing.
constexpr std::uint32_t kRegValueBufferSize = 1024;

// Reads the value `SubKeyRef` of the key `KeyName` below the root `KeyRoot` into `KeyVal` and
// tells whether the key opened and the value was read:
// - text (REG_SZ) as its bytes, less a terminating zero;
// - a number (REG_DWORD) as "&h" and upper-case hexadecimal without leading zeros;
// - any other type leaves `KeyVal` as it was, and still counts as read.
// A missing key or value, or one that needs more than 1024 bytes, gives false and empty text.
// A value with no data throws std::invalid_argument and leaves `KeyVal` as it was.
bool GetKeyValue(RegistryLayer &registry, std::int32_t KeyRoot, const std::string &KeyName,
                 const std::string &SubKeyRef, std::string &KeyVal);

} // namespace vellumo
