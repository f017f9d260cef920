#include "ui/skin/Skin.h"
#include "ui/skin/SkinButton.h"

#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

namespace larkspan {
namespace {

using Kind = SkinButton::Kind;

class SkinButtonTest : public ::testing::Test {
protected:
    SkinButton* make(Kind kind, const char* sheet = "button-repeat")
    {
        auto* button = new SkinButton(skin, QLatin1String(sheet), kind, host.get());
        button->move(10, 10);
        host->resize(100, 60);
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        return button;
    }

    Skin skin;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
};

TEST_F(SkinButtonTest, PressInsideReleaseOutsideReportsNothingAndKeepsTheLatch)
{
    const struct { Kind kind; bool latched; const char* restingPicture; } cases[] = {
        {Kind::Plain, false, "button-repeat.normal"},
        {Kind::Latching, false, "button-repeat.normal"},
        {Kind::Latching, true, "button-repeat.pressed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restingPicture);
        SkinButton* button = make(c.kind);
        button->setLatched(c.latched);
        QSignalSpy clicks(button, &SkinButton::clicked);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.pressed"));
        QTest::mouseMove(button, QPoint(60, 5));
        EXPECT_EQ(button->currentPicture(), QLatin1String(c.restingPicture));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(60, 5));
        EXPECT_EQ(std::make_pair(clicks.count(), button->isLatched()), std::make_pair(qsizetype(0), c.latched));
        EXPECT_EQ(button->currentPicture(), QLatin1String(c.restingPicture));
        delete button;
    }
}

TEST_F(SkinButtonTest, LatchedButtonPicturesAtRestUnderTheMouseAndAfterAClick)
{
    SkinButton* button = make(Kind::Latching);
    button->setLatched(true);
    QSignalSpy clicks(button, &SkinButton::clicked);
    QSignalSpy rightClicks(button, &SkinButton::rightClicked);
    EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.pressed"));
    QTest::mouseMove(button, QPoint(5, 5));
    EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.latched-hover"));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(std::make_pair(clicks.count(), button->isLatched()), std::make_pair(qsizetype(1), false));
    EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.hover"));
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 5)); // reported apart, latch kept
    EXPECT_EQ(std::make_tuple(clicks.count(), rightClicks.count(), button->isLatched()),
              std::make_tuple(qsizetype(1), qsizetype(1), false));
    QTest::mouseMove(host.get(), QPoint(90, 55));
    EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.normal"));
    button->setEnabled(false);
    EXPECT_EQ(button->currentPicture(), QStringLiteral("button-repeat.disabled"));
}

QByteArray regionBytes(const std::vector<QPoint>& points, int extraBytes)
{
    QByteArray bytes(static_cast<qsizetype>(points.size() * 8 + extraBytes), '\x7f');
    auto* out = reinterpret_cast<uchar*>(bytes.data());
    for (std::size_t i = 0; i < points.size(); ++i) {
        qToLittleEndian<qint32>(points[i].x(), out + i * 8);
        qToLittleEndian<qint32>(points[i].y(), out + i * 8 + 4);
    }
    return bytes;
}

TEST_F(SkinButtonTest, RegionDataShapesTheButtonOrLeavesItRectangular)
{
    const std::vector<QPoint> triangle = {{0, 0}, {23, 0}, {0, 23}};
    const struct { const char* name; std::vector<QPoint> points; int extraBytes; bool shaped; } cases[] = {
        {"20 bytes: two points and a partial one", {{0, 0}, {23, 23}}, 4, false},
        {"24 bytes: a triangle", triangle, 0, true},
        {"28 bytes: a triangle and a partial point", triangle, 4, true},
        {"nothing", {}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SkinButton* button = make(Kind::Plain, "button-play");
        button->setShape(regionBytes(c.points, c.extraBytes));
        const QRegion expected = c.shaped ? QRegion(QPolygon(QList<QPoint>(triangle.begin(), triangle.end())),
                                                    Qt::WindingFill)
                                          : QRegion();
        EXPECT_EQ(button->mask(), expected);
        delete button;
    }
}

} // namespace
} // namespace larkspan
