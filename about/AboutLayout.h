#pragma once

#include "platform/forms/FormLayout.h"

#include <vector>

namespace vellumo {

// frmAbout's client area in twips.
constexpr int kAboutClientWidth = 5730;
constexpr int kAboutClientHeight = 2250;

// The controls in stacking order: later ones are drawn over earlier ones.
const std::vector<ControlEntry> &aboutLayout();

} // namespace vellumo
