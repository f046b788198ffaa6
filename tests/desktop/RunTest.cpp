// Coding runs driven through the window: the user clicks the run buttons
// from inside the run, as the window processes its pending events.
#include <QAction>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <cmath>

#include "DesktopSession.h"

namespace zortan::desktop::testing {
namespace {

// The percentages of the error file's table row for `groups` clusters.
std::vector<double> errorRow(const std::string& file, int groups) {
    std::istringstream in(file.substr(file.find("  groups")));
    std::vector<double> values;
    std::string line;
    for (int k = 0; std::getline(in, line);) {
        std::istringstream row(line);
        if (!(row >> k) || k != groups) continue;
        for (double v; row >> v;) values.push_back(v);
        break;
    }
    return values;
}

TEST(DesktopRun, StepwiseRunWithNextShowsItsStateDrawsThePicturesAndChartsTheErrors) {
    Session s;
    s.readTree();
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadData1));
    // The two-line caption is shown whole, still large.
    auto* caption = s.find<QLabel>("StatusCaption");
    EXPECT_EQ(caption->text(),
              "Program ended reading tree.\nNow you can change number of "
              "clusters (i.e. number of codes as a consequence)!!");
    EXPECT_GE(caption->font().pixelSize(), 16);
    const QRect needed =
        caption->fontMetrics().boundingRect(caption->rect(), Qt::AlignLeft, caption->text());
    EXPECT_TRUE(caption->rect().contains(needed)) << needed.height();
    int nexts = 0;
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        const ImageCanvas& c = s.window->canvas();
        const int64_t done = s.program().run.stepCounter;
        if (done == 1) {
            expectMirrorsTheModel(s);
            EXPECT_FALSE(s.find("ClustersEdit")->isEnabled() || s.find("OutputFiles")->isVisible());
            EXPECT_EQ(s.text("StatusCaption"), "Program started coding data_1");
            EXPECT_TRUE(
                s.text("RunProgressText").starts_with("Events done: 1, to do: 476, time left: "));
            // The first event in the first column, on the first row's white.
            EXPECT_GT(pixelsOf(c, QRect(234, 333, 138, 53), kWhite), 3000);
        }
        if (done == 10 && s.shell().showInputRecords) {
            // Event 9 began the second row in column 0 on light green; column 1
            // still shows event 1 on white.
            EXPECT_GT(pixelsOf(c, QRect(234, 333, 138, 53), kLightGreen), 3000);
            EXPECT_EQ(pixelsOf(c, QRect(234 + 148, 333, 138, 53), kLightGreen), 0);
            // The marker line at component K - 1 = 15 of 128.
            const int marker = 233 + static_cast<int>(std::nearbyint(15 * 140.0 / 127));
            EXPECT_GT(pixelsOf(c, QRect(marker, 499, 1, 80), kWhite), 60);
            EXPECT_LT(pixelsOf(c, QRect(marker + 3, 499, 1, 80), kWhite), 10);
            // The rest of the run without pictures: a setting changed during the run.
            s.box(Toggle::ShowInputRecords)->click();
        }
        // The first few by the keyboard shortcut, wherever the focus is and
        // right after a box has closed; the rest by the button.
        ++nexts;
        EXPECT_TRUE(s.window->runAction(Command::Next)->isEnabled());
        if (nexts == 2) s.find("PicturesEdit")->setFocus();
        if (nexts == 3) {
            QMessageBox box(QMessageBox::Information, "Zortan", "A box", QMessageBox::Ok,
                            s.window.get());
            QTimer::singleShot(20, &box, [&box] { box.accept(); });
            box.exec();
            s.window->port().showMessage("through the port");
        }
        if (nexts <= 3)
            QTest::keyClick(s.window.get(), Qt::Key_F10);
        else
            s.click(Command::Next);
        EXPECT_FALSE(s.shell().waiting);
    };
    s.readData1();
    EXPECT_EQ(nexts, 477);
    EXPECT_EQ(s.window->port().sleeps(), 0u);  // "Next" came at once every time
    EXPECT_EQ(s.text("StatusCaption"), "Program Finished!");
    expectMirrorsTheModel(s);
    EXPECT_FALSE(s.find("RunProgress")->isVisible());
    EXPECT_TRUE(s.find("ClustersEdit")->isEnabled());
    EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 477u);
    // The chart of the error table shows the error file's numbers.
    ASSERT_NE(s.window->chartWindow(), nullptr);
    const ErrorChartData& d = s.window->chartWindow()->data();
    EXPECT_EQ(d.steps, 477);
    ASSERT_EQ(d.lines.size(), 3u);
    const std::string errors = s.bytes("vowels_error.txt");
    for (int k : {1, 32}) {
        const std::vector<double> row = errorRow(errors, k);
        ASSERT_EQ(row.size(), 3u) << k;
        for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(d.lines[c].percent[k - 1], row[c], 0.0005);
    }

    // Reading the tree again brings the settings pages' first page to the front.
    auto* pages = s.find<QTabWidget>("SettingsPages");
    EXPECT_EQ(pages->currentIndex(), 1);  // "Input1", where the run turned
    pages->setCurrentIndex(3);
    s.readTree();
    EXPECT_TRUE(pages->isVisible());
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST(DesktopRun, FreeRunPausesOnStopAndGoesOnWithContinue) {
    Session s;
    s.box(Toggle::StepwiseProceeding)->click();
    s.box(Toggle::ShowInputRecords)->click();
    s.readTree();
    std::vector<std::string> captions;
    int idle = 0;
    s.ui.user = [&] {
        const ShellState& sh = s.shell();
        if (!sh.controls.stopContinueEnabled) return;
        if (s.program().run.stepCounter == 100 && !sh.waiting && captions.empty()) {
            s.click(Command::StopContinue);
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        } else if (sh.waiting && ++idle == 3) {
            // The run idles after the event under way when "Stop" came.
            EXPECT_EQ(s.program().run.stepCounter, 101);
            QTest::keyClick(s.window.get(), Qt::Key_F5);  // "Continue" by its shortcut
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        }
    };
    s.readData1();
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue", "Stop"}));
    // While it idled the window slept on its event queue instead of spinning.
    EXPECT_GE(s.window->port().sleeps(), 1u);
    EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 477u);
    EXPECT_TRUE(s.box(Toggle::StepwiseProceeding)->isChecked());  // ticked again at the end
}

// Break asked twice (No, then Yes) unticks hibernation and ends the run;
// the pictures and the chart are then saved as PNG.
TEST(DesktopRun, BreakThenPicturesAndChartSavedAsPng) {
    Session s;
    s.box(Toggle::HibernateOnFinish)->click();
    s.readTree();
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        if (s.program().run.stepCounter == 2 || s.program().run.stepCounter == 4) {
            s.click(Command::Break);
            EXPECT_FALSE(s.box(Toggle::HibernateOnFinish)->isChecked());
        }
        s.click(Command::Next);
    };
    s.ui.answers = {kVowels, "no", "yes"};
    s.click(Command::ReadData1);
    s.ui.user = nullptr;
    EXPECT_EQ(s.hibernations, 0);
    EXPECT_EQ(
        std::count(s.ui.log.begin(), s.ui.log.end(), "question: Breaks program!|Break coding?"), 2);
    EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 4u);
    EXPECT_EQ(s.text("StatusCaption"), "Program Finished!");

    // The pictures as seen: cropped to the four pictures drawn, with the
    // legend labels left of them and the event texts below.
    s.ui.answers.push_back(s.dir.file("pictures.png"));
    s.find<QAction>("SavePicturesAction")->trigger();
    const QImage saved = QImage(QString::fromStdString(s.dir.file("pictures.png")))
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(saved, s.window->picturesImage());
    const QRect legend = s.find("TotalErrorLegend")->geometry();
    const QRect drawn = s.window->canvas().drawnBounds();
    EXPECT_EQ(saved.width(), drawn.right() + 1 - legend.left());
    EXPECT_EQ(saved.height(), std::max(drawn.bottom(), legend.bottom()) + 1 - drawn.top());
    const auto dark = [&](QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += qGray(saved.pixel(x, y)) < 80;
        return n;
    };
    EXPECT_GT(dark(legend.translated(-legend.left(), -drawn.top()).intersected(saved.rect())), 10);
    EXPECT_LT(drawn.right(), 233 + 4 * 148);

    // "Output files" shown over the pictures hides them.
    s.window->form().click(Command::Options);
    s.window->refresh();
    QWidget* outputs = s.find("OutputFiles");
    const QRect over(outputs->mapTo(s.window.get(), QPoint(0, 0)), outputs->size());
    EXPECT_GT(pixelsOf(s.window->canvas(), outputs->geometry(), kBlue), 100);
    const QImage seen = s.window->grab(over).toImage();
    int blue = 0;
    for (int y = 0; y < seen.height(); ++y)
        for (int x = 0; x < seen.width(); ++x) {
            const QColor c = seen.pixelColor(x, y);
            blue += c.blue() > 180 && c.red() < 60 && c.green() < 60;
        }
    EXPECT_EQ(blue, 0);
    ErrorChartWindow* chart = s.window->chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->data().steps, 4);
    s.ui.answers.push_back(s.dir.file("chart.png"));
    chart->saveButton()->click();
    EXPECT_EQ(s.ui.dialogs.back().path, s.dir.file("vowels_error.png"));  // the name offered
    EXPECT_EQ(QImage(QString::fromStdString(s.dir.file("chart.png")))
                  .convertToFormat(QImage::Format_RGB32),
              renderErrorChart(chart->data(), kChartImageSize));
}

// Halt!, or the window closed, during a run: the program ends with the
// outputs closed whole up to the last coded event.
TEST(DesktopRun, HaltOrClosingDuringARunKeepsTheOutputsWhole) {
    for (bool halt : {true, false}) {
        Session s;
        s.readTree();
        s.ui.user = [&] {
            if (!s.runWaits()) return;
            if (s.program().run.stepCounter < 3) return s.click(Command::Next);
            if (halt)
                QTest::keyClick(s.window.get(), Qt::Key_H, Qt::ControlModifier);
            else
                s.window->close();
            EXPECT_TRUE(s.window->ended());
            EXPECT_FALSE(s.endedWith.has_value());  // not while the run's command is under way
        };
        s.readData1();  // returns: no exception went through Qt
        EXPECT_EQ(s.endedWith, 0);
        EXPECT_EQ(s.shell().statusCaption ==
                      "Program Canceled!; find results in " + s.dir.file("vowels_Teach.zrt"),
                  halt);
        EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 3u);
        EXPECT_EQ(s.window->chartWindow(), nullptr);  // the run did not finish
    }
}

}  // namespace
}  // namespace zortan::desktop::testing
