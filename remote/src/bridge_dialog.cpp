#include "bridge_dialog.h"

#include "bridge_road.h"
#include "form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantrel {

BridgeDialog::BridgeDialog(Form1& main, QWidget* parent) : QDialog(parent), main_(main) {
    setWindowTitle(QStringLiteral("bridge"));
    const ControllerSettings& s = main.settings();
    useBridge = new QCheckBox(QStringLiteral("&Send through a kestrix-bridge"), this);
    useBridge->setChecked(main.bridge != nullptr);
    broker = new QLineEdit(QString::fromStdString(s.Bridge), this);
    broker->setPlaceholderText(QStringLiteral("mqtt://hub.local:1883"));
    baseTopic = new QComboBox(this);
    baseTopic->setEditable(true);
    if (main.bridge) baseTopic->addItems(main.bridge->bridgesSeen());
    baseTopic->setEditText(QString::fromStdString(s.BridgeTopic));
    baseTopic->lineEdit()->setPlaceholderText(QStringLiteral("kestrix"));
    user = new QLineEdit(QString::fromStdString(s.BridgeUser), this);
    user->setPlaceholderText(QStringLiteral("none"));
    password = new QLineEdit(this);
    password->setEchoMode(QLineEdit::Password);
    password->setPlaceholderText(QStringLiteral("unchanged"));
    state = new QLabel(this);
    state->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* form = new QFormLayout(this);
    form->addRow(useBridge);
    form->addRow(QStringLiteral("&Broker:"), broker);
    form->addRow(QStringLiteral("Base &topic:"), baseTopic);
    form->addRow(QStringLiteral("&User:"), user);
    form->addRow(QStringLiteral("&Password:"), password);
    form->addRow(state);
    form->addRow(buttons);
    // Room for a whole address.
    broker->setMinimumWidth(broker->fontMetrics().horizontalAdvance(QStringLiteral("mqtts://homeassistant.local:8883  ")));
    broker->setAccessibleName(QStringLiteral("Broker address"));
    broker->setToolTip(QStringLiteral("mqtt://host:port, or mqtts://host:port to verify it against the system's certificates"));
    baseTopic->setToolTip(QStringLiteral("The bridge's base_topic; the list has those the broker knows"));
    baseTopic->setAccessibleName(QStringLiteral("Base topic"));
    password->setToolTip(QStringLiteral("Kept in the desktop's keyring, never in the settings file"));

    connect(buttons, &QDialogButtonBox::accepted, this, &BridgeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BridgeDialog::reject);
    for (QLineEdit* e : {broker, baseTopic->lineEdit(), user}) connect(e, &QLineEdit::textChanged, this, &BridgeDialog::refresh);
    connect(useBridge, &QCheckBox::toggled, this, &BridgeDialog::refresh);
    refresh();
}

void BridgeDialog::refresh() {
    const bool readable = BridgeAddress::parse(broker->text()).has_value();
    QString said = main_.road().summary();
    if (useBridge->isChecked() && !readable) said = QStringLiteral("The broker's address is mqtt://host:port or mqtts://host:port.");
    state->setText(said);
    if (auto* ok = findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)) ok->setEnabled(!useBridge->isChecked() || readable);
}

void BridgeDialog::accept() {
    ControllerSettings& s = main_.settings();
    s.Bridge = useBridge->isChecked() ? broker->text().trimmed().toStdString() : std::string();
    s.BridgeTopic = baseTopic->currentText().trimmed().toStdString();
    s.BridgeUser = user->text().trimmed().toStdString();
    const QString typed = password->text();
    main_.openBridge(typed);
    if (main_.bridge) {
        main_.bridge->showHouse(s.HouseCode);
        if (!typed.isEmpty() && !s.BridgeUser.empty()) main_.keepPassword(typed);
    }
    main_.showStates();
    QDialog::accept();
}

}  // namespace vantrel
