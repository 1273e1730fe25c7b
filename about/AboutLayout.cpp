#include "about/AboutLayout.h"

namespace vellumo {

const std::vector<ControlEntry> &aboutLayout()
{
    using K = ControlKind;
    constexpr unsigned black = 0x00000000;
    constexpr unsigned white = 0x00FFFFFF;
    constexpr unsigned grey = 0x00808080;
    constexpr unsigned activeBorder = 0x8000000A;
    constexpr unsigned highlight = 0x8000000D;
    constexpr unsigned none = ControlEntry::kDefaultColour;
    static const char *const icon = ":/icons/about";
    // Several texts end with a blank, and the forum line has two after the colon.
    static const std::vector<ControlEntry> entries = {
        {K::PictureBox, "picIcon", nullptr, "", 240, 240, 480, 480, 1, icon},
        {K::CommandButton, "cmdOK", nullptr, "OK", 4245, 1320, 1260, 345, 0},
        {K::CommandButton, "cmdSysInfo", nullptr, "&System Info...", 4260, 1800, 1245, 345, 2},
        {K::Label, "Label2", nullptr, "https://orchardnet.example", 240, 1800, 3375, 255, 8,
         nullptr, highlight, activeBorder},
        {K::Label, "Label1", nullptr, "Helped by:  Orchardnet Forums", 240, 1560, 3375, 255, 7},
        // Line1 is a pair: the grey rule first, the wider white one drawn over it.
        {K::Line, "Line1", nullptr, "", 120, 1200, 5684, 1200, kNoTabIndex, nullptr, grey, none, 1},
        {K::Label, "lblDescription", nullptr, "A basic text program. ", 1050, 960, 3885, 210, 3,
         nullptr, black},
        {K::Label, "lblTitle", nullptr, "Vellumo", 1050, 240, 3885, 240, 5, nullptr, black},
        {K::Line, "Line1", nullptr, "", 120, 1200, 5669, 1200, kNoTabIndex, nullptr, white, none,
         2},
        {K::Label, "lblVersion", nullptr, "Version 1", 1050, 600, 3885, 225, 6},
        {K::Label, "lblDisclaimer", nullptr, "Code by: Karvik ", 240, 1320, 3375, 225, 4, nullptr,
         black},
    };
    return entries;
}

} // namespace vellumo
