// The window's controls against the window model: start-up, hints, the
// clusters edit, compare mode, output choices, the About box, the menus.
#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <set>

#include "DesktopSession.h"
#include "app/desktop/SettingsPages.h"

namespace zortan::desktop::testing {
namespace {

// Pixels of a widget's picture that are clearly red.
int redPixels(QWidget* w) {
    const QImage image = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    return n;
}

const std::array<Toggle, 10> kOutputs{Toggle::OutputTeachCombined, Toggle::OutputTeachCodes,
                                      Toggle::OutputTeachCath1,    Toggle::OutputTeachCath2,
                                      Toggle::OutputTeachCath3,    Toggle::OutputRecogCombined,
                                      Toggle::OutputRecogCodes,    Toggle::OutputRecogCath1,
                                      Toggle::OutputRecogCath2,    Toggle::OutputRecogCath3};

TEST(DesktopWindow, StartUpShowsTheModelsStartState) {
    Session s;
    EXPECT_EQ(s.window->width(), kWindowStartWidth);
    EXPECT_TRUE(s.ui.messages.empty());  // the scripted screen is 1680 by 1050
    EXPECT_EQ(s.text("StatusCaption"), "--------");
    EXPECT_GE(s.find<QLabel>("StatusCaption")->font().pixelSize(), 20);
    EXPECT_GT(redPixels(s.find("StatusCaption")), 50);
    // "256" clamped to the limit 1 before a tree; nine pictures fit.
    EXPECT_EQ(s.find<QLineEdit>("ClustersEdit")->text(), "1");
    EXPECT_EQ(s.text("ActualClusters"), "1");
    EXPECT_EQ(s.find<QLineEdit>("PicturesEdit")->text(), "9");

    for (Command c : {Command::ReadTree, Command::ReadData1, Command::ReadTreeAndData,
                      Command::Halt, Command::OutputsOk, Command::ReverseTeach})
        EXPECT_TRUE(s.button(c)->isEnabled()) << s.button(c)->objectName().toStdString();
    for (Command c : {Command::ReadData2, Command::StopContinue, Command::Break, Command::Next})
        EXPECT_FALSE(s.button(c)->isEnabled()) << s.button(c)->objectName().toStdString();
    EXPECT_EQ(s.button(Command::StopContinue)->text(), "Stop");
    EXPECT_TRUE(s.button(Command::ReadTreeAndData)->text().isEmpty());
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 56);

    EXPECT_FALSE(s.find("TreeData")->isVisible());
    EXPECT_FALSE(s.find("InputDescription")->isVisible());
    EXPECT_FALSE(s.find("SettingsPages")->isVisible());
    EXPECT_FALSE(s.find("AboutBox")->isVisible());
    EXPECT_FALSE(s.find("FeatureLegend")->isVisible());
    EXPECT_FALSE(s.find("RunProgress")->isVisible());
    // "Output files": 2 right of the signal area, 4 above its top.
    QWidget* outputs = s.find("OutputFiles");
    EXPECT_TRUE(outputs->isVisible());
    EXPECT_EQ(outputs->pos(), QPoint(233 + 140 + 2, 332 - 4));
    EXPECT_EQ(s.text("WarningLine"),
              "Be sure, that the coded events features were prepared exactly in the same way as "
              "in  a training  sample ! !");

    EXPECT_EQ(s.box(Toggle::OutputTeachCombined)->text(), "*_teach.zrt\"");
    EXPECT_EQ(s.box(Toggle::OutputRecogCath3)->text(), "*_recog_cath3.txt");
    for (Toggle t : kOutputs) EXPECT_EQ(s.box(t)->isChecked(), t == Toggle::OutputTeachCombined);
    EXPECT_TRUE(s.box(Toggle::StepwiseProceeding)->isChecked());
    EXPECT_TRUE(s.box(Toggle::ShowInputRecords)->isChecked());
    EXPECT_FALSE(s.find("StretchSlider")->isVisible());
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadTree));
}

TEST(DesktopWindow, EveryHintOfTheModelIsShownForSevenSeconds) {
    Session s;
    std::set<std::string> tips;
    for (QWidget* w : s.window->findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty()) continue;
        EXPECT_EQ(w->toolTipDuration(), 7000) << w->objectName().toStdString();
        tips.insert(w->toolTip().toStdString());
    }
    for (const auto& [control, hint] : s.window->form().hints()) {
        QString expected = QString::fromStdString(hint).replace("\r\n", "\n");
        const bool shown = std::any_of(tips.begin(), tips.end(), [&](const std::string& tip) {
            return QString::fromStdString(tip).startsWith(expected);
        });
        EXPECT_TRUE(shown) << control;
    }
    EXPECT_EQ(s.button(Command::ReadTree)->toolTip(),
              "Based on the training data analysis.\nMy data");
    // The run buttons' hints name their shortcuts, and the shortcuts are set.
    EXPECT_EQ(s.button(Command::Next)->toolTip(),
              "Works when \"Stepwise proceeding\" is checked\nShortcut: N");
    EXPECT_EQ(s.button(Command::Break)->toolTip(),
              "After then click \"Stop\" or \"Next\" if enabled\nShortcut: B");
    EXPECT_EQ(s.button(Command::StopContinue)->toolTip(), "Shortcut: S");
    EXPECT_EQ(s.button(Command::Halt)->toolTip(), "Shortcut: Ctrl+H");
    // A shortcut of a disabled control does nothing.
    QTest::keyClick(s.window.get(), Qt::Key_B);
    EXPECT_FALSE(s.shell().breakRequested);
    EXPECT_TRUE(s.find("StretchSlider")
                    ->toolTip()
                    .startsWith("Note. The vertical stright line on drawings shows the events "
                                "vectors components number\nalready not taken"));
}

TEST(DesktopWindow, ClustersEditTurnsRedWhenLockedAndTypingIsValidated) {
    Session s;
    auto* edit = s.find<QLineEdit>("ClustersEdit");
    EXPECT_EQ(redPixels(edit), 0);
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_FALSE(s.box(Toggle::ClustersChangeable)->isChecked());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_GT(redPixels(edit), edit->width() * edit->height() / 2);
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_EQ(s.ui.messages.back(), "Do not change centroids number during processing!!!");
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(redPixels(edit), 0);

    // Typing goes through the model: "12a" is not a number, and the tree of
    // one cluster clamps 12 to 1, which is written back.
    s.readTree();
    edit->selectAll();
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(s.ui.messages.back(), "Not a numeric format!");
    EXPECT_EQ(s.shell().clustersNb, 12);
    EXPECT_EQ(s.text("ActualClusters"), "12");
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(edit->text(), "32");
    EXPECT_EQ(s.shell().clustersNb, 32);

    // Pictures per row: the fitting count limits the value, the edit keeps the text.
    auto* pictures = s.find<QLineEdit>("PicturesEdit");
    pictures->selectAll();
    QTest::keyClicks(pictures, "20");
    EXPECT_EQ(s.shell().picturesPerRow, 9);
    EXPECT_EQ(pictures->text(), "20");

    // "Stretch cepstra" shows the slider; moving it changes the drawn components.
    s.box(Toggle::StretchCepstra)->click();
    auto* slider = s.find<QSlider>("StretchSlider");
    EXPECT_TRUE(slider->isVisible());
    EXPECT_EQ(slider->value(), 10);
    EXPECT_EQ(s.shell().drawnComponents, 16);
    slider->setValue(5);
    EXPECT_EQ(s.shell().drawnComponents, 24);
}

TEST(DesktopWindow, CompareModeAndReverseCheckingSwitchTheOutputChoices) {
    Session s;
    s.box(Toggle::OutputRecogCodes)->click();
    s.box(Toggle::CompareMode)->click();
    EXPECT_EQ(s.ui.messages.back(), "For the comparing mode no teaching file will be created.");
    for (Toggle t : kOutputs) {
        EXPECT_FALSE(s.box(t)->isChecked());
        EXPECT_FALSE(s.box(t)->isEnabled());
    }
    EXPECT_FALSE(s.button(Command::ReverseTeach)->isEnabled());
    EXPECT_FALSE(s.button(Command::ReverseRecog)->isEnabled());
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 86);  // down to "Read data_2"
    EXPECT_FALSE(s.button(Command::ReadData2)->isEnabled());      // enabled by "Read data_1"

    s.box(Toggle::CompareMode)->click();
    for (Toggle t : kOutputs) {
        EXPECT_EQ(s.box(t)->isChecked(), t == Toggle::OutputTeachCombined);
        EXPECT_TRUE(s.box(t)->isEnabled());
    }
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 56);

    // Reverse checking inverts its own group only; twice restores it.
    s.box(Toggle::OutputTeachCath2)->click();
    const auto states = [&] {
        std::string bits;
        for (Toggle t : kOutputs) bits += s.box(t)->isChecked() ? '1' : '0';
        return bits;
    };
    EXPECT_EQ(states(), "1001000000");
    s.click(Command::ReverseTeach);
    EXPECT_EQ(states(), "0110100000");
    s.click(Command::ReverseRecog);
    EXPECT_EQ(states(), "0110111111");
    s.click(Command::ReverseTeach);
    s.click(Command::ReverseRecog);
    EXPECT_EQ(states(), "1001000000");

    // "Options" toggles the group; "OK" hides it and shows the data groups.
    QAction* options = s.find<QAction>("OptionsAction");
    options->trigger();
    EXPECT_FALSE(s.find("OutputFiles")->isVisible());
    options->trigger();
    EXPECT_TRUE(s.find("OutputFiles")->isVisible());
    s.click(Command::OutputsOk);
    EXPECT_FALSE(s.find("OutputFiles")->isVisible());
    EXPECT_TRUE(s.find("TreeData")->isVisible());
    EXPECT_TRUE(s.find("InputDescription")->isVisible());
    EXPECT_FALSE(s.button(Command::ReverseTeach)->isVisible());
}

TEST(DesktopWindow, AboutBoxTogglesItsSizeOnClickAndClosesOnDoubleClickOrOk) {
    Session s;
    s.find<QAction>("AboutAction")->trigger();
    QWidget* about = s.find("AboutBox");
    auto* text = s.find<QPlainTextEdit>("AboutText");
    ASSERT_TRUE(about->isVisible());
    const QRect outputs = s.find("OutputFiles")->geometry();
    const QRect small(outputs.right() + 1 + 10, 0, 340, 766);
    EXPECT_EQ(about->geometry(), small);
    EXPECT_EQ(text->geometry(), QRect(10, 10, 320, 746));
    EXPECT_TRUE(text->toPlainText().startsWith(">>>>>>"));
    EXPECT_TRUE(text->toPlainText().contains("\nVersion: 2.a.\n"));
    EXPECT_TRUE(text->toPlainText().contains("TOutputRecord"));
    EXPECT_TRUE(text->isReadOnly());

    const QSize view = s.window->centralWidget()->size();
    QTest::mouseClick(text->viewport(), Qt::LeftButton);
    EXPECT_EQ(about->geometry(), QRect(0, 0, view.width() - 20, view.height() - 20));
    QWidget* ok = s.find("AboutOk");
    // "OK" 20 inside the text's lower right corner.
    EXPECT_EQ(ok->geometry().bottomRight() + QPoint(20, 20), text->geometry().bottomRight());
    QTest::mouseClick(about, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(about->geometry(), small);
    QTest::mouseDClick(text->viewport(), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());

    s.find<QAction>("AboutAction")->trigger();
    EXPECT_EQ(about->geometry(), small);  // it opens small again
    static_cast<QPushButton*>(ok)->click();
    EXPECT_FALSE(about->isVisible());
}

TEST(DesktopWindow, HaltBeforeAnyRunAndClosingTheWindowEndTheProgram) {
    {
        Session s;
        s.click(Command::Halt);
        ASSERT_EQ(s.endedWith, 0);
        EXPECT_TRUE(s.window->ended());
        ASSERT_GE(s.ui.messages.size(), 2u);
        EXPECT_EQ(s.ui.messages[0],
                  "Program finished.\r\nDue to your choice teach results were not saved...");
        EXPECT_TRUE(s.shell().statusCaption.starts_with("Program Canceled!; find results in "));
        s.click(Command::ReadTree);  // nothing runs after the end
        EXPECT_TRUE(s.ui.dialogs.empty());
    }
    {
        Session s;
        s.window->close();
        EXPECT_EQ(s.endedWith, 0);
        EXPECT_TRUE(s.ui.messages.empty());  // no closing steps
    }
}

TEST(DesktopWindow, FileDialogsStartInTheFolderOfThePreselectedPath) {
    zortan::testing::TempDir dir;
    FileDialogRequest r;
    r.filters = {{"all files", "*.*"}, {"output file (vector's code)", "*.zrt"}};
    EXPECT_EQ(nameFilters(r),
              QStringList({"all files (*.*)", "output file (vector's code) (*.zrt)"}));
    r.path = dir.file("x_Teach.zrt");
    DialogStart start = dialogStart(r);
    EXPECT_EQ(start.folder.toStdString(), dir.path());
    EXPECT_EQ(start.fileName, "x_Teach.zrt");
    // A Windows mask of an absent folder: the current folder, no file name.
    r.path = "C:\\wkd\\TRB\\Results\\*.vq*";
    start = dialogStart(r);
    EXPECT_EQ(start.folder, QDir::currentPath());
    EXPECT_TRUE(start.fileName.isEmpty());
}

}  // namespace
}  // namespace zortan::desktop::testing
