// The Ui port on Qt. `QtDialogs` is the user's side: message boxes,
// questions, file dialogs, the beep and the screen size. `QtUi` is what the
// program talks to: it hands those to a user-side Ui (QtDialogs, or a
// scripted one in tests) and processes the window's pending events itself.
#pragma once

#include <QString>
#include <QTimer>
#include <cstdint>
#include <string>

#include "window/Ui.h"

class QWidget;

namespace zortan::desktop {

// Texts of the program (single-byte, CR LF line breaks) for Qt, and back.
QString toQString(const std::string& text);
std::string fromQString(const QString& text);
// A file system path chosen in a dialog, in the file system's encoding.
std::string pathFromQString(const QString& path);

// The name filters of a file dialog ("name (pattern)"), in the request's order.
QStringList nameFilters(const FileDialogRequest& request);
// Where a file dialog opens: the first that exists of the folder of the
// preselected path, the request's start folder and `firstFolder` (else the
// current folder), and the file name unless it is a mask.
struct DialogStart {
    QString folder;
    QString fileName;
};
DialogStart dialogStart(const FileDialogRequest& request, const std::string& firstFolder);

class QtDialogs : public Ui {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // Where dialogs start that have no folder of their own yet (the first
    // start's options name folders of another machine): the samples.
    void setFirstFolder(const std::string& folder) { firstFolder_ = folder; }

    void showMessage(const std::string& text) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text, const std::string& title) override;
    Answer askYesNoCancel(const std::string& text, const std::string& title) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    // The window processes its events itself.
    void processPendingEvents() override {}
    void beep() override;
    ScreenSize screenSize() override;

  private:
    std::optional<std::string> fileDialog(const FileDialogRequest& request, bool save);
    QWidget* parent_;
    std::string firstFolder_;
};

// What the port needs to know of the window.
class PortWindow {
  public:
    virtual ~PortWindow() = default;
    // The run only waits for the user ("Next", "Continue", a feature kind).
    virtual bool onlyWaiting() const = 0;
    // Primitives drawn so far on the pictures.
    virtual uint64_t drawCount() const = 0;
    // Before pending events are processed: progress and a refresh when due.
    virtual void beforePendingEvents() = 0;
    // Before a box or dialog opens: the window shows the current state.
    virtual void beforeDialog() = 0;
    // After it has closed: the main window is active again.
    virtual void afterDialog() = 0;
    virtual void statusCaptionChanged() = 0;
    // A nested command ended the program; the exit status.
    virtual std::optional<int> endRequested() const = 0;
};

class QtUi : public Ui {
  public:
    QtUi(Ui& user, PortWindow& window);

    void showMessage(const std::string& text) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text, const std::string& title) override;
    Answer askYesNoCancel(const std::string& text, const std::string& title) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    // Processes what is pending. While the run only waits, it sleeps until
    // the next window event instead of spinning (at most kWakeMs at a time).
    // Raises ProgramEnd when a nested command ended the program.
    void processPendingEvents() override;
    void beep() override { user_.beep(); }
    ScreenSize screenSize() override { return user_.screenSize(); }
    void statusCaptionChanged(const std::string& caption) override;

    Ui& user() { return user_; }
    // How often the port has slept waiting for an event.
    uint64_t sleeps() const { return sleeps_; }
    static constexpr int kWakeMs = 200;

  private:
    void throwIfEnded() const;

    Ui& user_;
    PortWindow& window_;
    QTimer wake_;
    bool lastCallWaiting_ = false;
    uint64_t drawsAtLastCall_ = 0;
    uint64_t sleeps_ = 0;
};

}  // namespace zortan::desktop
