#pragma once

#include "platform/forms/FormLayout.h"

#include <vector>

namespace vellumo {

// frmMain's client area, below the menu bar, in twips.
constexpr int kMainClientWidth = 10005;
constexpr int kMainClientHeight = 7050;

// The controls in stacking order: later ones are drawn over earlier ones.
const std::vector<ControlEntry> &mainLayout();

} // namespace vellumo
