// Form1's controls as screen readers name them and as hovering explains them.
#include "design.h"
#include "form1.h"

namespace vantrel {

void Form1::nameControls() {
    for (int u = 1; u <= 16; ++u) {
        const QString unit = QStringLiteral("Unit %1").arg(u);
        describe(*lbl1[u], unit, unit);
        describe(*Image1[u], unit + QStringLiteral(" on"), unit + QStringLiteral(" on"));
        describe(*Image2[u], unit + QStringLiteral(" off"), unit + QStringLiteral(" off"));
        describe(*cmdON[u], unit + QStringLiteral(" on button"), unit + QStringLiteral(" on"));
        describe(*cmdOFF[u], unit + QStringLiteral(" off button"), unit + QStringLiteral(" off"));
    }
    // Element 0 sends the unit text "0", which the transmitter sends as unit 16.
    describe(*Image1[0], QStringLiteral("Unit 16 on, spare key"), QStringLiteral("Unit 16 on"));
    describe(*Image2[0], QStringLiteral("Unit 16 off, spare key"), QStringLiteral("Unit 16 off"));
    // What is spoken holds what is shown: a user of speech input says it.
    describe(*cmd1to8, QStringLiteral("1-8 <---, page to units 1 to 8"), QStringLiteral("Page to units 1 to 8"));
    describe(*cmd9to16, QStringLiteral("9-16 --->, page to units 9 to 16"), QStringLiteral("Page to units 9 to 16"));
    describe(*cmbHouseCode, QStringLiteral("House code"),
             QStringLiteral("House code: the letter, A to P, of the modules the keys switch"));
    describe(*lblClose, QStringLiteral("x, close"), QStringLiteral("Close (the settings are kept)"));
    updateSizeTips();
}

// Each key of a unit says in words what the bridge says of its lamp.
void Form1::showStates() {
    for (int u = 1; u <= 16; ++u) {
        const std::optional<bool> on = bridge ? bridge->isOn(u) : std::nullopt;
        const QString said = on ? QStringLiteral("unit %1 is %2").arg(u).arg(*on ? QStringLiteral("on") : QStringLiteral("off")) : QString();
        for (QWidget* key : {static_cast<QWidget*>(Image1[u]), static_cast<QWidget*>(Image2[u]), static_cast<QWidget*>(cmdON[u]),
                             static_cast<QWidget*>(cmdOFF[u])})
            key->setAccessibleDescription(said);
    }
    update();
}

// The two size labels say what a click on them does now.
void Form1::updateSizeTips() {
    if (!lblWiden) return;
    QString widen = QStringLiteral("Show units 9 to 16 (from the narrow window)");
    if (Width() == design::NarrowWidth) widen = QStringLiteral("Show units 9 to 16");
    else if (Width() == design::WideWidth) widen = QStringLiteral("Show only units 1 to 8");
    QString tall = QStringLiteral("Make the window taller");
    if (Height() >= design::TallFrom) tall = QStringLiteral("Make the window shorter");
    else if (Width() > design::TallOnlyUpTo) tall = QStringLiteral("Make the window taller (from the narrow window)");
    describe(*lblWiden, lblWiden->Caption() + QStringLiteral(", ") + widen.toLower(), widen);
    describe(*lblTall, lblTall->Caption() + QStringLiteral(", ") + tall.toLower(), tall);
}

}  // namespace vantrel
