#pragma once

#include <QString>
#include <optional>

namespace vellumo {

class FileSearch;
class RegistryLayer;

inline constexpr char kSysInfoUnavailable[] = "System Information Is Unavailable At This Time";
// Joined to the folder of the second registry entry as it stands, even after a trailing '\'.
inline constexpr char kMsinfoProgram[] = "\\MSINFO32.EXE";

// The path of the system information tool as the registry leads to it, or nothing when it
// leads to none. A registry or file search that fails throws.
std::optional<QString> findSysInfoTool(RegistryLayer &registry, FileSearch &fileSearch);

} // namespace vellumo
