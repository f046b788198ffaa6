#include "plots/EventPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "support/DataText.h"
#include "support/ScriptedUi.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tree/TreeCoding.h"
#include "window/Program.h"

namespace zortan {
namespace {

// A raster of pixels keeping every text written; erased areas show the face.
struct RasterCanvas : Canvas {
    static constexpr int kWidth = 1700, kHeight = 800, kCharWidth = 7;
    struct Text {
        Point at;
        std::string text;
        Colour ink, background;
    };
    std::vector<Colour> pixels = std::vector<Colour>(kWidth * kHeight, kWindowFace);
    std::vector<Text> texts;

    Colour at(int x, int y) const { return pixels.at(size_t(y * kWidth + x)); }
    void set(int x, int y, Colour c) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) pixels[size_t(y * kWidth + x)] = c;
    }
    void fillRect(const Rect& r, Colour c) override {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) set(x, y, c);
    }
    void frameRect(const Rect& r, Colour c) override {
        for (int x = r.left; x < r.right; ++x) set(x, r.top, c), set(x, r.bottom - 1, c);
        for (int y = r.top; y < r.bottom; ++y) set(r.left, y, c), set(r.right - 1, y, c);
    }
    void line(Point a, Point b, Colour c) override {  // Bresenham, both ends
        const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
        const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
        for (int err = dx + dy; set(a.x, a.y, c), !(a == b);) {
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, a.x += sx;
            if (e2 <= dx) err += dx, a.y += sy;
        }
    }
    int text(Point p, const std::string& s, Colour ink, Colour background) override {
        texts.push_back({p, s, ink, background});
        return p.x + kCharWidth * int(s.size());
    }
    void erase(const Rect& r) override { fillRect(r, kWindowFace); }
    int textWidth(const std::string& s) override { return kCharWidth * int(s.size()); }
    int textHeight() override { return 13; }
    int widestCharacterWidth() override { return kCharWidth; }
    // The first row of column x from `from` towards `to` that has colour c, or -1.
    int first(int x, int from, int to, Colour c) const {
        for (int y = from;; y += from < to ? 1 : -1) {
            if (at(x, y) == c) return y;
            if (y == to) return -1;
        }
    }
};

// The pictures drawn as the program stands.
struct Fixture {
    testing::ScriptedUi ui;
    Program p{ui, "."};
    RasterCanvas c;
    Fixture() { p.canvas = &c, p.tree.consideredComponentsNb = 20; }
    void draw(int64_t step, int series = 1) {
        p.run.stepCounter = step;
        PictureDesk desk = pictureDesk(p);
        DrawInputPicture(desk, series == 1 ? p.data1 : p.data2, p.fvsRecord);
    }
    void averaging(const EventRecord& e) {
        PictureDesk desk = pictureDesk(p);
        DrawAveragingPicture(desk, p.data1, e);
    }
    void eventText(const EncodeResult& leaf) {
        PictureDesk desk = pictureDesk(p);
        const TOutputRecord& t = p.run.teachRecord;
        for (const std::string& m :
             WriteEventText(desk, t.vectorCode, {t.cath1, t.cath2, t.cath3}, leaf, p.tree, p.coder))
            ui.showMessage(m);
    }
};

constexpr int kLeft = 233, kStride = 148;

TEST(EventPictures, CurvesScalesAndClamping) {
    Fixture f;
    fixtures::FvsEvent r;
    // Signal: middle 359.5 -> 360, y scale 1.5 * 55 / 65535, x scale 140 / 255.
    r.signal[60] = 16384;    // 20.6 above: row 339, x 32.9 -> 33
    r.signal[128] = 32767;   // 41.25 above: clamped to the top 332, x 70
    r.signal[200] = -32768;  // clamped to the bottom 387, x 110
    // Spectra: middle 440.5 -> 440, x scale 140 / 127; only 128 points.
    r.features[0][128] = 30000;
    f.p.data1.plotParameters[1] = 6.5;  // the series' spectra range
    r.features[2][100] = 2500;          // 81 / 6.5 / 1000 * 2500 = 31.15 above 455: row 424, x 110
    // Features: middle 538.5 -> 538, baseline 552.7 -> 553.
    r.features[4][90] = -10000;  // 24.7 below: row 578, x 99
    f.p.fvsRecord = fixtures::encodeFvsEvent(r);
    f.draw(0);
    const RasterCanvas& c = f.c;
    EXPECT_EQ(c.first(kLeft + 33, 325, 395, kBlue), 339);
    EXPECT_EQ(c.first(kLeft + 70, 325, 395, kBlue), 332);
    EXPECT_EQ(c.first(kLeft + 110, 395, 325, kBlue), 387);
    EXPECT_EQ(c.first(kLeft + 100, 325, 395, kBlue), 360);  // elsewhere on the baseline
    EXPECT_EQ(c.first(kLeft + 110, 395, 485, kRed), 424);
    EXPECT_EQ(c.first(kLeft + 140, 395, 485, kBlue), -1);
    EXPECT_EQ(c.at(kLeft + 139, 458), kBlack);  // the smoothed spectrum on its baseline
    EXPECT_EQ(c.first(kLeft + 99, 585, 495, kRed), 578);
    // Every frame and every segment lets the window handle its events.
    EXPECT_EQ(f.ui.pendingEventsProcessed, 3 + 256 + 3 * 127 + 2 * 127);
}

TEST(EventPictures, MarkerLineAndDrawnComponents) {
    const struct {
        int K, drawn, marker, last;  // marker and last point: offsets from the left edge
    } cases[] = {{20, 128, 21, 140}, {20, 30, 92, 140}, {15, 16, 131, 140}, {100, 200, 70, 90}};
    for (const auto& t : cases) {
        Fixture f;
        f.p.tree.consideredComponentsNb = t.K, f.p.shell.drawnComponents = uint16_t(t.drawn);
        fixtures::FvsEvent e;
        e.features[3][size_t(std::min(t.drawn, 129) - 1)] = 10000;  // 24.7 above 553
        f.p.fvsRecord = fixtures::encodeFvsEvent(e);
        ASSERT_NO_THROW(f.draw(0));
        for (int y = 498; y <= 579; ++y)
            EXPECT_TRUE(y == 553 || f.c.at(kLeft + t.marker, y) == kWhite) << t.K << " " << y;
        EXPECT_EQ(f.c.at(kLeft + t.marker - 1, 510), kWindowFace) << t.K;  // erased beside it
        EXPECT_EQ(f.c.first(kLeft + t.last, 495, 585, kBlue), 528) << t.K;
        // Beyond the last existing component nothing but the baseline.
        for (int x = kLeft + t.last + 1; x <= kLeft + 140; ++x) {
            EXPECT_EQ(f.c.first(x, 498, 579, kRed), -1) << x;
            EXPECT_EQ(f.c.at(x, 553), kWhite) << x;
        }
        const int segments = std::min(t.drawn, 129) - 1;
        EXPECT_EQ(f.ui.pendingEventsProcessed, 3 + 256 + 3 * 127 + 2 * segments);
    }
    Fixture f;  // one point cannot span the width: frame only
    f.p.shell.drawnComponents = 1;
    ASSERT_NO_THROW(f.draw(0));
    EXPECT_EQ(f.c.first(kLeft + 5, 498, 579, kRed), -1);
}

TEST(EventPictures, AveragingPictureAndLayout) {
    Fixture f;
    PlacePlotsOnActivation(f.p.pictures);
    const LegendLayout& l = f.p.pictures.legend;
    EXPECT_EQ((std::vector<int>{l.outputCodes, l.cathNames, l.given, l.recognized, l.totalError,
                                l.runButtons, l.stepwiseBox, l.warningLine}),
              (std::vector<int>{595, 630, 645, 660, 688, 710, 719, 740}));
    PlaceAveragingArea(f.p.pictures);
    EXPECT_EQ(f.p.pictures.averagingArea.top, 595);
    EXPECT_EQ(l.outputCodes, 692);
    f.p.shell.picturesPerRow = 4, f.p.tree.consideredComponentsNb = f.p.shell.drawnComponents = 10;
    f.draw(2);
    PlacePlotsOnActivation(f.p.pictures);  // a later activation keeps the origin
    EXPECT_EQ(f.p.pictures.plotsLeftOrigin, kLeft);

    EventSeries& s = f.p.data1;
    s.averaging.timeAverage[3] = 20000.5;  // 20000: 49.4 above 651 (middle 635.5 -> 636)
    EventRecord e;
    e.components[6] = -10000;  // 24.7 below 651: the bottom 676
    f.averaging(e);
    const int left = kLeft + 2 * kStride;  // x scale 140 / 9
    EXPECT_EQ(f.c.first(left + 47, 594, 680, kBlack), 602);
    EXPECT_EQ(f.c.first(left + 93, 680, 594, kLime), 676);
    EXPECT_EQ(f.c.at(left + 140, 600), kWhite);  // the marker at K - 1 = 9
    f.p.tree.consideredComponentsNb = 130;
    EXPECT_THROW(f.averaging(e), RangeError);
}

// Row colours and the marker line in a run: see also the desktop tests.
TEST(EventPictures, LabelsColumnLimitAndNoSurface) {
    Fixture f;
    f.p.shell.picturesPerRow = 2, f.p.shell.compareMode = true;
    for (int step = 0; step < 3; ++step) {
        f.draw(step, 1 + step % 2);
        EXPECT_EQ(f.c.texts.back().text, step % 2 ? "2-nd data" : "1-th data");
        EXPECT_EQ(f.c.texts.back().at, (Point{kLeft + step % 2 * kStride, 400}));
        EXPECT_EQ(f.c.at(kLeft + step % 2 * kStride - 2, 350), kBlack);  // the sunken frame
        EXPECT_EQ(f.c.at(kLeft + step % 2 * kStride + 141, 350), kWhite);
    }
    f.p.pictures.plotsLeftOrigin = 65535 - kStride;  // column 1's left edge at 65535
    EXPECT_NO_THROW(f.draw(1));
    ++f.p.pictures.plotsLeftOrigin;
    EXPECT_THROW(f.draw(1), RangeError);
    // A new row changes the background, white first; with one picture to a
    // row it never changes.
    for (int perRow : {1, 2}) {
        Fixture g;
        g.p.shell.picturesPerRow = perRow;
        std::vector<Colour> backs;
        for (int step = 0; step < 5; ++step) g.draw(step), backs.push_back(g.p.pictures.background);
        const std::vector<Colour> rows = {kWhite, kWhite, kLightGreen, kLightGreen, kWhite};
        EXPECT_EQ(backs, perRow == 1 ? std::vector<Colour>(5, kWindowFace) : rows);
    }
    for (bool noCanvas : {false, true}) {  // pictures off, or no drawing surface
        Fixture g;
        g.p.shell.showInputRecords = noCanvas;
        if (noCanvas) g.p.canvas = nullptr;
        g.draw(0);
        g.averaging(g.p.event);
        g.eventText(EncodeResult{});
        EXPECT_TRUE(g.c.texts.empty() && g.c.at(kLeft + 70, 334) == kWindowFace);
        EXPECT_EQ(g.ui.pendingEventsProcessed, 0);
    }
}

TEST(EventPictures, EventTextAndCategoryLookup) {
    EXPECT_EQ(ErrorPercentagesText(1, 3, 5, 8), "12,  38,  62      ");  // halves to even
    EXPECT_THROW(ErrorPercentagesText(0, 0, 0, 0), RangeError);
    Fixture f;
    Program& p = f.p;
    p.shell.picturesPerRow = 9;
    p.tree.cath[0].list = {'a', 'b', '\0'}, p.tree.cath[1].list = {'p', 'q'};
    p.tree.cath[2].list = {'x'}, p.tree.cath[0].active = p.tree.cath[1].active = 1;
    f.draw(0), f.draw(2);
    f.c.texts.clear();
    p.run.teachRecord = {417, 'a', 'p', 'x', 0}, p.run.stepCounter = 3;
    p.coder.cath1ErrorCount = 1, p.coder.cath3ErrorCount = 2;
    f.eventText(EncodeResult{417, 1, 1, 0});
    // Offsets from the picture's left edge + 5; category 3 is not active.
    std::string shown;
    for (const RasterCanvas::Text& t : f.c.texts)
        shown += std::to_string(t.at.x - kLeft - 2 * kStride - 5) + "," + std::to_string(t.at.y) +
                 (t.ink == kBlue ? " blue:" : ":") + t.text +
                 (t.background == kWhite ? "|" : " not on white|");
    EXPECT_EQ(shown,
              "0,595:        417|0,645:            a, p, x|0,668:            |84,668 "
              "blue:b, q, -|0,688:33,  0,  67       |");
    EXPECT_TRUE(f.ui.messages.empty());
    // An index beyond the list is reported and lowered to the last index
    // (not for an inactive category).
    f.eventText(EncodeResult{5, 0, 4, 9});
    EXPECT_EQ(f.c.texts[f.c.texts.size() - 2].text, "a, q, -");
    EXPECT_EQ(f.ui.messages,
              std::vector<std::string>{testing::dataText("category-index-lowered.txt")});
    std::vector<std::string> said;
    EXPECT_THROW(CategoryLookup({}, 0, true, said), RangeError);
}

}  // namespace
}  // namespace zortan
