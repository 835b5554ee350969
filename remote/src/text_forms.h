// How values are written as text and read back: in the settings store, in
// the unit text handed to the transmitter and in the port box. Every read
// that fails throws (Type mismatch or Overflow) so that the caller's own
// trap decides what happens.
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

namespace vantrel::text {

// Single: up to seven significant digits, no point for whole values
// (1215 -> "1215", 8.25 -> "8.25"), with the user's decimal separator.
QString fromSingle(float value);
float toSingle(const QString& text);

// Integer: 16-bit; a fraction rounds half to even.
QString fromInteger(std::int16_t value);
std::int16_t toInteger(const QString& text);

// Colour: the decimal text of the 32-bit colour number &H00BBGGRR.
QString fromColour(std::int32_t colour);
std::int32_t toColour(const QString& text);

// Boolean: "True"/"False"; reads either in any case, or a number (0 False).
QString fromBoolean(bool value);
bool toBoolean(const QString& text);

// The leading-number rule: never fails, "12ab" is 12, "abc" is 0.
double leadingNumber(const QString& text);

// Colour numbers and colours. A number with a high byte set names no RGB
// colour and is refused (Invalid property value).
QColor colourFromNumber(std::int32_t colour);
std::int32_t numberFromColour(const QColor& colour);

}  // namespace vantrel::text
