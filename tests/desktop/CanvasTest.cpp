// The pictures' Qt surface read back pixel by pixel, the error chart and the
// run's progress estimate.
#include "DesktopSession.h"
#include "app/desktop/ErrorChart.h"
#include "app/desktop/ImageCanvas.h"
#include "app/desktop/RunProgress.h"
#include "plots/EventPictures.h"
#include "tree/TreeCoding.h"

namespace zortan::desktop::testing {
namespace {

TEST(ImageCanvas, PrimitivesPaintExactlyTheirPixels) {
    ImageCanvas c(QSize(200, 150));
    std::vector<QRect> changed;
    c.changed = [&](const QRect& r) { changed.push_back(r); };
    c.fillRect({10, 10, 20, 15}, kRed);  // right and bottom lie outside
    EXPECT_EQ(pixelsOf(c, QRect(0, 0, 40, 40), kRed), 10 * 5);
    c.frameRect({30, 30, 40, 36}, kBlue);
    EXPECT_EQ(pixelsOf(c, QRect(28, 28, 16, 12), kBlue), 2 * 10 + 2 * 4);
    EXPECT_EQ(c.pixel(39, 35), kBlue);
    c.line({50, 50}, {60, 55}, kBlack);  // both end points are painted
    EXPECT_EQ(pixelsOf(c, QRect(45, 45, 20, 15), kBlack), 11);
    EXPECT_EQ(c.pixel(60, 55), kBlack);
    c.erase({0, 0, 45, 45});
    EXPECT_EQ(pixelsOf(c, QRect(0, 0, 45, 45), kWindowFace), 45 * 45);
    const int after = c.text({100, 100}, "a, b", kBlue, kLightGreen);
    EXPECT_EQ(c.pixel(100, 100), kLightGreen);  // opaque background
    EXPECT_GT(pixelsOf(c, QRect(100, 100, after - 100, 14), kBlue), 5);
    EXPECT_EQ(pixelsOf(c, QRect(after + 1, 100, 20, 14), kBlue), 0);
    ASSERT_EQ(changed.size(), 5u);
    EXPECT_TRUE(changed[2].contains(QPoint(50, 50)) && changed[2].contains(QPoint(60, 55)));
    // Growing keeps the pictures; the new part shows the window's face.
    c.growTo(QSize(300, 100));
    EXPECT_EQ(c.image().size(), QSize(300, 150));
    EXPECT_EQ(c.pixel(60, 55), kBlack);
    EXPECT_EQ(c.pixel(250, 70), kWindowFace);
}

// A short event text written over a long one reads as if written alone; the
// cells take the background and stay inside their column.
TEST(ImageCanvas, EventTextClearsWhatTheRowBeforeWrote) {
    zortan::testing::ScriptedUi ui;
    Program p(ui, ".");
    p.shell.showInputRecords = true;
    p.pictures.background = kLightGreen;
    p.pictures.legend = LegendBelow(579);
    p.tree.cath[0].list = {'i', 'W'}, p.tree.cath[1].list = {'1', '@'},
    p.tree.cath[2].list = {'v', 'M'};
    p.tree.cath[0].active = p.tree.cath[1].active = p.tree.cath[2].active = 1;
    const auto write = [&](ImageCanvas& canvas, uint16_t code, uint8_t category, uint32_t errors) {
        p.canvas = &canvas;
        const std::array<char, 3> c = {p.tree.cath[0].list[category], p.tree.cath[1].list[category],
                                       p.tree.cath[2].list[category]};
        p.run.teachRecord = {code, c[0], c[1], c[2], 0};
        p.run.stepCounter = 100;
        p.coder.cath1ErrorCount = p.coder.cath2ErrorCount = p.coder.cath3ErrorCount = errors;
        PictureDesk desk = pictureDesk(p);
        WriteEventText(desk, code, c, EncodeResult{code, category, category, category}, p.tree,
                       p.coder);
    };
    ImageCanvas overwritten(QSize(400, 720)), alone(QSize(400, 720));
    write(overwritten, 34567, 1, 100);  // "100,  100,  100" and the widest categories
    write(overwritten, 3, 0, 0);
    write(alone, 3, 0, 0);
    const QRect cells(0, 580, 400, 140);
    EXPECT_EQ(overwritten.image().copy(cells), alone.image().copy(cells));
    const int errorRow = p.pictures.legend.recognized + 28 + 2;
    EXPECT_EQ(overwritten.pixel(233 + 5 + 110, errorRow), kLightGreen);
    EXPECT_EQ(overwritten.pixel(233 + 5 + 148, errorRow), kWindowFace);
}

// In compare mode the second series, equal to the first, shows dark blue dashes.
TEST(ErrorChart, SecondSeriesVisibleOverAnEqualFirst) {
    ErrorChartData data;
    data.clusters = 8, data.steps = 100, data.compare = true;
    const std::vector<double> percent{50, 40, 35, 30, 28, 25, 24, 20};
    data.lines = {{"first", ChartLine::Source::First, 0, percent},
                  {"second", ChartLine::Source::Second, 0, percent}};
    const QImage both = renderErrorChart(data, kChartImageSize);
    const auto darkBlue = [](QColor c) {
        return c.red() < 40 && c.green() < 40 && c.blue() > 60 && c.blue() < 150;
    };
    EXPECT_GT(countPixels(both, darkBlue, QRect(0, 0, both.width() - 200, both.height())), 300);
}

TEST(RunProgress, EstimatesTheTimeLeftFromTheTimeSpentCoding) {
    using namespace std::chrono_literals;
    const auto t0 = RunProgress::Clock::time_point{} + 1000s;
    RunProgress r;
    r.note(0, 100, true, t0);  // stepwise: events come only while it waits
    r.note(1, 100, true, t0 + 30s);
    EXPECT_EQ(r.text(), "Events done: 1, to do: 99, time left: ?");  // no rate yet
    r.note(1, 100, false, t0 + 31s);                                 // "Continue"
    r.note(10, 100, false, t0 + 31s + 900ms);
    EXPECT_EQ(r.timeLeft(), -1ms);      // too few yet
    r.note(11, 100, true, t0 + 32s);    // ten events in a second, then "Stop"
    r.note(11, 100, false, t0 + 100s);  // the pause does not count
    r.pause(16, t0 + 100s + 500ms);     // a box opens
    r.resume(false, t0 + 200s);         // and closes: its time does not count
    r.note(21, 100, false, t0 + 200s + 500ms);
    EXPECT_EQ(r.permille(), 210);
    EXPECT_EQ(r.text(), "Events done: 21, to do: 79, time left: 0:07");
    r.pause(21, t0 + 201s);
    r.resume(true, t0 + 202s);  // closed while the run waits for "Next"
    r.note(22, 100, true, t0 + 900s);
    EXPECT_EQ(r.timeLeft(), 9750ms);  // 20 events in 2.5 s of flow, 78 left
    // A new run starts from nothing; an unknown events count.
    r.stop();
    r.note(0, 50, false, t0 + 500s);
    r.note(10, 50, false, t0 + 510s);
    EXPECT_EQ(r.timeLeft(), 40000ms);
    r.note(10, std::numeric_limits<int64_t>::max(), false, t0 + 511s);
    EXPECT_EQ(r.text(), "Events done: 10, to do: ?, time left: ?");
    // At most about 30 redraws a second.
    EXPECT_TRUE(r.due(t0));
    EXPECT_FALSE(r.due(t0 + 20ms));
    EXPECT_TRUE(r.due(t0 + 40ms));
    EXPECT_EQ(durationText(3723s), "1:02:03");
}

}  // namespace
}  // namespace zortan::desktop::testing
