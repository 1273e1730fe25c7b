#pragma once

// Built for Windows only (the Wine test); the program elsewhere uses StandInRegistry.

#include "platform/system/Registry.h"

namespace vellumo {

// The system registry, through advapi32.
class WindowsRegistry final : public RegistryLayer {
public:
    std::int32_t openKey(RegHandle root, const std::string &path, std::uint32_t options,
                         std::uint32_t access, RegHandle &key) override;
    std::int32_t queryValue(RegHandle key, const std::string &name, std::uint32_t &type,
                            unsigned char *data, std::uint32_t &size) override;
    std::int32_t closeKey(RegHandle key) override;
};

} // namespace vellumo
