#pragma once

class QApplication;

namespace vellumo {

constexpr const char *kProgramName = "Vellumo";
constexpr const char *kProgramDescription = "Vellumo, basic text program.";
constexpr const char *kProgramVersion = VELLUMO_VERSION;

// Name, version and icon as the desktop shows them.
void applyIdentity(QApplication &app);

} // namespace vellumo
