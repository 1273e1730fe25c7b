#pragma once

#include <QColor>

namespace vellumo {

// Colour values as the platform stores them: red in the lowest byte, then
// green, then blue (0x00BBGGRR). The top byte is the caller's to look at.
inline QColor colorFromBgr(unsigned bgr)
{
    return QColor(int(bgr & 0xFFu), int((bgr >> 8) & 0xFFu), int((bgr >> 16) & 0xFFu));
}

inline unsigned bgrFromColor(const QColor &color)
{
    return unsigned(color.red()) | unsigned(color.green()) << 8 | unsigned(color.blue()) << 16;
}

} // namespace vellumo
