// The main window's one common dialog: colour, open-file and font choices,
// with their results kept in public members for as long as the window
// lives. Each Show returns normally whether the user confirms or cancels; a
// cancel leaves the members as they were.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace vantrel {

class CommonDialog {
public:
    virtual ~CommonDialog() = default;

    QString Filter;    // "description|pattern|description|pattern"
    QString FileName;  // the file last chosen
    std::int32_t Color = 0;  // the colour last chosen, &H00BBGGRR
    std::int32_t Flags = 0;  // font dialog options; effects are not offered here
    QString FontName;
    float FontSize = 0;
    bool FontBold = false;
    bool FontItalic = false;

    void ShowOpen();
    void ShowColor();
    void ShowFont();

    // Qt name filters for a Filter text: each entry keeps its description as
    // the visible text and matches its patterns in any letter case.
    static QStringList nameFilters(const QString& filter);

protected:
    struct FontChoice {
        QString family;
        float points;
        bool bold;
        bool italic;
    };
    // Each returns the user's choice, or nothing on cancel.
    virtual std::optional<QString> chooseFile(const QString& filter, const QString& current) = 0;
    virtual std::optional<std::int32_t> chooseColor(std::int32_t current) = 0;
    // The font dialog starts from the labels as drawn, not from these
    // properties (a design face the dialog may not list).
    virtual std::optional<FontChoice> chooseFont() = 0;
};

// The real dialogs: QFileDialog, QColorDialog and QFontDialog.
class QtCommonDialog final : public CommonDialog {
public:
    // `labelFont` is the font the labels have now: the font dialog starts there.
    explicit QtCommonDialog(QWidget* owner, std::function<QFont()> labelFont = {})
        : owner_(owner), labelFont_(std::move(labelFont)) {}

    // Where the font dialog starts: the labels' font as drawn (their face
    // may be a design name the dialog does not list), or the dialog's last
    // choice while the labels still have it, style and all ("Condensed").
    static QFont fontDialogStart(const QFont& labels, const std::optional<QFont>& last);

protected:
    std::optional<QString> chooseFile(const QString& filter, const QString& current) override;
    std::optional<std::int32_t> chooseColor(std::int32_t current) override;
    std::optional<FontChoice> chooseFont() override;

private:
    QWidget* owner_;
    std::function<QFont()> labelFont_;
    std::optional<QFont> last_;
};

}  // namespace vantrel
