#include "common_dialog.h"

#include "design.h"
#include "text_forms.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>

namespace vantrel {
namespace {

// "*.BMP" -> "*.[Bb][Mm][Pp]": Qt matches file names case-sensitively here.
QString anyCase(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QLatin1Char('[') + c.toUpper() + c.toLower() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

}  // namespace

void CommonDialog::ShowOpen() {
    if (auto chosen = chooseFile(Filter, FileName)) FileName = *chosen;
}

void CommonDialog::ShowColor() {
    if (auto chosen = chooseColor(Color)) Color = *chosen;
}

void CommonDialog::ShowFont() {
    if (auto chosen = chooseFont({FontName, FontSize, FontBold, FontItalic})) {
        FontName = chosen->family;
        FontSize = chosen->points;
        FontBold = chosen->bold;
        FontItalic = chosen->italic;
    }
}

QStringList CommonDialog::nameFilters(const QString& filter) {
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << anyCase(p.trimmed());
        // The dialog hides the last parenthesised group (HideNameFilterDetails)
        // and matches by it, so the description shows exactly as written.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

std::optional<QString> QtCommonDialog::chooseFile(const QString& filter, const QString& current) {
    QFileDialog dialog(owner_);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = nameFilters(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!current.isEmpty()) dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<std::int32_t> QtCommonDialog::chooseColor(std::int32_t current) {
    QColor start = Qt::black;
    try {
        start = text::colourFromNumber(current);
    } catch (const std::exception&) {
    }
    const QColor chosen = QColorDialog::getColor(start, owner_);
    if (!chosen.isValid()) return std::nullopt;
    return text::numberFromColour(chosen);
}

std::optional<CommonDialog::FontChoice> QtCommonDialog::chooseFont(const FontChoice& current) {
    // Until a font was chosen, start from the labels' design face, as drawn.
    QFont start(design::SansSerif);
    start.setPointSizeF(design::LabelPoints);
    start.setFamily(current.family.isEmpty() ? QFontInfo(start).family() : current.family);
    if (current.points > 0) start.setPointSizeF(current.points);
    start.setBold(current.bold);
    start.setItalic(current.italic);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, start, owner_);
    if (!ok) return std::nullopt;
    return FontChoice{chosen.family(), static_cast<float>(chosen.pointSizeF()), chosen.bold(), chosen.italic()};
}

}  // namespace vantrel
