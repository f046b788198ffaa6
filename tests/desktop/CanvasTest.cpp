// The pictures' Qt surface, read back pixel by pixel, and the run's
// progress estimate.
#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>

#include "app/desktop/ImageCanvas.h"
#include "app/desktop/RunProgress.h"
#include "events/FvsReader.h"
#include "plots/EventPictures.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "tree/TreeCoding.h"

namespace zortan::desktop {
namespace {

int pixelsOf(const ImageCanvas& c, const QRect& r, Colour colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += c.pixel(x, y) == colour;
    return n;
}

TEST(ImageCanvas, PrimitivesPaintExactlyTheirPixels) {
    ImageCanvas c(QSize(200, 150));
    std::vector<QRect> changed;
    c.changed = [&](const QRect& r) { changed.push_back(r); };

    c.fillRect({10, 10, 20, 15}, kRed);  // right and bottom lie outside
    EXPECT_EQ(pixelsOf(c, QRect(0, 0, 40, 40), kRed), 10 * 5);
    EXPECT_EQ(c.pixel(19, 14), kRed);
    EXPECT_EQ(c.pixel(20, 14), kWindowFace);
    EXPECT_EQ(c.pixel(19, 15), kWindowFace);

    c.frameRect({30, 30, 40, 36}, kBlue);
    EXPECT_EQ(pixelsOf(c, QRect(28, 28, 16, 12), kBlue), 2 * 10 + 2 * 4);
    for (QPoint p : {QPoint(30, 30), QPoint(39, 30), QPoint(30, 35), QPoint(39, 35)})
        EXPECT_EQ(c.pixel(p.x(), p.y()), kBlue);
    EXPECT_EQ(c.pixel(31, 31), kWindowFace);

    c.line({50, 50}, {60, 55}, kBlack);  // both end points are painted
    EXPECT_EQ(c.pixel(50, 50), kBlack);
    EXPECT_EQ(c.pixel(60, 55), kBlack);
    EXPECT_EQ(c.pixel(61, 55), kWindowFace);
    EXPECT_EQ(pixelsOf(c, QRect(45, 45, 20, 15), kBlack), 11);
    c.line({70, 70}, {70, 70}, kLime);  // a point
    EXPECT_EQ(pixelsOf(c, QRect(65, 65, 10, 10), kLime), 1);

    c.erase({0, 0, 45, 45});
    EXPECT_EQ(pixelsOf(c, QRect(0, 0, 45, 45), kWindowFace), 45 * 45);

    const int after = c.text({100, 100}, "a, b", kBlue, kLightGreen);
    EXPECT_GT(after, 100 + 10);
    EXPECT_EQ(c.pixel(100, 100), kLightGreen);  // opaque background
    EXPECT_GT(pixelsOf(c, QRect(100, 100, after - 100, 14), kBlue), 5);
    EXPECT_EQ(pixelsOf(c, QRect(after + 1, 100, 20, 14), kBlue), 0);

    EXPECT_EQ(c.drawCount(), 6u);
    ASSERT_EQ(changed.size(), 6u);
    EXPECT_TRUE(changed[0].contains(QRect(10, 10, 10, 5)));
    EXPECT_TRUE(changed[2].contains(QPoint(50, 50)) && changed[2].contains(QPoint(60, 55)));

    // Growing keeps the pictures; the new part shows the window's face.
    c.growTo(QSize(300, 100));
    EXPECT_EQ(c.image().size(), QSize(300, 150));
    EXPECT_EQ(c.pixel(70, 70), kLime);
    EXPECT_EQ(c.pixel(250, 70), kWindowFace);
}

void putWord(FvsRecord& r, size_t offset, int16_t v) {
    r[offset] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
    r[offset + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

struct Pictures {
    zortan::testing::ScriptedUi ui;
    Program p{ui, "."};
    ImageCanvas canvas{QSize(1700, 800)};
    Pictures() {
        p.canvas = &canvas;
        p.tree.consideredComponentsNb = 20;
    }
    void draw(int64_t step) {
        p.run.stepCounter = step;
        DrawInputPicture(p, p.data1);
    }
};

constexpr int kLeft = 233, kStride = 148;

TEST(ImageCanvas, InputPicturesAlternateTheirRowsAndShowTheMarkerLine) {
    Pictures f;
    f.p.shell.picturesPerRow = 3;
    // The signal's loudest samples are clamped to the area: 32767 at sample
    // 128 to its top, -32768 at sample 200 to its bottom.
    putWord(f.p.fvsRecord, kFvsSignal + 2 * 128, 32767);
    putWord(f.p.fvsRecord, kFvsSignal + 2 * 200, -32768);
    const std::array<Colour, 3> rows{kWhite, kLightGreen, kWhite};
    for (int step = 0; step < 7; ++step) {
        f.draw(step);
        const int left = kLeft + step % 3 * kStride;
        // Away from the curve: the row's colour.
        EXPECT_EQ(f.canvas.pixel(left + 20, 340), rows[static_cast<size_t>(step / 3)]) << step;
        EXPECT_EQ(f.canvas.pixel(left - 2, 350), kBlack);  // the frame's dark edge
        EXPECT_EQ(f.canvas.pixel(left + 141, 350), kWhite);
        const int x128 = left + static_cast<int>(std::nearbyint(128 * 140.0 / 255));
        const int x200 = left + static_cast<int>(std::nearbyint(200 * 140.0 / 255));
        EXPECT_EQ(f.canvas.pixel(x128, 332), kBlue) << step;
        EXPECT_EQ(f.canvas.pixel(x200, 332 + 55), kBlue) << step;
        EXPECT_NE(f.canvas.pixel(x128, 331), kBlue);  // not above the area
    }
    // The earlier row's pictures stay where no new one was drawn.
    EXPECT_EQ(f.canvas.pixel(kLeft + kStride + 20, 340), kLightGreen);

    // The marker at component K - 1 = 19 of the 128 drawn: a white line
    // from the features area's top to its bottom; the erased area beside it.
    const int marker = kLeft + static_cast<int>(std::nearbyint(19 * 140.0 / 127));
    EXPECT_GE(pixelsOf(f.canvas, QRect(marker, 498, 1, 82), kWhite), 78);
    EXPECT_LE(pixelsOf(f.canvas, QRect(marker + 2, 498, 1, 82), kWhite), 2);
    EXPECT_GE(pixelsOf(f.canvas, QRect(marker + 2, 498, 1, 82), kWindowFace), 78);

    // With one picture a row the colour never changes.
    Pictures one;
    one.p.shell.picturesPerRow = 1;
    for (int step = 0; step < 3; ++step) one.draw(step);
    EXPECT_EQ(one.canvas.pixel(kLeft + 20, 340), kWindowFace);
}

TEST(ImageCanvas, EventTextShowsCategoriesWithDashForAnInactiveOne) {
    Pictures f;
    QuantizationTree& t = f.p.tree;
    t.cath1List = {'a', 'b'};
    t.cath2List = {'x', 'y', 'z'};
    t.cath3List = {'f', 'm'};
    t.cath1Active = 1, t.cath2Active = 0, t.cath3Active = 1;
    f.p.run.teachRecord = {417, 'b', 'y', 'm', 0};
    f.p.run.stepCounter = 3;
    f.p.coder.cath1ErrorCount = 1, f.p.coder.cath3ErrorCount = 2;
    WriteEventText(f.p, EncodeResult{417, 1, 2, 9});
    // Index 9 beyond the list of category 3 is reported and lowered.
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_NE(f.ui.messages[0].find("while index is \"9\r\n"), std::string::npos);

    const LegendLayout& rows = f.p.pictures.legend;
    const Point recognised{kLeft + 5, rows.recognized + 8};
    // The same texts drawn on their own, at the same places: the black lead
    // (if any) and then the text in its ink.
    const auto sameAs = [&](Point at, const std::string& lead, const std::string& text,
                            Colour ink) {
        ImageCanvas ref(QSize(1700, 800));
        const int x = lead.empty() ? at.x : ref.text(at, lead, kBlack, kWindowFace);
        const int end = ref.text({x, at.y}, text, ink, kWindowFace);
        const QRect box(at.x, at.y, end - at.x + 4, 16);
        return ref.image().copy(box) == f.canvas.image().copy(box);
    };
    const std::string blanks(12, ' ');
    EXPECT_TRUE(sameAs(recognised, blanks, "b, -, m", kBlue));
    EXPECT_GT(pixelsOf(f.canvas, QRect(recognised.x, recognised.y, 140, 14), kBlue), 20);
    EXPECT_FALSE(sameAs(recognised, blanks, "b, z, m", kBlue));
    EXPECT_FALSE(sameAs(recognised, blanks, "b, -, m", kBlack));
    EXPECT_TRUE(sameAs({kLeft + 5, rows.outputCodes}, "", std::string(8, ' ') + "417", kBlack));
    EXPECT_TRUE(sameAs({kLeft + 5, rows.given}, "", blanks + "b, y, m", kBlack));
    EXPECT_TRUE(
        sameAs({kLeft + 5, rows.recognized + 28}, "", "33,  0,  67" + std::string(7, ' '), kBlack));
}

TEST(RunProgress, EstimatesTheTimeLeftFromTheTimeSpentCoding) {
    using namespace std::chrono_literals;
    const auto t0 = RunProgress::Clock::time_point{} + 1000s;
    RunProgress r;
    r.note(0, 100, false, t0);
    EXPECT_EQ(r.text(), "Events done: 0, to do: 100, time left: ?");
    r.note(10, 100, true, t0 + 1s);     // one second of coding, then a wait
    r.note(10, 100, false, t0 + 100s);  // the wait does not count
    r.note(20, 100, false, t0 + 101s);
    EXPECT_EQ(r.timeLeft(), 8000ms);
    EXPECT_EQ(r.permille(), 200);
    EXPECT_EQ(r.text(), "Events done: 20, to do: 80, time left: 0:08");
    r.note(100, 100, false, t0 + 102s);
    EXPECT_EQ(r.permille(), 1000);
    EXPECT_EQ(r.timeLeft(), 0ms);

    // A new run starts from nothing.
    r.stop();
    r.note(0, 50, false, t0 + 500s);
    r.note(5, 50, false, t0 + 505s);
    EXPECT_EQ(r.timeLeft(), 45000ms);
    // An unknown events count.
    r.note(5, std::numeric_limits<int64_t>::max(), false, t0 + 506s);
    EXPECT_EQ(r.toDo(), -1);
    EXPECT_EQ(r.permille(), 0);
    EXPECT_EQ(r.text(), "Events done: 5, to do: ?, time left: ?");

    // At most about 30 redraws a second.
    EXPECT_TRUE(r.due(t0));
    EXPECT_FALSE(r.due(t0 + 20ms));
    EXPECT_TRUE(r.due(t0 + 40ms));
    EXPECT_EQ(durationText(3723s), "1:02:03");
    EXPECT_EQ(durationText(59999ms), "0:59");
}

}  // namespace
}  // namespace zortan::desktop
