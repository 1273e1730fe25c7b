#include "app/MainLayout.h"

namespace vellumo {

const std::vector<ControlEntry> &mainLayout()
{
    using K = ControlKind;
    static const char *const icon = ":/icons/vellumo";
    static const std::vector<ControlEntry> entries = {
        {K::Frame, "Frame1", nullptr, "", 120, 0, 9735, 5895, 0},
        {K::Component, "CommonDialog1", "Frame1", "", 360, 480, 0, 0, kNoTabIndex},
        {K::RichText, "RichTextBox1", "Frame1", "", 120, 240, 9495, 5535, 1},
        {K::Frame, "Frame2", nullptr, "Controls:", 120, 6000, 9735, 855, 2},
        {K::CommandButton, "CmdColor", "Frame2", "&Color", 2640, 240, 1335, 495, 7},
        {K::CommandButton, "CmdReset", "Frame2", "&Reset", 7680, 240, 1335, 495, 6},
        {K::CommandButton, "cmdLoad", "Frame2", "&Load", 6000, 240, 1335, 495, 5},
        {K::CommandButton, "cmdSave", "Frame2", "&Save", 4320, 240, 1335, 495, 4},
        {K::CommandButton, "cmdFont", "Frame2", "&Font", 960, 240, 1335, 495, 3},
        {K::Image, "Image2", "Frame2", "", 240, 240, 480, 480, kNoTabIndex, icon},
        {K::Image, "Image4", "Frame2", "", 9120, 240, 480, 480, kNoTabIndex, icon},
    };
    return entries;
}

} // namespace vellumo
