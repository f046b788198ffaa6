// The window's controls against the window model.
#include <QAction>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <filesystem>
#include <set>

#include "DesktopSession.h"

namespace zortan::desktop::testing {
namespace {

int redPixels(QWidget* w) {
    return countPixels(w->grab().toImage(), isRed);
}

// At start-up: the caption red, the controls as the model has them, the
// focus on "Read tree", the model's hints for seven seconds, the "Run" menu
// as the buttons, a disabled command's shortcut doing nothing.
TEST(DesktopWindow, StartUpStateAndHints) {
    Session s;
    EXPECT_EQ(s.text("StatusCaption"), "--------");
    EXPECT_GT(redPixels(s.find("StatusCaption")), 50);
    expectMirrorsTheModel(s);
    EXPECT_FALSE(s.find("TreeData")->isVisible() || s.find("RunProgress")->isVisible());
    EXPECT_EQ(s.window->focusWidget(), s.button(Command::ReadTree));
    // "Output files": 2 right of the signal area, 4 above its top.
    EXPECT_EQ(s.find("OutputFiles")->pos(), QPoint(233 + 140 + 2, 332 - 4));
    std::set<std::string> tips, hints;
    for (QWidget* w : s.window->findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty() || dynamic_cast<ElidedLabel*>(w)) continue;
        tips.insert(w->toolTip().toStdString());
        EXPECT_EQ(w->toolTipDuration(), 7000) << w->objectName().toStdString();
    }
    for (const auto& [control, hint] : s.window->form().hints())
        hints.insert(QString::fromStdString(hint).replace("\r\n", "\n").toStdString());
    EXPECT_EQ(tips, hints);
    for (Command c : {Command::Next, Command::StopContinue, Command::Break, Command::Halt}) {
        QAction* a = s.window->runAction(c);
        ASSERT_NE(a, nullptr);
        EXPECT_TRUE(a->text() == s.button(c)->text() && a->isEnabled() == s.button(c)->isEnabled());
    }
    QTest::keyClick(s.window.get(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_FALSE(s.shell().breakRequested);
}

// On a small screen the content scrolls; the large About box is the
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

// The edit, the boxes and the buttons go through the model and show its state.
TEST(DesktopWindow, ClustersEditCompareModeAndOutputChoicesGoThroughTheModel) {
    Session s;
    auto* edit = s.find<QLineEdit>("ClustersEdit");
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_FALSE(edit->isEnabled());
    // Red, its number in light text on the red.
    EXPECT_GT(redPixels(edit), edit->width() * edit->height() / 2);
    EXPECT_GT(countPixels(edit->grab().toImage(), [](QColor c) { return qGray(c.rgb()) > 200; }),
              5);
    s.box(Toggle::ClustersChangeable)->click();
    EXPECT_EQ(redPixels(edit), 0);
    // Typing: the tree of 32 clusters clamps 300 to 32, which is written back.
    s.readTree();
    edit->selectAll();
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(s.ui.messages.back(), "Not a numeric format!");
    EXPECT_EQ(s.text("ActualClusters"), "12");
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(edit->text(), "32");
    for (Toggle t : {Toggle::OutputRecogCodes, Toggle::CompareMode})
        s.box(t)->click(), expectMirrorsTheModel(s);
    EXPECT_EQ(s.button(Command::ReadTreeAndData)->height(), 86);  // down to "Read data_2"
    // "OK" hides the choices and shows the data groups.
    s.click(Command::OutputsOk);
    EXPECT_FALSE(s.find("OutputFiles")->isVisible());
    EXPECT_TRUE(s.find("TreeData")->isVisible() && s.find("InputDescription")->isVisible());
}

TEST(DesktopWindow, FileDialogsStartInTheFolderOfThePreselectedPath) {
    zortan::testing::TempDir dir;
    FileDialogRequest r;
    r.filters = {{"all files", "*.*"}, {"output file (vector's code)", "*.zrt"}};
    EXPECT_EQ(nameFilters(r),
              QStringList({"all files (*.*)", "output file (vector's code) (*.zrt)"}));
    r.path = dir.file("x_Teach.zrt");
    const std::string samples = dir.file("samples"), events = dir.file("events");
    std::filesystem::create_directories(samples);
    std::filesystem::create_directories(events);
    EXPECT_EQ(dialogStart(r, samples).folder.toStdString(), dir.path());
    EXPECT_EQ(dialogStart(r, samples).fileName, "x_Teach.zrt");
    // A Windows mask of an absent folder (a first start): the request's
    // start folder, else the samples, else the current folder; no file name.
    r.path = "C:\\wkd\\TRB\\Results\\*.vq*";
    EXPECT_EQ(dialogStart(r, samples).folder.toStdString(), samples);
    EXPECT_TRUE(dialogStart(r, samples).fileName.isEmpty());
    r.startFolder = events;
    EXPECT_EQ(dialogStart(r, samples).folder.toStdString(), events);
    r.startFolder = dir.file("gone");
    EXPECT_EQ(dialogStart(r, dir.file("gone too")).folder, QDir::currentPath());
}

}  // namespace
}  // namespace zortan::desktop::testing
