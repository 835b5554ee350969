// The button style exchange and the main window's own handling: sizes,
// closing, minimising, moving and the settings window on a right press.
#include "button_style.h"
#include "frm_settings.h"
#include "support/remote_fixture.h"


namespace vantrel::testing {
namespace {

class Window : public RemoteTest {
protected:
    void SetUp() override { createForm(); }

    // Every exchanged control's place, in order.
    std::vector<std::pair<float, float>> places() const {
        std::vector<std::pair<float, float>> out;
        for (int u = 1; u <= 16; ++u)
            for (auto [image, button] : {std::pair{form->Image1[u], form->cmdON[u]}, std::pair{form->Image2[u], form->cmdOFF[u]}}) {
                out.push_back({image->Left(), image->Top()});
                out.push_back({button->Left(), button->Top()});
            }
        return out;
    }
};

TEST_F(Window, ButtonStyleExchangesPlacesAndTwiceRestoresThem) {
    const auto before = places();
    ToggleButtonStyle(*form, settings);
    EXPECT_EQ(std::pair(form->cmdON[1]->Left(), form->cmdON[1]->Top()), std::pair(360.f, 120.f));
    EXPECT_EQ(std::pair(form->Image1[1]->Left(), form->Image1[1]->Top()), std::pair(6360.f, 120.f));
    EXPECT_EQ(std::pair(form->cmdOFF[9]->Left(), form->cmdOFF[9]->Top()), std::pair(1920.f, 120.f));
    EXPECT_EQ(std::pair(form->Image2[9]->Left(), form->Image2[9]->Top()), std::pair(7920.f, 120.f));
    EXPECT_EQ(form->cmdON[1]->Width(), 325);  // sizes stay
    EXPECT_TRUE(settings.TypeOfButtons);
    EXPECT_FALSE(settings.SkinnedButtons);

    ToggleButtonStyle(*form, settings);
    EXPECT_EQ(places(), before);
    EXPECT_FALSE(settings.TypeOfButtons);
    EXPECT_TRUE(settings.SkinnedButtons);
    EXPECT_EQ(form->Image1[0]->Left(), 4320);  // never exchanged
}

// Units 1 to 8 and 9 to 16 share eight rows 240 twips apart, whatever the
// style and the width the user picks.
TEST_F(Window, UnitRowsStand240TwipsApartInBothStylesAndWidths) {
    FrmSettings& window = openSettings();
    for (const bool standard : {false, true}) {
        for (const bool wide : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (standard ? "standard" : "skinned") << (wide ? ", wide" : ", narrow"));
            for (int u : {1, 5, 8, 9, 12, 16}) {
                const float top = static_cast<float>(120 + 240 * ((u - 1) % 8));
                EXPECT_EQ(form->lbl1[u]->Top(), top) << u;
                EXPECT_EQ(standard ? form->cmdON[u]->Top() : form->Image1[u]->Top(), top) << u;
                EXPECT_EQ(standard ? form->cmdOFF[u]->Top() : form->Image2[u]->Top(), top) << u;
            }
            click(form->lblWiden);
        }
        click(window.cmbButtons);
    }
}

TEST_F(Window, APlaceBeyondSixteenBitsStopsTheExchangeHalfDone) {
    form->Image1[3]->setLeft(40000);
    EXPECT_THROW(ToggleButtonStyle(*form, settings), AppError);
    EXPECT_EQ(form->cmdON[2]->Left(), 360);   // done before the failure
    EXPECT_EQ(form->cmdON[3]->Left(), 6360);  // not reached
    EXPECT_FALSE(settings.TypeOfButtons);
    EXPECT_FALSE(settings.SkinnedButtons);
}

struct size_case {
    float width, height;
    const char* clicks;  // w: widen label, t: tall label
    float widthAfter, heightAfter, labelsLeft;
    const char* widenCaption;
};

std::ostream& operator<<(std::ostream& os, const size_case& c) {
    return os << c.width << "x" << c.height << " then " << c.clicks;
}

class WindowSizes : public Window, public ::testing::WithParamInterface<size_case> {};

TEST_P(WindowSizes, LabelsSwitchOnlyBetweenTheDesignedSizes) {
    const size_case& c = GetParam();
    form->setWidth(c.width);
    form->setHeight(c.height);
    if (c.width == 2370) click(form->lblWiden), click(form->lblWiden);  // place the labels as a wide window has them
    for (const char* k = c.clicks; *k; ++k) click(*k == 'w' ? form->lblWiden : form->lblTall);
    EXPECT_EQ(form->Width(), c.widthAfter);
    EXPECT_EQ(form->Height(), c.heightAfter);
    for (Label* l : {form->lblClose, form->lblWiden, form->lblTall}) EXPECT_EQ(l->Left(), c.labelsLeft);
    EXPECT_EQ(form->lblWiden->Caption(), c.widenCaption);
    EXPECT_EQ(form->lblTall->Top(), 360);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, WindowSizes,
    ::testing::Values(size_case{1215, 2100, "t", 1215, 2500, 1080, ">"},
                      size_case{1215, 2100, "tt", 1215, 2100, 1080, ">"},
                      size_case{1215, 2100, "w", 2370, 2100, 2250, "<"},
                      size_case{1215, 2100, "wt", 2370, 2100, 2250, "<"},
                      size_case{1215, 2100, "tw", 2370, 2500, 2250, "<"},
                      size_case{2370, 2500, "t", 2370, 2100, 2250, "<"},
                      size_case{2370, 2500, "w", 1215, 2500, 1080, ">"},
                      size_case{1500, 2100, "w", 1500, 2100, 1080, ">"},
                      size_case{1500, 2449, "t", 1500, 2500, 1080, ">"},
                      size_case{2001, 2449, "t", 2001, 2449, 1080, ">"}));

TEST_F(Window, RightPressOpensTheOneSettingsWindowLoaded) {
    FrmSettings* first = &openSettings();
    EXPECT_FLOAT_EQ(first->Height(), 3720);  // its load ran
    click(first->cmbButtons);
    click(form.get(), Qt::RightButton, background());
    EXPECT_EQ(form->settingsWindow(), first);
    EXPECT_EQ(first->cmbButtons->Caption(), "use skinned buttons.");  // the same window, not loaded again
}

TEST_F(Window, PositionsAreKeptInTwipsAsSet) {
    form->setTop(1007);  // not a whole pixel
    form->setLeft(-30);
    form->setHeight(2500);
    EXPECT_EQ(form->Top(), 1007);
    EXPECT_EQ(form->Left(), -30);
    EXPECT_EQ(form->Height(), 2500);
}

}  // namespace
}  // namespace vantrel::testing
