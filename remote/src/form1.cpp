// Form1: creation as designed, geometry in twips, painting and mouse events.
#include "form1.h"

#include "design.h"
#include "error_policy.h"
#include "frm_settings.h"
#include "picture.h"
#include "serial_ports.h"
#include "text_forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>

// The built-in pictures live in a static library: register them explicitly.
static void registerBuiltInPictures() { Q_INIT_RESOURCE(resources); }

namespace vantrel {
namespace {

using namespace design;

// Unit u's row: units 1 to 8 and 9 to 16 share the eight rows.
float rowTop(int unit) { return static_cast<float>(120 + 240 * ((unit - 1) % 8)); }

}  // namespace

Form1::Form1(ControllerSettings& settings, SettingsStore& store, const TransmitterFactory& createTransmitter,
             std::unique_ptr<CommonDialog> dialog, std::unique_ptr<MessageBox> messages)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      CommonDialog1(dialog ? std::move(dialog)
                           : std::make_unique<QtCommonDialog>(this, [this] { return lbl1[1]->font(); })),
      settings_(settings),
      store_(store),
      messages_(messages ? std::move(messages) : std::make_unique<QtMessageBox>(this)) {
    registerBuiltInPictures();
    firecracker = createTransmitter();
    passwords = std::make_unique<KeyringKeeper>();
    describePort = [](std::int16_t port) {
        return QString::fromStdString(kestrix::ports::describe_com(kestrix::ports::machine::this_one(), port));
    };
    setWindowTitle(QStringLiteral("control"));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel-32.png")));
    createControls();
    comRoad_ = std::make_unique<ComRoad>(firecracker, notices, *Timer1, settings_);
    nameControls();
    connectHandlers();
    width_ = CreatedWidth;
    height_ = CreatedHeight;
    applyGeometry();
}

void Form1::placed(QWidget& control) {
    control.setVisible(!designHidden_.contains(&control) && rect().intersects(control.geometry()));
}

void Form1::placeAll() {
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!control->isWindow()) placed(*control);
}

void Form1::setDesignVisible(QWidget& control, bool visible) {
    if (visible) designHidden_.remove(&control);
    else designHidden_.insert(&control);
    placed(control);
}

Form1::~Form1() = default;

void Form1::createControls() {
    backColor_ = DarkGrey;
    picture_ = QPixmap(QStringLiteral(":/vantrel/background.bmp"));
    const QPixmap onSkin(QStringLiteral(":/vantrel/on.bmp"));
    const QPixmap offSkin(QStringLiteral(":/vantrel/off.bmp"));

    for (int u = 1; u <= 16; ++u) {
        auto* label = new Label(this, QString::number(u), {});
        label->place(u <= 8 ? 120 : 1250, rowTop(u), u <= 9 ? 120 : 225, 195);
        label->setBackColor(DarkGrey);
        label->setForeColor(White);
        label->setDesignFont(SansSerif, LabelPoints, true);
        lbl1[u] = label;
    }
    for (int u = 0; u <= 16; ++u) {
        const bool middle = u == 0;  // element 0 sits in the middle zone
        const float top = middle ? 1320 : rowTop(u);
        Image1[u] = new ImageBox(this);
        Image1[u]->place(middle ? 4320 : (u <= 8 ? 360 : 1560), top, 315, 210);
        Image1[u]->setPicture(onSkin);
        Image2[u] = new ImageBox(this);
        Image2[u]->place(middle ? 4680 : (u <= 8 ? 720 : 1920), top, 315, 210);
        Image2[u]->setPicture(offSkin);
    }
    for (int u = 1; u <= 16; ++u) {
        cmdON[u] = new Button(this, QStringLiteral("on"));
        cmdON[u]->place(u <= 8 ? 6360 : 7560, rowTop(u), 325, 245);
        cmdOFF[u] = new Button(this, QStringLiteral("off"));
        cmdOFF[u]->place(u <= 8 ? 6720 : 7920, rowTop(u), 325, 245);
        for (Button* b : {cmdON[u], cmdOFF[u]}) b->setDesignFont(SansSerif, LabelPoints, false);
    }
    cmd1to8 = new Button(this, QStringLiteral("1-8 <---"));
    cmd1to8->place(4800, 1560, 375, 315);
    cmd9to16 = new Button(this, QStringLiteral("9-16 --->"));
    cmd9to16->place(4440, 1560, 375, 315);
    for (Button* b : {cmd1to8, cmd9to16}) b->setDesignFont(Serif, 6, false);

    QStringList letters;
    for (char c = 'A'; c <= 'P'; ++c) letters << QString(QChar(c));
    cmbHouseCode = new ComboBox(this, letters, QStringLiteral("A"));
    cmbHouseCode->place(120, 2110, 495, 315);
    cmbHouseCode->setBackColor(DarkGrey);
    cmbHouseCode->setForeColor(White);
    cmbHouseCode->setDesignFont(SansSerif, LabelPoints, true);

    // Screen readers name a box by the label it is the buddy of; the house
    // box has none on screen, so one lies behind it, covered.
    auto* houseLabel = new QLabel(QStringLiteral("House code"), this);
    houseLabel->setGeometry(cmbHouseCode->geometry());
    houseLabel->setBuddy(cmbHouseCode);
    houseLabel->lower();

    lblClose = new Label(this, QStringLiteral("x"), {});
    lblClose->place(NarrowLabelsLeft, 0, 105, 195);
    lblWiden = new Label(this, QStringLiteral(">"), {});
    lblWiden->place(NarrowLabelsLeft, 195, 120, 195);
    lblTall = new Label(this, QStringLiteral("*"), {});
    lblTall->place(NarrowLabelsLeft, 360, 105, 240);
    for (int u = 0; u <= 16; ++u) Image1[u]->makeKey(), Image2[u]->makeKey();
    for (Label* l : {lblClose, lblWiden, lblTall}) {
        l->makeKey();
        l->setForeColor(White);
        l->setDesignFont(SansSerif, l == lblTall ? 9.75f : LabelPoints, true);
    }

    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may be 5% off
    Timer1->setInterval(750);
}

// All event wiring in one place.
void Form1::connectHandlers() {
    for (int u = 0; u <= 16; ++u) {
        connect(Image1[u], &ImageBox::Click, this, [this, u] { Image1_Click(u); });
        connect(Image2[u], &ImageBox::Click, this, [this, u] { Image2_Click(u); });
    }
    for (int u = 1; u <= 16; ++u) {
        connect(cmdON[u], &QPushButton::clicked, this, [this, u] { cmdON_Click(u); });
        connect(cmdOFF[u], &QPushButton::clicked, this, [this, u] { cmdOFF_Click(u); });
    }
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(cmbHouseCode, &QComboBox::editTextChanged, this, &Form1::cmbHouseCode_Change);
    connect(cmbHouseCode, &QComboBox::activated, this, &Form1::cmbHouseCode_Click);
    connect(cmd1to8, &QPushButton::clicked, this, &Form1::cmd1to8_Click);
    connect(cmd9to16, &QPushButton::clicked, this, &Form1::cmd9to16_Click);
    connect(lblWiden, &Label::Click, this, &Form1::lblWiden_Click);
    connect(lblTall, &Label::Click, this, &Form1::lblTall_Click);
    connect(lblClose, &Label::Click, this, &Form1::lblClose_Click);
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (control->focusPolicy() & Qt::TabFocus) control->installEventFilter(this);
}

void Form1::Show() {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    show();
}

FrmSettings* Form1::settingsWindow() const { return settingsWindow_; }

void Form1::applyBackColour(std::int32_t colour) {
    resumeNext([&] { setBackColor(colour); });
    resumeNext([&] { cmbHouseCode->setBackColor(colour); });
}

void Form1::applyLabelColour(std::int32_t colour) {
    for (int i = 1; i <= 16; ++i) resumeNext([&] { lbl1[i]->setForeColor(colour); });
    resumeNext([&] { cmbHouseCode->setForeColor(colour); });
    for (Label* label : {lblClose, lblWiden, lblTall}) resumeNext([&] { label->setForeColor(colour); });
}

void Form1::applyLabelFont(const LabelFont& font) {
    std::vector<Label*> labels(lbl1.begin() + 1, lbl1.end());
    labels.insert(labels.end(), {lblWiden, lblClose, lblTall});
    for (Label* label : labels) {
        resumeNext([&] { label->setFontName(font.name()); });
        resumeNext([&] { label->setFontSize(font.size()); });
        resumeNext([&] { label->setFontBold(font.bold()); });
        resumeNext([&] { label->setFontItalic(font.italic()); });
    }
}

void Form1::applySkin(Keys keys, const QPixmap& skin) {
    auto& images = keys == Keys::On ? Image1 : Image2;
    for (int i = 1; i <= 16; ++i) resumeNext([&] { images[i]->setPicture(skin); });
}

float Form1::Left() const { return placed_ ? left_ : toTwips(pos().x()); }
float Form1::Top() const { return placed_ ? top_ : toTwips(pos().y()); }

void Form1::setLeft(float twips) {
    const int x = toPixels(twips);
    if (!placed_) top_ = Top();
    left_ = twips;
    placed_ = true;
    move(x, toPixels(top_));
}

void Form1::setTop(float twips) {
    const int y = toPixels(twips);
    if (!placed_) left_ = Left();
    top_ = twips;
    placed_ = true;
    move(toPixels(left_), y);
}

void Form1::setWidth(float twips) {
    if (twips < 0) throwError(InvalidPropertyValue);
    toPixels(twips);
    width_ = twips;
    applyGeometry();
}

void Form1::setHeight(float twips) {
    if (twips < 0) throwError(InvalidPropertyValue);
    toPixels(twips);
    height_ = twips;
    applyGeometry();
}

void Form1::applyGeometry() {
    resize(toPixels(width_), toPixels(height_));
    placeAll();
    updateSizeTips();
}

namespace {

// A stored size below `smallest` would leave the user no way back to the
// designed sizes; one larger than the desktop all screens make together
// (`desktop` pixels, 0 without screens) only costs memory. Neither is applied.
float reachable(float twips, float smallest, int desktop) {
    if (twips < smallest || (desktop > 0 && toPixels(twips) > desktop)) throwError(InvalidPropertyValue);
    return twips;
}

QSize desktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry().size() : QSize();
}

}  // namespace

// The "x" label's right edge and the "*" label's bottom must stay inside.
float Form1::reachableWidth(float twips) const {
    return reachable(twips, lblClose->Left() + lblClose->Width(), desktop().width());
}

float Form1::reachableHeight(float twips) const {
    return reachable(twips, lblTall->Top() + lblTall->Height(), desktop().height());
}

// A stored place where the window meets no screen (a monitor since
// unplugged) puts it on the primary screen, as near as it was.
void Form1::keepOnAScreen() {
    if (!placed_) return;
    const QRect frame(toPixels(left_), toPixels(top_), toPixels(width_), toPixels(height_));
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return;
    const QRect area = primary->availableGeometry();
    setLeft(toTwips(std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()))));
    setTop(toTwips(std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()))));
}

void Form1::setBackColor(std::int32_t colour) {
    text::colourFromNumber(colour);  // refuses what is not a colour
    backColor_ = colour;
    update();
}

void Form1::setPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

// The picture sits once at the top-left corner, neither scaled nor tiled.
// The key the keyboard is on is framed in the highlight colour, just
// outside it: the style's own mark is too faint over a picture, and inside
// a small label a frame would cover the glyph.
void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), text::colourFromNumber(backColor_));
    if (!picture_.isNull()) painter.drawPixmap(0, 0, picture_);
    // A lamp the bridge says is on: its ON key framed in the labels' colour.
    if (bridge) {
        painter.setPen(QPen(text::colourFromNumber(lbl1[1]->ForeColor()), 2));
        for (int u = 1; u <= 16; ++u)
            for (QWidget* key : {static_cast<QWidget*>(Image1[u]), static_cast<QWidget*>(cmdON[u])})
                if (key->isVisible() && bridge->isOn(u).value_or(false)) painter.drawRect(QRectF(key->geometry()).adjusted(-1, -1, 1, 1));
    }
    if (auto* key = qobject_cast<Clickable*>(focusWidget()); key && key->showsFocusFrame()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(key->geometry()).adjusted(-2, -2, 2, 2));
    }
}

// The arrows move the focus by place on the screen: left and right between
// a unit's ON and OFF, up and down between units. The house box keeps its
// arrows for its letters.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || watched == cmbHouseCode) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int k = key->key();
    if (key->modifiers() != Qt::NoModifier || (k != Qt::Key_Left && k != Qt::Key_Right && k != Qt::Key_Up && k != Qt::Key_Down))
        return QWidget::eventFilter(watched, event);
    if (QWidget* next = neighbour(static_cast<QWidget*>(watched), k))
        next->setFocus(k == Qt::Key_Left || k == Qt::Key_Up ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

QWidget* Form1::neighbour(const QWidget* from, int arrow) const {
    const QPoint origin = from->geometry().center();
    QWidget* best = nullptr;
    int bestCost = 0;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w == from || w->isWindow() || !w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
        const QPoint d = w->geometry().center() - origin;
        const bool across = arrow == Qt::Key_Left || arrow == Qt::Key_Right;
        const int along = (across ? d.x() : d.y()) * (arrow == Qt::Key_Left || arrow == Qt::Key_Up ? -1 : 1);
        const int aside = std::abs(across ? d.y() : d.x());
        if (along <= 0 || aside > along) continue;  // within 45 degrees of the arrow
        if (!best || along + 2 * aside < bestCost) best = w, bestCost = along + 2 * aside;
    }
    return best;
}

void Form1::mousePressEvent(QMouseEvent* event) {
    Clickable::hideFocusFrame(this);
    std::int16_t button = 0;
    if (event->button() == Qt::LeftButton) button = 1;
    else if (event->button() == Qt::RightButton) button = 2;
    else if (event->button() == Qt::MiddleButton) button = 4;
    std::int16_t shift = 0;
    if (event->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (event->modifiers() & Qt::ControlModifier) shift |= 2;
    if (event->modifiers() & Qt::AltModifier) shift |= 4;
    pressedAt_ = event->globalPosition().toPoint();
    Form_MouseDown(button, shift, toTwips(event->position().x()), toTwips(event->position().y()));
}

void Form1::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Form_DblClick();
}

// A drag past the drag distance hands the move to the window system, as a
// caption bar does; where it will not move the window, the window follows
// the mouse until the left button is released.
void Form1::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->globalPosition().toPoint();
    if (moveArmed_ && (at - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        moveArmed_ = false;
        QWindow* window = windowHandle();
        if (window && window->startSystemMove()) return;
        followingMouse_ = true;
        grabOffset_ = pressedAt_ - pos();
    }
    if (followingMouse_) move(at - grabOffset_);
}

void Form1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    moveArmed_ = false;
    followingMouse_ = false;
}

// Keeps the twips exactly as set unless the window really moved elsewhere
// (a drag, or the desktop placing it).
void Form1::moveEvent(QMoveEvent* event) {
    const QPoint p = event->pos();
    if (placed_ && p.x() == toPixels(left_) && p.y() == toPixels(top_)) return;
    if (!isVisible() && !placed_) return;
    left_ = toTwips(p.x());
    top_ = toTwips(p.y());
    placed_ = true;
}

void Form1::closeEvent(QCloseEvent* event) {
    if (unloaded_) return event->accept();
    std::int16_t cancel = 0;
    Form_Unload(cancel);
    if (cancel) return event->ignore();
    unloaded_ = true;
    event->accept();
}

}  // namespace vantrel
