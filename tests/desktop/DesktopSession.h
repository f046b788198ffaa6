// The real window driven by a scripted user: dialogs are answered from the
// ScriptedUi's script, and `user` acts (clicks the window's controls)
// whenever the window processes its pending events.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/desktop/DesktopWindow.h"
#include "platform/Host.h"
#include "shell/InitFile.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan::desktop::testing {

using zortan::testing::readFileBytes;

inline const std::string kSamples = ZORTAN_SAMPLES_DIR;
inline const std::string kCentroidsTree = kSamples + "/vowels-cep16-centroids32.vq";
inline const std::string kAveragingTree = kSamples + "/vowels-cep16-cart8-avg10.vq";
inline const std::string kVowels = kSamples + "/vowels.fvs";
constexpr int kVowelEvents = 477;

class UserUi : public zortan::testing::ScriptedUi {
  public:
    std::function<void()> user;
    void processPendingEvents() override {
        ScriptedUi::processPendingEvents();
        if (user) user();
    }
};

struct Session {
    zortan::testing::TempDir dir;
    UserUi ui;
    std::unique_ptr<DesktopWindow> window;
    std::optional<int> endedWith;

    // Init.txt sends every output into the temporary folder.
    Session() {
        InitFileOptions o;
        o.initFilePath = dir.file("Init.txt");
        for (std::string* path :
             {&o.errorFileName, &o.codeFileName, &o.teachFileName, &o.teachCath1FileName,
              &o.teachCath2FileName, &o.teachCath3FileName, &o.recogFileName, &o.recogCath1FileName,
              &o.recogCath2FileName, &o.recogCath3FileName})
            *path = dir.file(extractFileName(*path));
        WriteInitFile(o);
        window = std::make_unique<DesktopWindow>(ui, dir.path());
        window->onEnd = [this](int status) { endedWith = status; };
        program().hibernate = [](bool, bool) { ADD_FAILURE() << "hibernated"; };
        program().clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        window->start();
        // Shortcuts reach only the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    ~Session() { EXPECT_TRUE(window->failures().empty()) << window->failures().front(); }

    Program& program() { return window->program(); }
    ShellState& shell() { return program().shell; }
    QtUi& port() { return window->port(); }
    QPushButton* button(Command c) { return window->button(c); }
    QCheckBox* box(Toggle t) { return window->box(t); }
    template <typename W = QWidget>
    W* find(const char* name) {
        W* w = window->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string text(const char* labelName) {
        return find<QLabel>(labelName)->text().toStdString();
    }

    void click(Command c) { button(c)->click(); }
    void readTree(const std::string& tree = kCentroidsTree) {
        ui.answers.push_back(tree);
        click(Command::ReadTree);
    }
    void readData(Command c, const std::string& events = kVowels) {
        ui.answers.push_back(events);
        click(c);
    }
    // The run waits for "Next" or "Continue".
    bool runWaits() { return shell().waiting && shell().controls.stopContinueEnabled; }
    std::string bytes(const std::string& name) { return readFileBytes(dir.file(name)); }
};

// Records in a combined output file after its certificate.
inline size_t outputRecords(const std::string& bytes) {
    constexpr size_t kCertificateRecords = 254, kRecord = 6;
    return bytes.size() / kRecord - kCertificateRecords;
}

}  // namespace zortan::desktop::testing
