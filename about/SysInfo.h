#pragma once

namespace vellumo {

struct Services;

inline constexpr char kSysInfoUnavailable[] = "System Information Is Unavailable At This Time";
// Joined to the folder of the second registry entry as it stands, even after a trailing '\'.
inline constexpr char kMsinfoProgram[] = "\\MSINFO32.EXE";

// Finds the system information tool through the registry and starts it. Whatever goes wrong
// ends in one message box; nothing reaches the caller.
void StartSysInfo(const Services &services);

} // namespace vellumo
