#pragma once

// Kept free of Qt: the registry reader is also built for Windows on its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vellumo {

// A key handle as the registry calls pass it: a predefined root or an open key.
using RegHandle = std::uintptr_t;

// Status codes of the registry calls, as the platform numbers them.
constexpr std::int32_t kRegSuccess = 0;
constexpr std::int32_t kRegNotFound = 2;
constexpr std::int32_t kRegInvalidHandle = 6;
constexpr std::int32_t kRegMoreData = 234;

// Predefined roots are 32-bit numbers that the platform sign-extends to a handle.
constexpr std::int32_t kHkeyLocalMachine = static_cast<std::int32_t>(0x80000002u);

constexpr RegHandle rootHandle(std::int32_t root)
{
    return static_cast<RegHandle>(static_cast<std::intptr_t>(root));
}

// Query and enumerate rights only, so a key that may be read but not written still opens.
constexpr std::uint32_t kKeyRead = 0x20019;

// Where the system records its system information tool: first the tool's full path, then,
// failing that, the folder that holds it.
inline constexpr char kMsinfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char kMsinfoPathValue[] = "PATH";
inline constexpr char kSharedToolsKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char kSharedToolsMsinfoValue[] = "MSINFO";

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;

// The three registry calls the program makes, text as single-byte strings.
class RegistryLayer {
public:
    virtual ~RegistryLayer() = default;

    // On success `key` names the open key; on failure it holds whatever the call left there.
    virtual std::int32_t openKey(RegHandle root, const std::string &path, std::uint32_t options,
                                 std::uint32_t access, RegHandle &key) = 0;
    // `size` goes in as the buffer's size and comes out as the number of bytes stored, or
    // needed when the status is kRegMoreData.
    virtual std::int32_t queryValue(RegHandle key, const std::string &name, std::uint32_t &type,
                                    unsigned char *data, std::uint32_t &size) = 0;
    virtual std::int32_t closeKey(RegHandle key) = 0;
};

// Stands in for the registry where the system has none. It knows one value, the path of the
// system information tool, and finds that tool afresh on each open: the first of `tools` that
// `locate` finds installed. Every other key and value is not found.
class StandInRegistry final : public RegistryLayer {
public:
    // Gives the full path of an installed program by name, or empty text.
    using Locate = std::function<std::string(const std::string &name)>;

    static const std::vector<std::string> &desktopTools();

    StandInRegistry(); // desktopTools(), looked for along the search path
    StandInRegistry(std::vector<std::string> tools, Locate locate);

    std::int32_t openKey(RegHandle root, const std::string &path, std::uint32_t options,
                         std::uint32_t access, RegHandle &key) override;
    std::int32_t queryValue(RegHandle key, const std::string &name, std::uint32_t &type,
                            unsigned char *data, std::uint32_t &size) override;
    std::int32_t closeKey(RegHandle key) override;

private:
    std::vector<std::string> m_tools;
    Locate m_locate;
    // Open keys by handle, each holding the tool path found when it was opened.
    std::vector<std::pair<RegHandle, std::string>> m_open;
    RegHandle m_nextHandle = 0x1000;
};

} // namespace vellumo
