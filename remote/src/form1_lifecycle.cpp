// Form1's start-up and shut-down: every setting read from the store when the
// window loads, every setting written back, in one save, when it unloads.
#include "button_style.h"
#include "form1.h"
#include "frm_settings.h"
#include "picture.h"
#include "text_forms.h"

namespace vantrel {
namespace {

const QString Section = QStringLiteral("Settings");

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Each step is its own unit: a step that fails (a text that does not
// convert, a picture that does not load, a value a control refuses) is
// skipped and start-up goes on. Keys are read afresh at every use.
void Form1::Form_Load() {
    auto get = [&](const char* key, const QVariant& fallback = QVariant()) {
        return store_.GetSetting(AppTitle, Section, QString::fromLatin1(key), fallback);
    };
    ControllerSettings& s = settings_;

    resumeNext([&] { setWidth(1215); });
    resumeNext([&] { setTop(text::toSingle(get("WindowPositionTop"))); });
    resumeNext([&] { setLeft(text::toSingle(get("WindowPositionLeft"))); });
    resumeNext([&] { s.BackroundColor = get("BackroundColor").toStdString(); });
    resumeNext([&] { s.ForeGroundColor = get("ForeGroundColor").toStdString(); });
    resumeNext([&] { s.HouseCode = get("HouseCode").toStdString(); });
    resumeNext([&] { s.BackroundImage = get("BackroundImage").toStdString(); });
    resumeNext([&] { setWidth(reachableWidth(text::toSingle(get("FormWidth", 1215)))); });
    resumeNext([&] { s.OnButtonSkin = get("OnButtonSkin").toStdString(); });
    resumeNext([&] { s.OffButtonSkin = get("OffButtonSkin").toStdString(); });
    resumeNext([&] { setHeight(reachableHeight(text::toSingle(get("FormHeight", 2100)))); });
    resumeNext([&] { keepOnAScreen(); });
    resumeNext([&] { s.ComPort = text::toInteger(get("ComPort", 1)); });
    resumeNext([&] { s.TypeOfButtons = text::toBoolean(get("TypeOfButtons")); });
    if (s.TypeOfButtons) resumeNext([&] { ToggleButtonStyle(*this, s); });

    if (Width() >= 1500) {
        resumeNext([&] { lblClose->setLeft(2250); });
        resumeNext([&] { lblWiden->setCaption(QStringLiteral("<")); });
        resumeNext([&] { lblWiden->setLeft(2250); });
        resumeNext([&] { lblTall->setLeft(2250); });
    }

    for (Label* label : fontLabels()) {
        resumeNext([&] { label->setFontName(get("FontName")); });
        resumeNext([&] { label->setFontSize(text::toSingle(get("FontSize"))); });
        resumeNext([&] { label->setFontBold(text::toBoolean(get("FontBold"))); });
        resumeNext([&] { label->setFontItalic(text::toBoolean(get("FontItalic"))); });
    }

    if (s.BackroundImage == "OFF")
        resumeNext([&] { setPicture(QPixmap()); });
    else if (!s.BackroundImage.empty())
        resumeNext([&] { setPicture(LoadPicture(qs(s.BackroundImage))); });
    // A skin is decoded once and shown by all sixteen images; one that does
    // not load leaves every image with the built-in skin.
    auto applySkin = [&](const std::string& path, const std::array<ImageBox*, 17>& images) {
        if (path.empty()) return;
        resumeNext([&] {
            const QPixmap skin = LoadPicture(qs(path));
            for (int i = 1; i <= 16; ++i) resumeNext([&] { images[i]->setPicture(skin); });
        });
    };
    applySkin(s.OnButtonSkin, Image1);
    applySkin(s.OffButtonSkin, Image2);

    resumeNext([&] { setBackColor(text::toColour(qs(s.BackroundColor))); });
    resumeNext([&] { cmbHouseCode->setBackColor(text::toColour(qs(s.BackroundColor))); });
    for (int i = 1; i <= 16; ++i) resumeNext([&] { lbl1[i]->setForeColor(text::toColour(qs(s.ForeGroundColor))); });
    resumeNext([&] { cmbHouseCode->setForeColor(text::toColour(qs(s.ForeGroundColor))); });
    for (Label* label : {lblClose, lblWiden, lblTall})
        resumeNext([&] { label->setForeColor(text::toColour(qs(s.ForeGroundColor))); });

    if (s.HouseCode.empty()) s.HouseCode = "A";
    resumeNext([&] { cmbHouseCode->setText(qs(s.HouseCode)); });
}

// All sixteen values reach the file together or not at all; a failed save
// is reported with the file and the reason, and the window still closes.
void Form1::Form_Unload(std::int16_t&) {
    const ControllerSettings& s = settings_;
    auto save = [&](const char* key, const QString& value) {
        store_.SaveSetting(AppTitle, Section, QString::fromLatin1(key), value);
    };
    atTopLevel([&] {
        save("WindowPositionTop", text::fromSingle(Top()));
        save("WindowPositionLeft", text::fromSingle(Left()));
        save("ForeGroundColor", text::fromColour(lbl1[1]->ForeColor()));
        save("BackroundColor", text::fromColour(BackColor()));
        save("HouseCode", qs(s.HouseCode));
        save("BackroundImage", qs(s.BackroundImage));
        save("FormWidth", text::fromSingle(Width()));
        save("OnButtonSkin", qs(s.OnButtonSkin));
        save("OffButtonSkin", qs(s.OffButtonSkin));
        save("FontName", lbl1[1]->FontName());
        save("FontBold", text::fromBoolean(lbl1[1]->FontBold()));
        save("FontItalic", text::fromBoolean(lbl1[1]->FontItalic()));
        save("FontSize", text::fromSingle(lbl1[1]->FontSize()));
        save("FormHeight", text::fromSingle(Height()));
        save("ComPort", text::fromInteger(s.ComPort));
        save("TypeOfButtons", text::fromBoolean(s.TypeOfButtons));
        store_.commit();
    });
    if (settingsWindow_) settingsWindow_->close();
}

}  // namespace vantrel
