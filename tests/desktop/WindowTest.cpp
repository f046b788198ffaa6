// The window's controls against the window model: start-up, hints, the
// clusters edit, compare mode, output choices, ending.
#include <QAction>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <set>

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

TEST(DesktopWindow, StartUpStateAndHints) {
    Session s;
    EXPECT_TRUE(s.ui.messages.empty());
    EXPECT_EQ(s.text("StatusCaption"), "--------");
    EXPECT_GT(redPixels(s.find("StatusCaption")), 50);
    EXPECT_EQ(s.find<QLineEdit>("ClustersEdit")->text(), "1");  // 256 clamped before a tree
    expectMirrorsTheModel(s);
    EXPECT_FALSE(s.find("TreeData")->isVisible() || s.find("RunProgress")->isVisible());
    // "Output files": 2 right of the signal area, 4 above its top.
    EXPECT_EQ(s.find("OutputFiles")->pos(), QPoint(233 + 140 + 2, 332 - 4));
    EXPECT_EQ(s.box(Toggle::OutputRecogCath3)->text(), "*_recog_cath3.txt");
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadTree));
    // The hints shown are the model's, each whole, for seven seconds.
    std::set<std::string> tips, hints;
    for (QWidget* w : s.window->findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty() || dynamic_cast<ElidedLabel*>(w)) continue;
        tips.insert(w->toolTip().toStdString());
        EXPECT_EQ(w->toolTipDuration(), 7000) << w->objectName().toStdString();
    }
    for (const auto& [control, hint] : s.window->form().hints())
        hints.insert(QString::fromStdString(hint).replace("\r\n", "\n").toStdString());
    EXPECT_EQ(tips, hints);
    EXPECT_EQ(s.button(Command::Break)->toolTip(),
              "After then click \"Stop\" or \"Next\" if enabled");
    // The "Run" menu shows the shortcuts and is enabled as the buttons are;
    // a disabled command's shortcut does nothing.
    for (const auto& [c, keys] : {std::pair{Command::Next, "F10"},
                                  {Command::StopContinue, "F5"},
                                  {Command::Break, "Shift+F5"},
                                  {Command::Halt, "Ctrl+H"}}) {
        QAction* a = s.window->runAction(c);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(keys)));
        EXPECT_EQ(a->text(), s.button(c)->text());
        EXPECT_EQ(a->isEnabled(), s.button(c)->isEnabled());
    }
    QTest::keyClick(s.window.get(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_FALSE(s.shell().breakRequested);
}

// On a screen smaller than the content, the window fits and the content
// scrolls: every control lies in the content. The large About box is the
// window's size less 20; long paths are elided in the middle.
TEST(DesktopWindow, SmallScreenScrollsLargeAboutAndElidedPaths) {
    Session s(QSize(1280, 760));
    EXPECT_TRUE(s.window->width() <= 1280 && s.window->height() <= 760);
    QWidget* content = s.find("Content");
    EXPECT_GT(content->width(), s.find<QScrollArea>("ContentScroll")->viewport()->width());
    for (QPushButton* b : content->findChildren<QPushButton*>())
        EXPECT_TRUE(content->rect().contains(QRect(b->mapTo(content, QPoint(0, 0)), b->size())))
            << b->objectName().toStdString();
    s.find<QScrollArea>("ContentScroll")->horizontalScrollBar()->setValue(300);

    s.window->form().click(Command::About);
    s.window->form().clickAbout();
    s.window->refresh();
    EXPECT_EQ(s.find("AboutBox")->geometry(),
              QRect(0, 0, s.window->width() - 20, s.window->height() - 20));
    s.window->form().clickAbout();
    s.window->refresh();
    // Small, it scrolls with "Output files", 10 right of it.
    QWidget* outputs = s.find("OutputFiles");
    EXPECT_EQ(s.find("AboutBox")->x(),
              outputs->mapTo(s.window.get(), QPoint(0, 0)).x() + outputs->width() + 10);

    const std::string path = "/data/" + std::string(200, 'x') + "/recording.fvs";
    s.program().data1.eventsFileCaption = path;
    s.shell().controls.inputDescriptionVisible = true;
    s.window->refresh();
    auto* field = s.find<QLabel>("Data1Field0");
    EXPECT_TRUE(field->text().startsWith("/data/") && field->text().endsWith("recording.fvs") &&
                field->text().contains(QChar(0x2026)));
    EXPECT_EQ(field->toolTip().toStdString(), path);
}

TEST(DesktopWindow, ClustersEditCompareModeAndOutputChoicesGoThroughTheModel) {
    Session s;
    auto* edit = s.find<QLineEdit>("ClustersEdit");
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_GT(redPixels(edit), edit->width() * edit->height() / 2);
    // Its number in light text on the red.
    const QImage shown = edit->grab().toImage();
    int light = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) light += qGray(shown.pixel(x, y)) > 200;
    EXPECT_GT(light, 5);
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_EQ(s.ui.messages.back(), "Do not change centroids number during processing!!!");
    EXPECT_EQ(redPixels(edit), 0);
    // Typing: "12a" is not a number, and the tree of 32 clusters clamps 300
    // to 32, which is written back.
    s.readTree();
    edit->selectAll();
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(s.ui.messages.back(), "Not a numeric format!");
    EXPECT_EQ(s.text("ActualClusters"), "12");
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(edit->text(), "32");
    // The boxes and buttons follow each click.
    for (Toggle t : {Toggle::OutputRecogCodes, Toggle::CompareMode})
        s.box(t)->click(), expectMirrorsTheModel(s);
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 86);  // down to "Read data_2"
    s.box(Toggle::CompareMode)->click();
    for (Command c : {Command::ReverseTeach, Command::ReverseRecog})
        s.click(c), expectMirrorsTheModel(s);
    EXPECT_TRUE(s.shell().outputRecogCath3 && !s.shell().outputTeachCombined);
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
