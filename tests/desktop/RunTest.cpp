// Coding runs driven through the window, the user clicking from inside the run.
#include <QAction>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "DesktopSession.h"

namespace zortan::desktop::testing {
namespace {

TEST(DesktopRun, StepwiseRunWithNextShowsItsStateDrawsThePicturesAndChartsTheErrors) {
    Session s;
    s.readTree();
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadData1));
    // The two-line caption is shown whole, still large.
    auto* caption = s.find<QLabel>("StatusCaption");
    EXPECT_TRUE(caption->text().contains('\n'));
    EXPECT_GE(caption->font().pixelSize(), 16);
    EXPECT_TRUE(caption->rect().contains(
        caption->fontMetrics().boundingRect(caption->rect(), Qt::AlignLeft, caption->text())));
    int nexts = 0;
    s.ui.user = [&] {
        if (!s.runWaits()) return;
        if (s.program().run.stepCounter == 1) {
            expectMirrorsTheModel(s);
            EXPECT_FALSE(s.find("ClustersEdit")->isEnabled() || s.find("OutputFiles")->isVisible());
            EXPECT_TRUE(
                s.text("RunProgressText").starts_with("Events done: 1, to do: 476, time left: "));
            // The first event in the first column, on the first row's white.
            EXPECT_GT(pixelsOf(s.window->canvas(), QRect(234, 333, 138, 53), kWhite), 3000);
        }
        // Event 9 began the second row, on light green; the rest goes without.
        if (s.program().run.stepCounter == 10) {
            EXPECT_GT(pixelsOf(s.window->canvas(), QRect(234, 333, 138, 53), kLightGreen), 3000);
            s.box(Toggle::ShowInputRecords)->click();
        }
        // The first few by the shortcut, wherever the focus, after a box closed.
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
    EXPECT_FALSE(s.find("RunProgress")->isVisible());
    EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 477u);
    // The chart shows the error file's table.
    ASSERT_NE(s.window->chartWindow(), nullptr);
    const ErrorChartData& d = s.window->chartWindow()->data();
    ASSERT_EQ(d.lines.size(), 3u);
    for (int k : {1, 32}) {
        char row[64];
        std::snprintf(row, sizeof row, "\r\n%8d %7.3f %7.3f %7.3f\r\n", k,
                      d.lines[0].percent[k - 1], d.lines[1].percent[k - 1],
                      d.lines[2].percent[k - 1]);
        EXPECT_NE(s.bytes("vowels_error.txt").find(row), std::string::npos) << row;
    }

    // Reading the tree again brings the settings pages' first page to the front.
    auto* pages = s.find<QTabWidget>("SettingsPages");
    EXPECT_EQ(pages->currentIndex(), 1);  // "Input1", where the run turned
    pages->setCurrentIndex(3);
    s.readTree();
    EXPECT_TRUE(pages->isVisible());
    EXPECT_EQ(pages->currentIndex(), 0);
}

// A free run: "Stop" pauses it, the window sleeping until "Continue". Break
// (No, then Yes) unticks hibernation; pictures and chart are saved as PNG.
TEST(DesktopRun, FreeRunStopContinueAndBreakThenPicturesAndChartSavedAsPng) {
    Session s;
    s.box(Toggle::StepwiseProceeding)->click();
    s.box(Toggle::ShowInputRecords)->click();  // on again after "Continue"
    s.box(Toggle::HibernateOnFinish)->click();
    s.readTree();
    std::vector<std::string> captions;
    int idle = 0;
    s.ui.user = [&] {
        const ShellState& sh = s.shell();
        const int64_t done = s.program().run.stepCounter;
        if (!sh.controls.stopContinueEnabled) return;
        if (done == 100 && !sh.waiting && captions.empty()) {
            s.click(Command::StopContinue);
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        } else if (sh.waiting && ++idle == 3) {
            EXPECT_EQ(done, 101);
            QTest::keyClick(s.window.get(), Qt::Key_F5);  // "Continue" by its shortcut
            captions.push_back(s.button(Command::StopContinue)->text().toStdString());
        } else if (done == 120 && !sh.showInputRecords) {
            s.box(Toggle::ShowInputRecords)->click();
        } else if ((done == 150 || done == 200) && !sh.breakRequested) {
            s.click(Command::Break);
            EXPECT_FALSE(s.box(Toggle::HibernateOnFinish)->isChecked());
        }
    };
    s.ui.answers = {kVowels, "no", "yes"};
    s.click(Command::ReadData1);
    s.ui.user = nullptr;
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue", "Stop"}));
    EXPECT_GE(s.window->port().sleeps(), 1u);
    EXPECT_EQ(s.hibernations, 0);
    EXPECT_EQ(s.records("vowels_Teach.zrt").size(), 201u);        // with the event under way
    EXPECT_TRUE(s.box(Toggle::StepwiseProceeding)->isChecked());  // ticked again at the end

    // The pictures as seen: cropped to those drawn, legend labels to the left.
    s.ui.answers.push_back(s.dir.file("pictures.png"));
    s.find<QAction>("SavePicturesAction")->trigger();
    const QImage saved = QImage(QString::fromStdString(s.dir.file("pictures.png")))
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(saved, s.window->picturesImage());
    const QRect legend = s.find("TotalErrorLegend")->geometry();
    const QRect drawn = s.window->canvas().drawnBounds();
    EXPECT_EQ(saved.width(), drawn.right() + 1 - legend.left());
    EXPECT_EQ(saved.height(), std::max(drawn.bottom(), legend.bottom()) + 1 - drawn.top());
    EXPECT_GT(countPixels(
                  saved, [](QColor c) { return qGray(c.rgb()) < 80; },
                  legend.translated(-legend.left(), -drawn.top()) & saved.rect()),
              10);

    // "Output files" shown over the pictures hides them.
    s.window->form().click(Command::Options);
    s.window->refresh();
    QWidget* outputs = s.find("OutputFiles");
    EXPECT_GT(pixelsOf(s.window->canvas(), outputs->geometry(), kBlue), 100);
    const QImage seen =
        s.window->grab(QRect(outputs->mapTo(s.window.get(), QPoint(0, 0)), outputs->size()))
            .toImage();
    EXPECT_EQ(countPixels(
                  seen, [](QColor c) { return c.blue() > 180 && c.red() < 60 && c.green() < 60; }),
              0);
    ErrorChartWindow* chart = s.window->chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->data().steps, 201);
    s.ui.answers.push_back(s.dir.file("chart.png"));
    chart->saveButton()->click();
    EXPECT_EQ(s.ui.dialogs.back().path, s.dir.file("vowels_error.png"));  // the name offered
    EXPECT_EQ(QImage(QString::fromStdString(s.dir.file("chart.png")))
                  .convertToFormat(QImage::Format_RGB32),
              renderErrorChart(chart->data(), kChartImageSize));
}

// Halt!, or the window closed, ends the program, a run's outputs closed
// whole. Nothing runs after the end.
TEST(DesktopRun, HaltOrClosingDuringARunKeepsTheOutputsWhole) {
    for (bool halt : {true, false}) {
        {  // Before any run: only Halt! shows its closing messages.
            Session s;
            halt ? s.click(Command::Halt) : (void)s.window->close();
            EXPECT_EQ(s.endedWith, 0);
            EXPECT_EQ(s.ui.messages.size(), halt ? 2u : 0u);
            s.click(Command::ReadTree);
            EXPECT_TRUE(s.ui.dialogs.empty());
        }
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
