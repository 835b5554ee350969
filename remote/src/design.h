// The remote's design: the sizes the window switches between and where the
// window-control labels stand in each (twips), and the design's colours
// and faces. Everything that names one of these takes it from here.
#pragma once

#include <QString>

#include <cstdint>

namespace vantrel::design {

// The window as created, before the stored size narrows it.
inline constexpr float CreatedWidth = 9885, CreatedHeight = 2505;
// Units 1 to 8, or all sixteen; ">" switches between the two.
inline constexpr float NarrowWidth = 1215, WideWidth = 2370;
// From this width on the window counts as wide at start.
inline constexpr float WideFrom = 1500;
// The left edge of "x", ">" and "*" in the narrow and the wide window.
inline constexpr float NarrowLabelsLeft = 1080, WideLabelsLeft = 2250;
// Without and with the house box; "*" switches between the two.
inline constexpr float ShortHeight = 2100, TallHeight = 2500;
// From this height on "*" makes the window short; above this width it
// does not make it tall.
inline constexpr float TallFrom = 2450, TallOnlyUpTo = 2000;

// Colour numbers, &H00BBGGRR.
inline constexpr std::int32_t DarkGrey = 0x404040, White = 0xFFFFFF, Orange = 0x0080FF;

// The faces the design asks for; Qt draws them with installed substitutes.
inline const QString SansSerif = QStringLiteral("MS Sans Serif");
inline const QString Serif = QStringLiteral("MS Serif");
inline constexpr float LabelPoints = 8.25f;

}  // namespace vantrel::design
