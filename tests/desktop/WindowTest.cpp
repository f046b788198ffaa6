// The window's controls against the window model: start-up, hints, the
// clusters edit, compare mode, output choices, ending.
#include <QAction>
#include <QLineEdit>

#include "DesktopSession.h"

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
std::string outputStates(Session& s) {
    std::string bits;
    for (Toggle t : kOutputs)
        bits += s.box(t)->isChecked() ? '1' : s.box(t)->isEnabled() ? '0' : '-';
    return bits;
}

TEST(DesktopWindow, StartUpStateAndHints) {
    Session s;
    EXPECT_TRUE(s.ui.messages.empty());
    EXPECT_EQ(s.text("StatusCaption"), "--------");
    EXPECT_GT(redPixels(s.find("StatusCaption")), 50);
    EXPECT_EQ(s.find<QLineEdit>("ClustersEdit")->text(), "1");  // 256 clamped before a tree
    for (Command c : {Command::ReadTree, Command::ReadData1, Command::Halt, Command::ReverseTeach})
        EXPECT_TRUE(s.button(c)->isEnabled()) << s.button(c)->objectName().toStdString();
    for (Command c : {Command::ReadData2, Command::StopContinue, Command::Break, Command::Next})
        EXPECT_FALSE(s.button(c)->isEnabled()) << s.button(c)->objectName().toStdString();
    EXPECT_FALSE(s.find("TreeData")->isVisible() || s.find("RunProgress")->isVisible());
    // "Output files": 2 right of the signal area, 4 above its top.
    EXPECT_EQ(s.find("OutputFiles")->pos(), QPoint(233 + 140 + 2, 332 - 4));
    EXPECT_EQ(outputStates(s), "1000000000");
    EXPECT_EQ(s.box(Toggle::OutputRecogCath3)->text(), "*_recog_cath3.txt");
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadTree));
    // Every hint of the model is shown, for seven seconds; the run buttons'
    // hints name their shortcuts, and a disabled control's shortcut does nothing.
    std::vector<QString> tips;
    for (QWidget* w : s.window->findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty()) continue;
        tips.push_back(w->toolTip());
        EXPECT_EQ(w->toolTipDuration(), 7000) << w->objectName().toStdString();
    }
    for (const auto& [control, hint] : s.window->form().hints())
        EXPECT_TRUE(std::any_of(tips.begin(), tips.end(), [&](const QString& tip) {
            return tip.startsWith(QString::fromStdString(hint).replace("\r\n", "\n"));
        })) << control;
    EXPECT_EQ(s.button(Command::Break)->toolTip(),
              "After then click \"Stop\" or \"Next\" if enabled\nShortcut: B");
    EXPECT_EQ(s.button(Command::Halt)->toolTip(), "Shortcut: Ctrl+H");
    QTest::keyClick(s.window.get(), Qt::Key_B);
    EXPECT_FALSE(s.shell().breakRequested);
}

TEST(DesktopWindow, ClustersEditStretchAndOutputChoices) {
    Session s;
    auto* edit = s.find<QLineEdit>("ClustersEdit");
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_GT(redPixels(edit), edit->width() * edit->height() / 2);
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_EQ(s.ui.messages.back(), "Do not change centroids number during processing!!!");
    EXPECT_EQ(redPixels(edit), 0);
    // Typing goes through the model: "12a" is not a number, and the tree of
    // 32 clusters clamps 300 to 32, which is written back.
    s.readTree();
    edit->selectAll();
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(s.ui.messages.back(), "Not a numeric format!");
    EXPECT_EQ(s.text("ActualClusters"), "12");
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(edit->text(), "32");
    // Compare mode unticks and locks the outputs; reverse checking inverts
    // its own group only.
    s.box(Toggle::OutputRecogCodes)->click();
    s.box(Toggle::CompareMode)->click();
    EXPECT_EQ(s.ui.messages.back(), "For the comparing mode no teaching file will be created.");
    EXPECT_EQ(outputStates(s), "----------");
    EXPECT_FALSE(s.button(Command::ReverseTeach)->isEnabled());
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 86);  // down to "Read data_2"
    s.box(Toggle::CompareMode)->click();
    EXPECT_EQ(outputStates(s), "1000000000");
    s.box(Toggle::OutputTeachCath2)->click();
    s.click(Command::ReverseTeach);
    s.click(Command::ReverseRecog);
    EXPECT_EQ(outputStates(s), "0110111111");
    // "OK" hides the choices and shows the data groups.
    s.click(Command::OutputsOk);
    EXPECT_FALSE(s.find("OutputFiles")->isVisible());
    EXPECT_TRUE(s.find("TreeData")->isVisible() && s.find("InputDescription")->isVisible());
}

TEST(DesktopWindow, HaltBeforeAnyRunAndClosingEndTheProgram) {
    Session s;
    s.click(Command::Halt);
    ASSERT_EQ(s.endedWith, 0);
    ASSERT_GE(s.ui.messages.size(), 2u);
    EXPECT_EQ(s.ui.messages[0],
              "Program finished.\r\nDue to your choice teach results were not saved...");
    s.click(Command::ReadTree);  // nothing runs after the end
    EXPECT_TRUE(s.ui.dialogs.empty());
    Session closed;
    closed.window->close();
    EXPECT_EQ(closed.endedWith, 0);
    EXPECT_TRUE(closed.ui.messages.empty());  // no closing steps
}

TEST(DesktopWindow, FileDialogsStartInTheFolderOfThePreselectedPath) {
    zortan::testing::TempDir dir;
    FileDialogRequest r;
    r.filters = {{"all files", "*.*"}, {"output file (vector's code)", "*.zrt"}};
    EXPECT_EQ(nameFilters(r),
              QStringList({"all files (*.*)", "output file (vector's code) (*.zrt)"}));
    r.path = dir.file("x_Teach.zrt");
    EXPECT_EQ(dialogStart(r).folder.toStdString(), dir.path());
    EXPECT_EQ(dialogStart(r).fileName, "x_Teach.zrt");
    // A Windows mask of an absent folder: the current folder, no file name.
    r.path = "C:\\wkd\\TRB\\Results\\*.vq*";
    EXPECT_EQ(dialogStart(r).folder, QDir::currentPath());
    EXPECT_TRUE(dialogStart(r).fileName.isEmpty());
}

}  // namespace
}  // namespace zortan::desktop::testing
