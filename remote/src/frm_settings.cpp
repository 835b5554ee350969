#include "frm_settings.h"

#include "bridge_dialog.h"
#include "button_style.h"
#include "design.h"
#include "form1.h"
#include "numeric_text.h"
#include "picture.h"
#include "text_forms.h"

#include <QCloseEvent>
#include <QIcon>
#include <QValidator>

namespace vantrel {
namespace {

using namespace design;

// Where the help really is: the manual page, and the folder of notes that
// comes with the program (the project has no web address or mailbox).
const QString Manual = QStringLiteral("man vantrel");
const QString Notes = QStringLiteral(VANTREL_DOC_FOLDER);

// Refuses a keystroke or a paste after which the port box's leading number
// would no longer fit a port number, so that the box never shows one port
// while another is used.
class PortValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return kestrix::text::to_int16(text::leadingNumber(input)) ? Acceptable : Invalid;
    }
};

}  // namespace

FrmSettings::FrmSettings(Form1& main)
    : QWidget(&main, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      main_(main),
      settings_(main.settings()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("settings"));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel-32.png")));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, text::colourFromNumber(DarkGrey));
    setPalette(p);
    setFixedSize(toPixels(4485), toPixels(3390));
    createControls();
    connectHandlers();
}

void FrmSettings::createControls() {
    auto button = [&](const char* caption, float top, float height) {
        auto* b = new Button(this, QString::fromLatin1(caption));
        b->place(120, top, 2055, height);
        b->setDesignFont(SansSerif, LabelPoints, false);
        return b;
    };
    cmdSetBackColor = button("set background color.", 120, 255);
    cmdSetForegroundColor = button("Set label color.", 360, 255);
    cmdFont = button("set label font.", 600, 255);
    cmdSetBackroundImage = button("set background image.", 1080, 255);
    cmdButtonOnSkin = button("set skin for ON buttons.", 1320, 255);
    cmdButtonOFFskin = button("set skin for OFF Buttons.", 1560, 255);
    cmdResetAll = button("reset all skins to default.", 1920, 375);
    cmdUnloadBackround = button("unload background image.", 2280, 315);
    cmbButtons = button("use standard buttons.", 2640, 255);

    Label7 = new Label(this, QStringLiteral("Use COM:"), {.transparent = false, .autoSize = true});
    Label7->place(240, 3000, 870, 195);
    Label7->setDesignFont(SansSerif, LabelPoints, true);

    QStringList ports;
    for (int n = 0; n <= 8; ++n) ports << QString::number(n);
    Combo1 = new ComboBox(this, ports, QStringLiteral("1"));
    Combo1->place(1200, 2950, 615, 315);
    Combo1->setDesignFont(SansSerif, LabelPoints, false);
    Combo1->setValidator(new PortValidator(Combo1));

    // Beside the port box: whether presses take it, or a bridge.
    cmdBridge = new Button(this, QStringLiteral("bridge..."));
    cmdBridge->place(1905, 2950, 1005, 315);
    cmdBridge->setDesignFont(SansSerif, LabelPoints, false);

    Command1 = new Button(this, QStringLiteral("help."));
    Command1->place(3000, 2760, 1335, 495);
    Command1->setDesignFont(SansSerif, LabelPoints, false);

    const Label::Style box{.transparent = false, .autoSize = false};
    Label1 = new Label(this, AppTitle, box);
    Label1->place(2280, 120, 2055, 1095);
    Label1->setDesignFont(SansSerif, 12, true);
    Label2 = new Label(this, QStringLiteral("Version 1.0"), box);
    Label2->place(2400, 1320, 1455, 255);
    Label3 = new Label(this, QStringLiteral("Vantrel project"), box);
    Label3->place(2400, 1560, 1455, 255);
    Label4 = new Label(this, QStringLiteral("Manual: ") + Manual, box);
    Label4->place(2400, 1800, 1815, 255);
    Label5 = new Label(this, Notes, {.transparent = false, .autoSize = true});  // a path is one line
    Label5->place(2400, 2040, 1815, 255);
    for (Label* l : {Label2, Label3, Label4, Label5}) l->setDesignFont(SansSerif, LabelPoints, false);
    Label5->setFontSize(LabelPoints);  // as wide as its path
    for (Label* l : {Label1, Label2, Label3, Label4, Label5, Label7}) {
        l->setBackColor(DarkGrey);
        l->setForeColor(l == Label1 ? Orange : White);
    }

    Label6 = new Label(this, Manual, {.transparent = true, .autoSize = true});
    Label6->place(2400, 2400, 1965, 300);
    Label6->setForeColor(Orange);
    Label6->setDesignFont(SansSerif, 12, true);

    Timer1 = new QTimer(this);
    Timer1->setInterval(250);
    Timer1->start();
    nameControls();
}

void FrmSettings::nameControls() {
    // Each button is spoken by its caption, as it is seen, even after it
    // changed: no name of their own, and the description says the rest.
    const std::pair<Button*, const char*> buttons[] = {
        {cmdSetBackColor, "Set the remote's background colour"},
        {cmdSetForegroundColor, "Set the colour of the remote's labels and house code"},
        {cmdFont, "Set the font of the remote's labels"},
        {cmdSetBackroundImage, "Set a bitmap as the remote's background"},
        {cmdButtonOnSkin, "Set the picture of the ON keys"},
        {cmdButtonOFFskin, "Set the picture of the OFF keys"},
        {cmdResetAll, "Go back to the built-in pictures at the next start"},
        {cmdUnloadBackround, "Remove the remote's background picture"},
        {cmbButtons, "Switch the remote between picture keys and standard buttons"},
        {Command1, "Make the way to the help blink"}};
    for (auto [button, tip] : buttons) {
        describe(*button, QString(), QString::fromLatin1(tip));
        button->setAccessibleDescription(QString::fromLatin1(tip));
    }
    Label7->setBuddy(Combo1);
    describe(*Label7, QStringLiteral("Use COM:"), QStringLiteral("The COM port of the transmitter"));
    describe(*Combo1, QStringLiteral("COM port"), QStringLiteral("The COM port of the transmitter"));
    // Which device the number names is looked up only when asked: the
    // machine's ports are no business of start-up.
    // The box always shows the port in use: it refuses numbers that do not fit.
    Combo1->setTipSource(
        [this] { return QStringLiteral("The COM port of the transmitter: ") + main_.describePort(settings_.ComPort); });
    for (Label* l : {Label1, Label2, Label3, Label4, Label5}) describe(*l, l->Caption(), l->Caption());
    describe(*Label6, QStringLiteral("Where the help is"), QStringLiteral("Type it in a terminal: ") + Manual);
}

// All event wiring in one place.
void FrmSettings::connectHandlers() {
    connect(cmdSetBackColor, &QPushButton::clicked, this, &FrmSettings::cmdSetBackColor_Click);
    connect(cmdSetForegroundColor, &QPushButton::clicked, this, &FrmSettings::cmdSetForegroundColor_Click);
    connect(cmdFont, &QPushButton::clicked, this, &FrmSettings::cmdFont_Click);
    connect(cmdSetBackroundImage, &QPushButton::clicked, this, &FrmSettings::cmdSetBackroundImage_Click);
    connect(cmdButtonOnSkin, &QPushButton::clicked, this, &FrmSettings::cmdButtonOnSkin_Click);
    connect(cmdButtonOFFskin, &QPushButton::clicked, this, &FrmSettings::cmdButtonOFFskin_Click);
    connect(cmdResetAll, &QPushButton::clicked, this, &FrmSettings::cmdResetAll_Click);
    connect(cmdUnloadBackround, &QPushButton::clicked, this, &FrmSettings::cmdUnloadBackround_Click);
    connect(cmbButtons, &QPushButton::clicked, this, &FrmSettings::cmbButtons_Click);
    connect(Combo1, &QComboBox::editTextChanged, this, &FrmSettings::Combo1_Change);
    connect(Combo1, &QComboBox::activated, this, &FrmSettings::Combo1_Click);
    connect(Command1, &QPushButton::clicked, this, &FrmSettings::Command1_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmSettings::Timer1_Timer);
    connect(cmdBridge, &QPushButton::clicked, this, &FrmSettings::cmdBridge_Click);
    connect(&main_, &Form1::roadChanged, this, &FrmSettings::showRoad);
}

void FrmSettings::setHeight(float twips) {
    toPixels(twips);
    outerHeight_ = twips;
    applyHeight();
}

// The caption bar's height is known only once the window system has framed
// the window, so the height is applied again when the frame shows up.
void FrmSettings::applyHeight() {
    frameApplied_ = frameGeometry().height() - geometry().height();
    setFixedHeight(std::max(1, toPixels(outerHeight_) - frameApplied_));
}

void FrmSettings::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (outerHeight_ > 0 && frameGeometry().height() - geometry().height() != frameApplied_) applyHeight();
}

void FrmSettings::closeEvent(QCloseEvent* event) {
    std::int16_t cancel = 0;
    Form_Unload(cancel);
    if (cancel) event->ignore();
    else event->accept();
}

void FrmSettings::Form_Load() {
    if (settings_.TypeOfButtons) cmbButtons->setCaption(QStringLiteral("use skinned buttons."));
    Combo1->setText(text::fromInteger(settings_.ComPort));
    showRoad();
    Timer1->stop();
    setHeight(3720);
}

void FrmSettings::Form_Unload(std::int16_t&) { setHeight(3795); }

void FrmSettings::cmdSetBackColor_Click() {
    main_.atTopLevel([&] {
        main_.CommonDialog1->ShowColor();
        settings_.BackroundColor = std::to_string(main_.CommonDialog1->Color);
        main_.applyBackColour(text::toColour(QString::fromStdString(settings_.BackroundColor)));
    });
}

void FrmSettings::cmdSetForegroundColor_Click() {
    main_.atTopLevel([&] {
        main_.CommonDialog1->ShowColor();
        settings_.ForeGroundColor = std::to_string(main_.CommonDialog1->Color);
        main_.applyLabelColour(text::toColour(QString::fromStdString(settings_.ForeGroundColor)));
    });
}

// Each step on its own: a face or size the system refuses leaves that one
// property as it was while the rest still apply.
void FrmSettings::cmdFont_Click() {
    CommonDialog& dialog = *main_.CommonDialog1;
    resumeNext([&] { dialog.Flags = 259; });
    resumeNext([&] { dialog.ShowFont(); });
    main_.applyLabelFont({[&] { return dialog.FontName; }, [&] { return dialog.FontSize; }, [&] { return dialog.FontBold; },
                          [&] { return dialog.FontItalic; }});
}

// The picture is loaded before its path is recorded: a file that does not
// load leaves everything as it was.
void FrmSettings::cmdSetBackroundImage_Click() {
    trapToEnd([&] {
        CommonDialog& dialog = *main_.CommonDialog1;
        dialog.Filter = QStringLiteral("Bitmaps (*.BMP)|*.BMP");
        dialog.ShowOpen();
        main_.setPicture(LoadPicture(dialog.FileName));
        settings_.BackroundImage = dialog.FileName.toStdString();
    });
}

// A skin's path is recorded before it is loaded, so the next start tries it
// again even when it does not load now.
void FrmSettings::loadSkin(std::string& field, Form1::Keys keys) {
    trapToEnd([&] {
        CommonDialog& dialog = *main_.CommonDialog1;
        dialog.ShowOpen();
        field = dialog.FileName.toStdString();
        main_.applySkin(keys, LoadPicture(dialog.FileName));  // decoded once for all sixteen
    });
}

void FrmSettings::cmdButtonOnSkin_Click() { loadSkin(settings_.OnButtonSkin, Form1::Keys::On); }

void FrmSettings::cmdButtonOFFskin_Click() { loadSkin(settings_.OffButtonSkin, Form1::Keys::Off); }

void FrmSettings::cmdResetAll_Click() {
    main_.atTopLevel([&] {
        settings_.BackroundImage.clear();
        settings_.OnButtonSkin.clear();
        settings_.OffButtonSkin.clear();
        main_.messages().show(QStringLiteral("Defaults will be restored the next time you restart the controller"));
    });
}

void FrmSettings::cmdUnloadBackround_Click() {
    main_.atTopLevel([&] {
        settings_.BackroundImage.clear();
        main_.setPicture(LoadPicture(QString::fromStdString(settings_.BackroundImage)));
        settings_.BackroundImage = "OFF";
    });
}

void FrmSettings::cmbButtons_Click() {
    main_.atTopLevel([&] {
        ToggleButtonStyle(main_, settings_);
        if (settings_.TypeOfButtons) cmbButtons->setCaption(QStringLiteral("use skinned buttons."));
        if (settings_.SkinnedButtons) cmbButtons->setCaption(QStringLiteral("use standard buttons."));
    });
}

// The box refuses texts whose number does not fit; one set by code that
// does not leaves the port as it was.
void FrmSettings::Combo1_Change() {
    if (auto port = kestrix::text::to_int16(text::leadingNumber(Combo1->Text()))) settings_.ComPort = *port;
}

void FrmSettings::Combo1_Click() { Combo1_Change(); }

void FrmSettings::Command1_Click() {
    if (!Timer1->isActive()) Timer1->start();  // a running blink keeps its rhythm
    Command1->setCaption(QStringLiteral("go there now!"));
}

void FrmSettings::cmdBridge_Click() {
    auto* dialog = new BridgeDialog(main_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, &FrmSettings::showRoad);
    dialog->open();  // the remote works on meanwhile
}

// At a glance on the button, in words for the tip and a screen reader.
void FrmSettings::showRoad() {
    const QString summary = main_.road().summary();
    cmdBridge->setCaption(!main_.bridge                           ? QStringLiteral("bridge...")
                          : summary.endsWith(QLatin1String(": online")) ? QStringLiteral("bridge ok")
                                                                        : QStringLiteral("bridge down"));
    const QString said = main_.bridge ? QStringLiteral("Presses go ") + summary
                                      : QStringLiteral("Presses go to ") + summary + QStringLiteral("; choose a bridge instead");
    describe(*cmdBridge, QString(), said);
    cmdBridge->setAccessibleDescription(said);
}

void FrmSettings::Timer1_Timer() { Label6->setHidden(!Label6->isHidden()); }

}  // namespace vantrel
