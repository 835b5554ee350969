#include "text_forms.h"

#include "app_error.h"
#include "numeric_text.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace vantrel::text {
namespace {

// A decimal number in the user's format, or in the "C" format that every
// locale's users type for plain integers. Group separators are refused so
// that "8,25" written under one locale never reads as 825 under another.
double parseDecimal(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) throwError(TypeMismatch);
    bool ok = false;
    QLocale user;
    user.setNumberOptions(QLocale::RejectGroupSeparator);
    double value = user.toDouble(trimmed, &ok);
    if (!ok) {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        value = c.toDouble(trimmed, &ok);
    }
    if (!ok) {
        // Qt refuses numbers beyond a double's range; tell those apart by
        // their value: too large is an overflow, too small is 0.
        QString plain = trimmed;
        if (user.decimalPoint() != QLatin1String(".") && !plain.contains(QLatin1Char('.')))
            plain.replace(user.decimalPoint(), QStringLiteral("."));
        const auto number = kestrix::text::decimal_number(plain.toStdString());
        using range = kestrix::text::decimal::range;
        if (!number || number->where == range::inside) throwError(TypeMismatch);
        if (number->where == range::overflow) throwError(Overflow);
        return number->value;
    }
    if (!std::isfinite(value)) throwError(Overflow);
    return value;
}

}  // namespace

QString fromSingle(float value) {
    QString s = QString::number(static_cast<double>(value), 'g', 7);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String(".")) s.replace(QLatin1Char('.'), point);
    return s;
}

float toSingle(const QString& text) {
    const double value = parseDecimal(text);
    if (std::fabs(value) > std::numeric_limits<float>::max()) throwError(Overflow);
    return static_cast<float>(value);
}

QString fromInteger(std::int16_t value) { return QString::number(value); }

std::int16_t toInteger(const QString& text) {
    auto value = kestrix::text::to_int16(parseDecimal(text));
    if (!value) throwError(Overflow);
    return *value;
}

QString fromColour(std::int32_t colour) { return QString::number(colour); }

std::int32_t toColour(const QString& text) {
    const double value = kestrix::text::round_half_even(parseDecimal(text));
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        throwError(Overflow);
    return static_cast<std::int32_t>(value);
}

QString fromBoolean(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

bool toBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    return parseDecimal(trimmed) != 0;
}

double leadingNumber(const QString& text) { return kestrix::text::leading_number(text.toStdString()); }

QColor colourFromNumber(std::int32_t colour) {
    const auto bits = static_cast<std::uint32_t>(colour);
    if (bits >> 24) throwError(InvalidPropertyValue);
    return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                  static_cast<int>((bits >> 16) & 0xFF));
}

std::int32_t numberFromColour(const QColor& colour) {
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

}  // namespace vantrel::text
