#include "ui/skin/Skin.h"
#include "ui/skin/SkinSlider.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace larkspan {
namespace {

using Kind = SkinSlider::Kind;

class SkinSliderTest : public ::testing::Test {
protected:
    SkinSlider* make(Kind kind, int width, int minimum, int maximum, int value)
    {
        auto* slider = new SkinSlider(skin, kind, host.get());
        slider->setGeometry(0, 0, width, kind == Kind::Position ? 6 : 14);
        slider->setRange(minimum, maximum);
        slider->setValue(value);
        host->resize(300, 40);
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        return slider;
    }

    using Changes = QList<QList<QVariant>>;
    static Changes changes(int kind, int value) { return {{kind, value}}; }

    Skin skin;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
};

TEST_F(SkinSliderTest, LevelSliderMapsThumbAndValue)
{
    SkinSlider* slider = make(Kind::Level, 82, 0, 5000, 0);
    QSignalSpy spy(slider, &SkinSlider::changed);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(2, 3)); // grab the thumb 2 pixels in, drag it to 35
    QTest::mouseMove(slider, QPoint(37, 3));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(37, 3));
    EXPECT_EQ(Changes(spy), (Changes{{SkinSlider::Dragging, 2500}, {SkinSlider::DragEnded, 2500}}));
    slider->setValue(5000);
    EXPECT_EQ(slider->thumbX(), 70);
}

TEST_F(SkinSliderTest, BalanceThumbSnapsToTheMiddle)
{
    const struct { int dragTo, thumbX, value; } cases[] = {
        {17, 17, 80},  {18, 21, 100}, {19, 21, 100}, {20, 21, 100}, {21, 21, 100},
        {22, 21, 100}, {23, 21, 100}, {24, 21, 100}, {25, 25, 119}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dragTo);
        SkinSlider* slider = make(Kind::Balance, 54, 0, 200, 0);
        QSignalSpy spy(slider, &SkinSlider::changed);
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(2, 3));
        QTest::mouseMove(slider, QPoint(c.dragTo + 2, 3));
        EXPECT_EQ(slider->thumbX(), c.thumbX);
        EXPECT_EQ(Changes(spy), changes(SkinSlider::Dragging, c.value));
        delete slider;
    }
}

TEST_F(SkinSliderTest, ClicksOnTheTrackStepTheValueEvenWithoutANewPixel)
{
    const struct { Kind kind; int width, maximum, start, clickX, change, value, thumbX; } cases[] = {
        {Kind::Level, 82, 5000, 2500, 60, SkinSlider::StepUp, 2501, 35},
        {Kind::Level, 82, 5000, 2500, 10, SkinSlider::StepDown, 2499, 34},
        {Kind::Balance, 54, 200, 100, 40, SkinSlider::StepUp, 101, 21},
        {Kind::Position, 243, 100, 100, 5, SkinSlider::StepDown, 99, 224},
        {Kind::Level, 82, 5000, 5000, 5, SkinSlider::StepDown, 4999, 69},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clickX);
        SkinSlider* slider = make(c.kind, c.width, 0, c.maximum, c.start);
        QSignalSpy spy(slider, &SkinSlider::changed);
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(c.clickX, 3));
        EXPECT_EQ(Changes(spy), changes(c.change, c.value));
        EXPECT_EQ(std::make_pair(slider->value(), slider->thumbX()), std::make_pair(c.value, c.thumbX));
        delete slider;
    }
}

TEST_F(SkinSliderTest, TrackNotWiderThanItsThumbKeepsTheValue)
{
    const struct { Kind kind; int width; } cases[] = {
        {Kind::Level, 12}, {Kind::Level, 5}, {Kind::Position, 16}, {Kind::Balance, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        SkinSlider* slider = make(c.kind, c.width, 0, 100, 40);
        EXPECT_EQ(std::make_pair(slider->value(), slider->thumbX()), std::make_pair(40, 0));
        QSignalSpy spy(slider, &SkinSlider::changed);
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(1, 3));
        QTest::mouseMove(slider, QPoint(9, 3));
        EXPECT_EQ(Changes(spy), changes(SkinSlider::Dragging, 40));
        EXPECT_FALSE(slider->grab().isNull());
        delete slider;
    }
}

TEST(SkinSliderMapping, RangeMinimumAndLongMedia)
{
    const struct { qint64 value, minimum, maximum; int travel, thumbX; } cases[] = {
        {200, 100, 300, 42, 21},                // the minimum is taken off
        {100, 100, 300, 42, 0},
        {10'800'000, 0, 10'800'000, 227, 227},  // three hours in ms: the product needs 64 bits
        {5'400'000, 0, 10'800'000, 227, 113},
        {50, 50, 50, 42, 0},                    // empty range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SkinSlider::thumbForValue(c.value, c.minimum, c.maximum, c.travel), c.thumbX);
    }
    EXPECT_EQ(SkinSlider::valueForThumb(21, 100, 300, 42, 0), 200);
    EXPECT_EQ(SkinSlider::valueForThumb(227, 0, 10'800'000, 227, 0), 10'800'000);
}

} // namespace
} // namespace larkspan
