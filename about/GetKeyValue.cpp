#include "about/GetKeyValue.h"

#include <array>
#include <stdexcept>

namespace vellumo {

namespace {

// Little-endian bytes as one number, so a zero top byte still counts.
std::string hexNumber(const unsigned char *bytes, std::size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = count; i-- > 0;) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    const std::size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : hex.substr(first);
}

bool readValue(RegistryLayer &registry, RegHandle key, const std::string &name, std::string &text)
{
    std::array<unsigned char, kRegValueBufferSize> buffer{};
    std::uint32_t type = 0;
    std::uint32_t size = kRegValueBufferSize;
    if (registry.queryValue(key, name, type, buffer.data(), size) != kRegSuccess) {
        text.clear();
        return false;
    }
    if (size > buffer.size())
        throw std::length_error("The registry reported more data than its buffer holds");
    if (size == 0)
        throw std::invalid_argument("The registry value has no data");

    switch (type) {
    case kRegSz: {
        // A text stored with its terminating zero reads the same as one stored without.
        const std::size_t length = buffer[size - 1] == 0 ? size - 1 : size;
        text.assign(reinterpret_cast<const char *>(buffer.data()), length);
        break;
    }
    case kRegDword:
        text = "&h" + hexNumber(buffer.data(), size);
        break;
    default:
        break;
    }
    return true;
}

} // namespace

bool GetKeyValue(RegistryLayer &registry, std::int32_t KeyRoot, const std::string &KeyName,
                 const std::string &SubKeyRef, std::string &KeyVal)
{
    RegHandle key = 0;
    bool read = false;
    if (registry.openKey(rootHandle(KeyRoot), KeyName, 0, kKeyRead, key) != kRegSuccess) {
        KeyVal.clear();
    } else {
        try {
            read = readValue(registry, key, SubKeyRef, KeyVal);
        } catch (...) {
            registry.closeKey(key);
            throw;
        }
    }
    // Also after a failed open, with whatever handle the open left.
    registry.closeKey(key);
    return read;
}

} // namespace vellumo
