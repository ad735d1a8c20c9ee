// Colour values as stored and drawn: 0x00BBGGRR (red in the lowest byte), or 0xFF0000nn for the
// platform's system colour number nn, which map to fixed stand-ins here.
#pragma once

#include <QColor>
#include <cstdint>

using TColor = int32_t;

constexpr TColor clSystemActiveCaption = static_cast<TColor>(0xFF000002u);
constexpr TColor clSystemMenu = static_cast<TColor>(0xFF000004u);
constexpr TColor clSystemInfoBk = static_cast<TColor>(0xFF000018u);

QColor ColorToQColor(TColor value);
