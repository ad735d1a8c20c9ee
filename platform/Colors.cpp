#include "Colors.h"

namespace {

QColor SystemColor(uint32_t number) {
    switch (number) {
        case 2:  // active caption
            return QColor(0x99, 0xB4, 0xD1);
        case 4:  // menu background
            return QColor(0xF0, 0xF0, 0xF0);
        case 24:  // tooltip background
            return QColor(0xFF, 0xFF, 0xE1);
        default:
            return QColor(0xF0, 0xF0, 0xF0);
    }
}

}  // namespace

QColor ColorToQColor(TColor value) {
    auto bits = static_cast<uint32_t>(value);
    if ((bits & 0xFF000000u) == 0xFF000000u) {
        return SystemColor(bits & 0xFFu);
    }
    return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                  static_cast<int>((bits >> 16) & 0xFF));
}
