#pragma once

#include "vellumo_identity.h"

class QApplication;

namespace vellumo {

constexpr const char *kProgramName = VELLUMO_NAME;
constexpr const char *kProgramDescription = VELLUMO_DESCRIPTION;
constexpr const char *kProgramVersion = VELLUMO_VERSION;

// Name, version and icon as the desktop shows them.
void applyIdentity(QApplication &app);

} // namespace vellumo
