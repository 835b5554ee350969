// The windows as created, where a fault would show: counts, lists, the
// self-sizing labels, the built-in pictures and the sizes of both windows.
#include "frm_settings.h"
#include "support/remote_fixture.h"

#include <QFile>
#include <QImage>

#include <set>

namespace vantrel::testing {
namespace {

class Layout : public RemoteTest {
protected:
    void SetUp() override { createForm(false); }
};

TEST_F(Layout, MainWindowHoldsEveryControlOnce) {
    EXPECT_EQ(form->findChildren<Label*>().size(), 16 + 3);
    EXPECT_EQ(form->findChildren<ImageBox*>().size(), 17 + 17);
    EXPECT_EQ(form->findChildren<Button*>().size(), 32 + 2);
    std::set<std::pair<float, float>> places;
    for (int u = 1; u <= 16; ++u)
        for (auto* w : {static_cast<QWidget*>(form->Image1[u]), static_cast<QWidget*>(form->Image2[u])})
            places.insert({static_cast<float>(w->x()), static_cast<float>(w->y())});
    EXPECT_EQ(places.size(), 32u);  // no two images share a place
    EXPECT_EQ(form->Image1[0]->Left(), 4320);  // element 0 sits in the middle zone
    EXPECT_EQ(form->Image2[0]->Left(), 4680);
}

TEST_F(Layout, OneDigitLabelsAreNarrowerThanTwoDigitOnes) {
    for (int u = 1; u <= 9; ++u) EXPECT_EQ(form->lbl1[u]->Width(), 120) << u;
    for (int u = 10; u <= 16; ++u) EXPECT_EQ(form->lbl1[u]->Width(), 225) << u;
    // A font change makes them fit their text, still one against two digits.
    form->lbl1[9]->setFontSize(20);
    form->lbl1[10]->setFontSize(20);
    EXPECT_GT(form->lbl1[10]->Width(), form->lbl1[9]->Width());
    EXPECT_GT(form->lbl1[9]->Width(), 120);
}

TEST_F(Layout, HouseListIsAToPWithAShowing) {
    ASSERT_EQ(form->cmbHouseCode->count(), 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(form->cmbHouseCode->itemText(i), QString(QChar('A' + i)));
    EXPECT_EQ(form->cmbHouseCode->Text(), "A");
}

TEST_F(Layout, SettingsWindowPortListIsZeroToEightShowingOne) {
    auto* window = new FrmSettings(*form);
    ASSERT_EQ(window->Combo1->count(), 9);
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(window->Combo1->itemText(i), QString::number(i));
    EXPECT_EQ(window->Combo1->Text(), "1");
    EXPECT_TRUE(window->Timer1->isActive());  // blinking until its load stops it
    delete window;
}

struct picture_case {
    const char* resource;
    int width, height;
    qint64 bytes;
};

class BuiltInPicture : public ::testing::TestWithParam<picture_case> {};

TEST_P(BuiltInPicture, Is24BitOfItsSize) {
    QFile file(QString::fromLatin1(GetParam().resource));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.size(), GetParam().bytes);
    ASSERT_GT(bytes.size(), 30);
    EXPECT_EQ(bytes.left(2), "BM");
    EXPECT_EQ(bytes[28], 24);  // bits per pixel
    EXPECT_EQ(QImage(file.fileName()).size(), QSize(GetParam().width, GetParam().height));
}

INSTANTIATE_TEST_SUITE_P(Resources, BuiltInPicture,
                         ::testing::Values(picture_case{":/vantrel/background.bmp", 170, 170, 87094},
                                           picture_case{":/vantrel/on.bmp", 21, 14, 950},
                                           picture_case{":/vantrel/off.bmp", 21, 14, 950}));

TEST_F(Layout, SkinsDifferAndSizeTheirBoxes) {
    EXPECT_NE(QImage(":/vantrel/on.bmp"), QImage(":/vantrel/off.bmp"));
    EXPECT_EQ(form->Image1[5]->Width(), 315);
    EXPECT_EQ(form->Image1[5]->Height(), 210);
    EXPECT_EQ(form->Picture().size(), QSize(170, 170));
}

}  // namespace
}  // namespace vantrel::testing
