// Form1's start-up and shut-down: every setting read from the store when the
// window loads, every setting written back, in one save, when it unloads.
#include "button_style.h"
#include "design.h"
#include "form1.h"
#include "frm_settings.h"
#include "picture.h"
#include "store_keys.h"
#include "text_forms.h"

#include <QInputDialog>

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

    resumeNext([&] { setWidth(design::NarrowWidth); });
    resumeNext([&] { setTop(text::toSingle(get(keys::WindowPositionTop))); });
    resumeNext([&] { setLeft(text::toSingle(get(keys::WindowPositionLeft))); });
    resumeNext([&] { s.BackroundColor = get(keys::BackroundColor).toStdString(); });
    resumeNext([&] { s.ForeGroundColor = get(keys::ForeGroundColor).toStdString(); });
    resumeNext([&] { s.HouseCode = get(keys::HouseCode).toStdString(); });
    resumeNext([&] { s.BackroundImage = get(keys::BackroundImage).toStdString(); });
    resumeNext([&] { setWidth(reachableWidth(text::toSingle(get(keys::FormWidth, design::NarrowWidth)))); });
    resumeNext([&] { s.OnButtonSkin = get(keys::OnButtonSkin).toStdString(); });
    resumeNext([&] { s.OffButtonSkin = get(keys::OffButtonSkin).toStdString(); });
    resumeNext([&] { setHeight(reachableHeight(text::toSingle(get(keys::FormHeight, design::ShortHeight)))); });
    resumeNext([&] { keepOnAScreen(); });
    resumeNext([&] { s.ComPort = text::toInteger(get(keys::ComPort, 1)); });
    resumeNext([&] { s.TypeOfButtons = text::toBoolean(get(keys::TypeOfButtons)); });
    if (s.TypeOfButtons) resumeNext([&] { ToggleButtonStyle(*this, s); });

    if (Width() >= design::WideFrom) {
        resumeNext([&] { lblClose->setLeft(design::WideLabelsLeft); });
        resumeNext([&] { lblWiden->setCaption(QStringLiteral("<")); });
        resumeNext([&] { lblWiden->setLeft(design::WideLabelsLeft); });
        resumeNext([&] { lblTall->setLeft(design::WideLabelsLeft); });
    }

    applyLabelFont({[&] { return get(keys::FontName); }, [&] { return text::toSingle(get(keys::FontSize)); },
                    [&] { return text::toBoolean(get(keys::FontBold)); }, [&] { return text::toBoolean(get(keys::FontItalic)); }});

    if (s.BackroundImage == "OFF")
        resumeNext([&] { setPicture(QPixmap()); });
    else if (!s.BackroundImage.empty())
        resumeNext([&] { setPicture(LoadPicture(qs(s.BackroundImage))); });
    // A skin is decoded once and shown by all sixteen images; one that does
    // not load leaves every image with the built-in skin.
    auto skin = [&](const std::string& path, Keys keys) {
        if (!path.empty()) resumeNext([&] { applySkin(keys, LoadPicture(qs(path))); });
    };
    skin(s.OnButtonSkin, Keys::On);
    skin(s.OffButtonSkin, Keys::Off);

    // A colour text that does not convert leaves the design colours.
    resumeNext([&] { applyBackColour(text::toColour(qs(s.BackroundColor))); });
    resumeNext([&] { applyLabelColour(text::toColour(qs(s.ForeGroundColor))); });

    resumeNext([&] { s.Bridge = get(keys::Bridge).toStdString(); });
    resumeNext([&] { s.BridgeTopic = get(keys::BridgeTopic).toStdString(); });
    resumeNext([&] { s.BridgeUser = get(keys::BridgeUser).toStdString(); });
    resumeNext([&] { openBridge(); });

    if (s.HouseCode.empty()) s.HouseCode.push_back('A');
    resumeNext([&] { cmbHouseCode->setText(qs(s.HouseCode)); });
    if (bridge) bridge->showHouse(s.HouseCode);
}

// A bridge named in the store takes the presses; an empty or unreadable
// address leaves them on the COM port, said once on standard error.
void Form1::openBridge(const QString& password) {
    bridge.reset();
    emit roadChanged();
    if (settings_.Bridge.empty()) return;
    std::optional<BridgeAddress> where = BridgeAddress::parse(qs(settings_.Bridge));
    if (!where) {
        qCWarning(lcTransmitter).noquote()
            << QStringLiteral("Bridge=%1 in %2 is not mqtt://host:port or mqtts://host:port; the presses go to COM%3")
                   .arg(qs(settings_.Bridge), SettingsStore::fileName(AppTitle))
                   .arg(settings_.ComPort);
        return;
    }
    if (!settings_.BridgeTopic.empty()) where->base = qs(settings_.BridgeTopic);
    where->user = qs(settings_.BridgeUser);
    where->password = password;
    bridge = std::make_unique<BridgeRoad>(*where, notices);
    connect(bridge.get(), &BridgeRoad::statesChanged, this, &Form1::showStates);
    connect(bridge.get(), &BridgeRoad::reachChanged, this, &Form1::roadChanged);
    bridge->askPassword = [this, user = where->user, host = where->host](const QString& why) -> std::optional<QString> {
        bool given = false;
        const QString typed = QInputDialog::getText(
            this, AppTitle,
            QStringLiteral("The broker on %1 wants the password of %2.\n(%3: it is asked once in each run.)").arg(host, user, why),
            QLineEdit::Password, QString(), &given);
        return given ? std::optional<QString>(typed) : std::nullopt;
    };
    if (where->user.isEmpty() || !password.isEmpty()) return;
    passwords->read(bridge->account(), [road = QPointer<BridgeRoad>(bridge.get())](std::optional<QString> kept, const QString& why) {
        if (!road) return;
        if (kept) return road->setPassword(*kept);
        road->passwordProblem = why;
    });
}

void Form1::keepPassword(const QString& password) {
    if (!bridge) return;
    passwords->write(bridge->account(), password, [road = QPointer<BridgeRoad>(bridge.get())](const QString& why) {
        if (why.isEmpty()) return;
        qCWarning(lcTransmitter).noquote() << QStringLiteral("the bridge's password could not be kept: %1; it is asked again at the next start").arg(why);
        if (road) road->passwordProblem = why;
    });
}

// All sixteen values reach the file together or not at all; a failed save
// is reported with the file and the reason, and the window still closes.
void Form1::Form_Unload(std::int16_t&) {
    const ControllerSettings& s = settings_;
    auto save = [&](const char* key, const QString& value) {
        store_.SaveSetting(AppTitle, Section, QString::fromLatin1(key), value);
    };
    atTopLevel([&] {
        save(keys::WindowPositionTop, text::fromSingle(Top()));
        save(keys::WindowPositionLeft, text::fromSingle(Left()));
        save(keys::ForeGroundColor, text::fromColour(lbl1[1]->ForeColor()));
        save(keys::BackroundColor, text::fromColour(BackColor()));
        save(keys::HouseCode, qs(s.HouseCode));
        save(keys::BackroundImage, qs(s.BackroundImage));
        save(keys::FormWidth, text::fromSingle(Width()));
        save(keys::OnButtonSkin, qs(s.OnButtonSkin));
        save(keys::OffButtonSkin, qs(s.OffButtonSkin));
        save(keys::FontName, lbl1[1]->FontName());
        save(keys::FontBold, text::fromBoolean(lbl1[1]->FontBold()));
        save(keys::FontItalic, text::fromBoolean(lbl1[1]->FontItalic()));
        save(keys::FontSize, text::fromSingle(lbl1[1]->FontSize()));
        save(keys::FormHeight, text::fromSingle(Height()));
        save(keys::ComPort, text::fromInteger(s.ComPort));
        save(keys::TypeOfButtons, text::fromBoolean(s.TypeOfButtons));
        // A file that never named a bridge gets no bridge keys.
        for (const auto& [key, value] : {std::pair{keys::Bridge, &s.Bridge}, std::pair{keys::BridgeTopic, &s.BridgeTopic},
                                          std::pair{keys::BridgeUser, &s.BridgeUser}})
            if (!value->empty() || !store_.GetSetting(AppTitle, Section, QString::fromLatin1(key)).isEmpty()) save(key, qs(*value));
        store_.commit();
    });
    if (settingsWindow_) settingsWindow_->close();
}

}  // namespace vantrel
