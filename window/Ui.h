// The port through which the toolkit-free core talks to the user. The
// desktop window, the console front end and the tests' scripted fake
// implement it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zortan {

enum class Answer { Yes, No, Cancel };

struct FileFilter {
    std::string name;
    std::string pattern;
};

struct FileDialogRequest {
    std::string title;
    int filterIndex = 1;  // 1-based index into `filters`
    std::string path;     // preselected folder and file name
    // Where the dialog starts when the folder of `path` does not exist
    // (empty: where the user's side starts a first dialog).
    std::string startFolder;
    std::string defaultExtension;  // e.g. ".vq*"
    std::vector<FileFilter> filters;
};

struct ScreenSize {
    int width = 0;
    int height = 0;
};

class Ui {
  public:
    virtual ~Ui() = default;
    // A modal box with an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // A platform error (range or input/output) stopped the running command.
    virtual void showError(const std::string& text) { showMessage(text); }
    virtual bool askYesNo(const std::string& text, const std::string& title) = 0;
    virtual Answer askYesNoCancel(const std::string& text, const std::string& title) = 0;
    // File dialogs: the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) = 0;
    // Lets the window handle what is pending (clicks during a run).
    virtual void processPendingEvents() = 0;
    virtual void beep() = 0;
    virtual ScreenSize screenSize() = 0;
    // The large status caption has a new text.
    virtual void statusCaptionChanged(const std::string& caption) { (void)caption; }
};

}  // namespace zortan
