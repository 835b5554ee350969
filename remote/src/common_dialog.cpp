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
    if (auto chosen = chooseFont()) {
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

QFont QtCommonDialog::fontDialogStart(const QFont& labels, const std::optional<QFont>& last) {
    if (last && last->family() == labels.family() && last->pointSizeF() == labels.pointSizeF() &&
        last->bold() == labels.bold() && last->italic() == labels.italic())
        return *last;
    QFont start = labels;
    start.setFamily(QFontInfo(labels).family());
    return start;
}

std::optional<CommonDialog::FontChoice> QtCommonDialog::chooseFont() {
    QFont design(design::SansSerif);
    design.setPointSizeF(design::LabelPoints);
    design.setBold(true);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, fontDialogStart(labelFont_ ? labelFont_() : design, last_), owner_);
    if (!ok) return std::nullopt;
    last_ = chosen;
    return FontChoice{chosen.family(), static_cast<float>(chosen.pointSizeF()), chosen.bold(), chosen.italic()};
}

}  // namespace vantrel
