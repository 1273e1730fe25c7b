#include "platform/system/WindowsRegistry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace vellumo {

static_assert(kKeyRead == KEY_READ);
static_assert(kRegSuccess == ERROR_SUCCESS && kRegNotFound == ERROR_FILE_NOT_FOUND &&
              kRegInvalidHandle == ERROR_INVALID_HANDLE && kRegMoreData == ERROR_MORE_DATA);
static_assert(kRegSz == REG_SZ && kRegExpandSz == REG_EXPAND_SZ && kRegDword == REG_DWORD);
static_assert(sizeof(RegHandle) == sizeof(HKEY));

namespace {

HKEY toHkey(RegHandle handle)
{
    return reinterpret_cast<HKEY>(handle);
}

} // namespace

std::int32_t WindowsRegistry::openKey(RegHandle root, const std::string &path,
                                      std::uint32_t options, std::uint32_t access, RegHandle &key)
{
    HKEY opened = toHkey(key);
    const LONG status = RegOpenKeyExA(toHkey(root), path.c_str(), options, access, &opened);
    key = reinterpret_cast<RegHandle>(opened);
    return status;
}

std::int32_t WindowsRegistry::queryValue(RegHandle key, const std::string &name,
                                         std::uint32_t &type, unsigned char *data,
                                         std::uint32_t &size)
{
    DWORD valueType = type;
    DWORD valueSize = size;
    const LONG status =
        RegQueryValueExA(toHkey(key), name.c_str(), nullptr, &valueType, data, &valueSize);
    type = valueType;
    size = valueSize;
    return status;
}

std::int32_t WindowsRegistry::closeKey(RegHandle key)
{
    return RegCloseKey(toHkey(key));
}

} // namespace vellumo
