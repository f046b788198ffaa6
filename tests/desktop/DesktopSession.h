// The real window driven by a scripted user, who answers dialogs and
// clicks the controls from inside a run.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "app/desktop/DesktopWindow.h"
#include "support/Session.h"

namespace zortan::desktop::testing {

inline const std::string kCentroidsTree = ZORTAN_SAMPLES_DIR "/vowels-cep16-centroids32.vq";
inline const std::string kVowels = ZORTAN_SAMPLES_DIR "/vowels.fvs";

// The window started in the workspace's folder on a screen of `screen`.
struct Session : zortan::testing::Workspace {
    std::unique_ptr<DesktopWindow> window = std::make_unique<DesktopWindow>(ui, dir.path());
    std::optional<int> endedWith;

    explicit Session(QSize screen = QSize(1680, 1010)) {
        window->onEnd = [this](int status) { endedWith = status; };
        window->availableScreen = [screen] { return screen; };
        standIn(program());
        window->start();
        program().options.teachFileName = dir.file("x_Teach.zrt");
        // Shortcuts reach only the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    ~Session() { EXPECT_TRUE(window->failures().empty()) << window->failures().front(); }

    Program& program() { return window->program(); }
    ShellState& shell() { return program().shell; }
    QPushButton* button(Command c) { return window->button(c); }
    QCheckBox* box(Toggle t) { return window->box(t); }
    template <typename W = QWidget>
    W* find(const char* name) {
        W* w = window->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string text(const char* label) { return find<QLabel>(label)->text().toStdString(); }
    void click(Command c) { button(c)->click(); }
    void readTree() {
        ui.answers.push_back(kCentroidsTree);
        click(Command::ReadTree);
    }
    void readData1() {
        ui.answers.push_back(kVowels);
        click(Command::ReadData1);
    }
    // The run waits for "Next" or "Continue".
    bool runWaits() { return shell().waiting && shell().controls.stopContinueEnabled; }
};

// Every button and box is enabled and ticked as the model has it.
inline void expectMirrorsTheModel(Session& s) {
    const TForm1& f = s.window->form();
    for (int c = 0; c <= static_cast<int>(Command::ReverseRecog); ++c) {
        const QPushButton* b = s.button(static_cast<Command>(c));
        EXPECT_TRUE(!b || b->isEnabled() == f.enabled(static_cast<Command>(c))) << c;
    }
    for (int t = 0; t <= static_cast<int>(Toggle::OutputRecogCath3); ++t) {
        QCheckBox* b = s.box(static_cast<Toggle>(t));
        EXPECT_EQ(b->isEnabled(), f.enabled(static_cast<Toggle>(t))) << t;
        EXPECT_EQ(b->isChecked(), f.toggleValue(static_cast<Toggle>(t))) << t;
    }
}

// Pixels of the image, in `r` when given, for which `is` holds.
inline int countPixels(const QImage& image, const std::function<bool(QColor)>& is, QRect r = {}) {
    if (r.isNull()) r = image.rect();
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += is(image.pixelColor(x, y));
    return n;
}
inline int pixelsOf(const ImageCanvas& c, const QRect& r, Colour colour) {
    return countPixels(
        c.image(), [colour](QColor q) { return fromQColor(q) == colour; }, r);
}
inline bool isRed(QColor c) {
    return c.red() > 200 && c.green() < 80 && c.blue() < 80;
}

}  // namespace zortan::desktop::testing
