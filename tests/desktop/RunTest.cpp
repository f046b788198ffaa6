// Coding runs driven through the window: the user clicks the run buttons
// from inside the run, as the window processes its pending events.
#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <sstream>

#include "DesktopSession.h"
#include "app/desktop/SettingsPages.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::desktop::testing {
namespace {

int count(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

// Pixels of `colour` in the rectangle.
int pixelsOf(const ImageCanvas& c, const QRect& r, Colour colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += c.pixel(x, y) == colour;
    return n;
}

// The percentages of the error file's table row for `groups` clusters.
std::vector<double> errorRow(const std::string& file, int groups) {
    std::istringstream in(file);
    std::string line;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line.starts_with("  groups")) {
            std::getline(in, line);  // the rule
            inTable = true;
            continue;
        }
        std::istringstream row(line);
        int k = 0;
        if (!inTable || !(row >> k) || k != groups) continue;
        std::vector<double> values;
        for (double v; row >> v;) values.push_back(v);
        return values;
    }
    return {};
}

TEST(DesktopRun, StepwiseRunWithNextShowsEveryStateAndDrawsThePictures) {
    Session s;
    s.readTree();
    EXPECT_TRUE(s.find("TreeData")->isVisible());
    EXPECT_NE(s.text("TreeSummary").find("Nbr of groups=32"), std::string::npos);
    EXPECT_EQ(s.find<QLineEdit>("ClustersEdit")->text(), "32");
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadData1));

    int nexts = 0;
    bool checkedFirstWait = false, checkedRows = false;
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        const int64_t done = s.program().run.stepCounter;
        if (!checkedFirstWait) {
            checkedFirstWait = true;
            EXPECT_EQ(done, 1);
            EXPECT_FALSE(s.button(Command::ReadTree)->isEnabled());
            EXPECT_FALSE(s.find("InputGroup")->isEnabled());
            EXPECT_TRUE(s.button(Command::Break)->isEnabled());
            EXPECT_TRUE(s.button(Command::Next)->isEnabled());
            EXPECT_EQ(s.button(Command::StopContinue)->text(), "Stop");
            EXPECT_FALSE(s.find("ClustersEdit")->isEnabled());
            EXPECT_FALSE(s.find("OutputFiles")->isVisible());
            EXPECT_TRUE(s.find("FeatureLegend")->isVisible());
            EXPECT_EQ(s.text("StatusCaption"), "Program started coding data_1");
            EXPECT_EQ(s.text("Data1Field5"), "1");  // events read
            EXPECT_TRUE(s.find("RunProgress")->isVisible());
            EXPECT_EQ(s.text("RunProgressText").rfind("Events done: 1, to do: 476, time left: ", 0),
                      0u);
            // The first event in the first column, on the first row's white.
            EXPECT_GT(pixelsOf(s.window->canvas(), QRect(234, 333, 138, 53), kWhite), 3000);
        }
        if (done == 10 && !checkedRows) {
            checkedRows = true;
            // Event 9 began the second row in column 0 on light green; column 1
            // still shows event 1 on white.
            const ImageCanvas& c = s.window->canvas();
            EXPECT_GT(pixelsOf(c, QRect(234, 333, 138, 53), kLightGreen), 3000);
            EXPECT_GT(pixelsOf(c, QRect(234 + 148, 333, 138, 53), kWhite), 3000);
            EXPECT_EQ(pixelsOf(c, QRect(234 + 148, 333, 138, 53), kLightGreen), 0);
            // The marker line at component K - 1 = 15 of 128: x = 233 + 15 * 140 / 127.
            const int marker = 233 + static_cast<int>(std::nearbyint(15 * 140.0 / 127));
            EXPECT_GT(pixelsOf(c, QRect(marker, 499, 1, 80), kWhite), 60);
            EXPECT_LT(pixelsOf(c, QRect(marker + 3, 499, 1, 80), kWhite), 10);
            // The rest of the run without pictures: a setting changed during the run.
            s.box(Toggle::ShowInputRecords)->click();
            EXPECT_FALSE(s.shell().showInputRecords);
        }
        ++nexts;
        // The first few by the keyboard shortcut, the rest by the button.
        if (nexts <= 3)
            QTest::keyClick(s.window.get(), Qt::Key_N);
        else
            s.click(Command::Next);
        EXPECT_FALSE(s.shell().waiting);
    };
    s.readData(Command::ReadData1);
    EXPECT_EQ(nexts, kVowelEvents);
    EXPECT_EQ(s.port().sleeps(), 0u);  // "Next" came at once every time

    EXPECT_EQ(s.text("StatusCaption"), "Program Finished!");
    EXPECT_FALSE(s.button(Command::Next)->isEnabled());
    EXPECT_FALSE(s.button(Command::StopContinue)->isEnabled());
    EXPECT_TRUE(s.button(Command::ReadTree)->isEnabled());
    EXPECT_FALSE(s.button(Command::ReadData1)->isEnabled());
    EXPECT_FALSE(s.find("RunProgress")->isVisible());
    EXPECT_TRUE(s.find("ClustersEdit")->isEnabled());
    EXPECT_EQ(s.text("Data1Field5"), "477");
    EXPECT_EQ(outputRecords(s.bytes("vowels_Teach.zrt")), 477u);
    // The output choice shows the file it wrote.
    EXPECT_EQ(s.box(Toggle::OutputTeachCombined)->text().toStdString(),
              s.dir.file("vowels_Teach.zrt"));

    // The chart of the error table shows the error file's numbers.
    ErrorChartWindow* chart = s.window->chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    const ErrorChartData& d = chart->data();
    EXPECT_EQ(d.clusters, 32);
    EXPECT_EQ(d.steps, 477);
    ASSERT_EQ(d.lines.size(), 3u);
    const std::string errors = s.bytes("vowels_error.txt");
    for (int k : {1, 16, 32}) {
        const std::vector<double> row = errorRow(errors, k);
        ASSERT_EQ(row.size(), 3u) << k;
        for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(d.lines[c].percent[k - 1], row[c], 0.0005);
    }
    EXPECT_NEAR(d.lines[0].percent[31], 19.9, 0.05);  // the samples' recognition error
}

TEST(DesktopRun, FreeRunPausesOnStopAndGoesOnWithContinue) {
    Session s;
    s.box(Toggle::StepwiseProceeding)->click();
    s.box(Toggle::ShowInputRecords)->click();
    EXPECT_FALSE(s.button(Command::Next)->isEnabled());
    s.readTree();
    std::vector<std::string> captions;
    int idleCalls = 0;
    s.ui.user = [&] {
        const ShellState& sh = s.shell();
        if (!sh.controls.stopContinueEnabled) return;
        if (s.program().run.stepCounter == 100 && !sh.waiting && captions.empty()) {
            s.click(Command::StopContinue);
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        } else if (sh.waiting && ++idleCalls == 3) {
            // The run idles after the event under way when "Stop" came.
            EXPECT_EQ(s.program().run.stepCounter, 101);
            EXPECT_EQ(s.button(Command::Break)->toolTip().toStdString(),
                      "After then click \"Continue\" or \"Next\" if enabled\nShortcut: B");
            QTest::keyClick(s.window.get(), Qt::Key_S);  // "Continue" by its shortcut
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        }
    };
    s.readData(Command::ReadData1);
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue", "Stop"}));
    // While it idled the window slept on its event queue instead of spinning.
    EXPECT_GE(s.port().sleeps(), 1u);
    EXPECT_EQ(outputRecords(s.bytes("vowels_Teach.zrt")), 477u);
    EXPECT_EQ(s.text("StatusCaption"), "Program Finished!");
    // A finished run ticks "Stepwise proceeding" again.
    EXPECT_TRUE(s.box(Toggle::StepwiseProceeding)->isChecked());
}

TEST(DesktopRun, CompareModeCodesBothSeriesAndChartsTheirDifferences) {
    Session s;
    s.box(Toggle::CompareMode)->click();
    s.box(Toggle::StepwiseProceeding)->click();
    s.readTree();
    s.readData(Command::ReadData1);
    EXPECT_EQ(s.text("StatusCaption"), "Click Read data_2 to read next events series");
    EXPECT_TRUE(s.button(Command::ReadData2)->isEnabled());
    EXPECT_FALSE(s.button(Command::ReadData1)->isEnabled());
    EXPECT_EQ(s.window->chartWindow(), nullptr);  // no run yet
    bool labelsChecked = false;
    s.ui.user = [&] {
        if (labelsChecked || s.program().run.stepCounter != 2) return;
        labelsChecked = true;
        // The two events of the first pair in neighbouring columns, each
        // labelled with its input at the spectra area's top left.
        const ImageCanvas& c = s.window->canvas();
        EXPECT_GT(pixelsOf(c, QRect(233, 400, 40, 10), kBlack), 10);
        EXPECT_GT(pixelsOf(c, QRect(233 + 148, 400, 40, 10), kBlack), 10);
        s.box(Toggle::ShowInputRecords)->click();
    };
    s.readData(Command::ReadData2);
    EXPECT_TRUE(labelsChecked);
    EXPECT_TRUE(s.find<QLabel>("Data2Field0")->isVisible());
    EXPECT_EQ(s.text("Data2Field5"), "477");
    EXPECT_EQ(count(s.ui.messages, "No output file for the teaching sample will be created"), 1);
    EXPECT_FALSE(fileExists(s.dir.file("vowels_Teach.zrt")));

    const ErrorChartData& d = s.window->chartWindow()->data();
    EXPECT_TRUE(d.compare);
    EXPECT_EQ(d.steps, 2 * kVowelEvents);
    ASSERT_EQ(d.lines.size(), 10u);
    // The same file twice: equal errors, no differences at all.
    for (size_t c = 0; c < 3; ++c) EXPECT_EQ(d.lines[c].percent, d.lines[c + 3].percent);
    for (size_t c = 6; c < 10; ++c)
        for (double v : d.lines[c].percent) EXPECT_EQ(v, 0.0);
    const std::vector<double> row = errorRow(s.bytes("vowels_error.txt"), 32);
    ASSERT_EQ(row.size(), 10u);
    EXPECT_NEAR(d.lines[0].percent[31], row[0], 0.0005);
    EXPECT_NEAR(d.lines[0].percent[31], 19.9, 0.05);
}

TEST(DesktopRun, BreakAskedTwiceEndsTheRunOnYesAndUnticksHibernation) {
    Session s;
    s.box(Toggle::ShowInputRecords)->click();
    s.box(Toggle::HibernateOnFinish)->click();
    s.readTree();
    s.ui.answers.push_back(kVowels);
    s.ui.answers.push_back("no");
    s.ui.answers.push_back("yes");
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        const int64_t done = s.program().run.stepCounter;
        if (done == 5 || done == 8) {
            s.click(Command::Break);
            EXPECT_FALSE(s.box(Toggle::HibernateOnFinish)->isChecked());
        }
        s.click(Command::Next);
    };
    s.click(Command::ReadData1);
    EXPECT_EQ(count(s.ui.log, "question: Breaks program!|Break coding?"), 2);
    EXPECT_EQ(s.program().run.stepCounter, 8);
    EXPECT_EQ(outputRecords(s.bytes("vowels_Teach.zrt")), 8u);
    EXPECT_EQ(s.text("StatusCaption"), "Program Finished!");
    EXPECT_EQ(s.window->chartWindow()->data().steps, 8);
}

TEST(DesktopRun, HaltDuringARunClosesTheOutputsAndEndsTheProgram) {
    Session s;
    s.readTree();
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        if (s.program().run.stepCounter < 3) {
            s.click(Command::Next);
            return;
        }
        QTest::keyClick(s.window.get(), Qt::Key_H, Qt::ControlModifier);
        EXPECT_TRUE(s.window->ended());
        EXPECT_FALSE(s.endedWith.has_value());  // not while the run's command is under way
    };
    s.readData(Command::ReadData1);  // returns: no exception went through Qt
    EXPECT_EQ(s.endedWith, 0);
    EXPECT_EQ(s.program().run.stepCounter, 3);
    EXPECT_FALSE(s.program().run.runFinished);
    EXPECT_EQ(s.shell().statusCaption,
              "Program Canceled!; find results in " + s.dir.file("vowels_Teach.zrt"));
    EXPECT_EQ(outputRecords(s.bytes("vowels_Teach.zrt")), 3u);
    EXPECT_TRUE(std::any_of(s.ui.messages.begin(), s.ui.messages.end(), [](const std::string& m) {
        return m.starts_with("Program finished\r\nFind results in:\r\n\"");
    }));
    EXPECT_EQ(s.window->chartWindow(), nullptr);  // the run did not finish
}

TEST(DesktopRun, AnFvsInputAsksForTheFeatureKindOnTheTrbPage) {
    Session s;
    fixtures::TreeFileContents tree = fixtures::makeTree(3, 3);
    tree.tree.training.featureKind = -1;  // unknown: the fvs input must ask
    fixtures::writeTreeFile(s.dir.file("t.vq"), tree);
    fixtures::FvsHeader header;
    header.recordCount = 2;
    fixtures::writeFvsFile(s.dir.file("e.fvs"), header, std::vector<fixtures::FvsEvent>(2));
    s.box(Toggle::StepwiseProceeding)->click();
    s.readTree(s.dir.file("t.vq"));
    int asked = 0;
    s.ui.user = [&] {
        if (!s.shell().controls.featureKindChoiceEnabled) return;
        auto* pages = s.find<SettingsPages>("SettingsPages");
        EXPECT_TRUE(pages->isVisible());
        EXPECT_EQ(pages->currentIndex(), SettingsPages::kTrb);
        EXPECT_TRUE(pages->featureKind()->isEnabled());
        EXPECT_EQ(s.text("StatusCaption"), "Choose \"Coded feature vectors\"!");
        // The user takes a moment: meanwhile the window sleeps.
        if (++asked == 3) pages->featureKind()->buttons()[3]->click();
    };
    s.readData(Command::ReadData1, s.dir.file("e.fvs"));
    EXPECT_GE(asked, 3);
    EXPECT_GE(s.port().sleeps(), 1u);
    EXPECT_EQ(s.program().tree.training.featureKind, 3);
    EXPECT_EQ(s.program().run.stepCounter, 2);
    EXPECT_EQ(s.find<SettingsPages>("SettingsPages")->featureKind()->choice(), 3);
    EXPECT_FALSE(s.find<SettingsPages>("SettingsPages")->featureKind()->isEnabled());
}

TEST(DesktopRun, PicturesAndTheChartAreSavedAsPng) {
    Session s;
    s.readTree();
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        if (s.program().run.stepCounter == 4) s.click(Command::Break);
        s.click(Command::Next);
    };
    s.ui.answers = {kVowels, "yes"};
    s.click(Command::ReadData1);
    s.ui.user = nullptr;

    s.ui.answers.push_back(s.dir.file("pictures.png"));
    s.find<QAction>("SavePicturesAction")->trigger();
    EXPECT_EQ(s.ui.dialogs.back().path, s.dir.file("pictures.png"));
    const QImage pictures(QString::fromStdString(s.dir.file("pictures.png")));
    EXPECT_EQ(pictures.convertToFormat(QImage::Format_RGB32), s.window->canvas().image());

    ErrorChartWindow* chart = s.window->chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->data().steps, 4);
    s.ui.answers.push_back(s.dir.file("chart.png"));
    chart->saveButton()->click();
    EXPECT_EQ(s.ui.dialogs.back().path, s.dir.file("vowels_error.png"));
    const QImage saved(QString::fromStdString(s.dir.file("chart.png")));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
              renderErrorChart(chart->data(), kChartImageSize));
    // A cancelled dialog writes nothing and says nothing.
    const size_t messages = s.ui.messages.size();
    s.ui.answers.push_back("");
    s.find<QAction>("SavePicturesAction")->trigger();
    EXPECT_EQ(s.ui.dialogs.size(), 5u);
    EXPECT_EQ(s.ui.messages.size(), messages);
}

}  // namespace
}  // namespace zortan::desktop::testing
