// The main window on Qt 6 Widgets. It renders the window model (the
// program's ShellState) and turns the user's actions into the model's
// commands; message boxes and file dialogs go to the user-side Ui it is
// given (the real Qt dialogs, or a scripted Ui in tests).
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop/ErrorChart.h"
#include "app/desktop/ImageCanvas.h"
#include "app/desktop/QtUi.h"
#include "app/desktop/RunProgress.h"
#include "window/MainWindow.h"
#include "window/Program.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;

namespace zortan::desktop {

class SettingsPages;

// A label that shows its text elided in the middle when it is too narrow,
// with the whole text as tooltip.
class ElidedLabel : public QLabel {
  public:
    explicit ElidedLabel(QWidget* parent);
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void elide();
    QString full_;
};

// Window geometry: the start size and the About box's small size.
constexpr int kWindowStartWidth = kStartWindowWidth;
constexpr int kWindowStartHeight = 944;
constexpr QSize kAboutSmall{340, 766};

// Keyboard shortcuts of the run buttons, shown in the "Run" menu. Keys that
// no edit field takes, so that they act wherever the focus is.
struct RunShortcuts {
    static constexpr const char* next = "F10";
    static constexpr const char* stopContinue = "F5";
    static constexpr const char* breakRun = "Shift+F5";
    static constexpr const char* halt = "Ctrl+H";
};

class DesktopWindow : public QMainWindow, private PortWindow {
  public:
    // `user` answers the boxes and dialogs; Init.txt lives in `programFolder`.
    DesktopWindow(Ui& user, std::string programFolder, QWidget* parent = nullptr);
    ~DesktopWindow() override;

    // Start-up: the model's start-up, then the window is shown and activated.
    void start();
    // The screen's free area, which the window fits into at start-up.
    std::function<QSize()> availableScreen;

    Program& program() { return program_; }
    TForm1& form() { return form_; }
    ImageCanvas& canvas() { return canvas_; }
    QtUi& port() { return port_; }

    // The controls of the commands and of the check boxes.
    QPushButton* button(Command command) const;
    QCheckBox* box(Toggle toggle) const;

    // Ends the program without the closing steps of "Halt!" (as closing
    // the window does); a running command stops at its next chance.
    void endProgram(int exitStatus);
    bool ended() const { return end_.has_value(); }
    int exitStatus() const { return end_.value_or(0); }
    // Called once the program has ended and no command runs any more; by
    // default it quits the application with the exit status.
    std::function<void(int)> onEnd;

    // Failures no handler of the program caught; each was also shown.
    const std::vector<std::string>& failures() const { return failures_; }

    // Shows the model's state in every control.
    void refresh();

    // The chart of the last finished run (none before).
    ErrorChartWindow* chartWindow() const { return chart_; }
    // Asks where to and saves the pictures; true when a file was written.
    bool savePicturesAsPng();

    // The "Run" menu's item of a run command (Next, StopContinue, Break, Halt).
    QAction* runAction(Command command) const;
    // The pictures as the user sees them: the picture rows with their legend
    // labels and texts, cropped to what was drawn; null when nothing was.
    QImage picturesImage() const;

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // PortWindow
    bool onlyWaiting() const override;
    uint64_t drawCount() const override { return canvas_.drawCount(); }
    void beforePendingEvents() override;
    void beforeDialog() override;
    void afterDialog() override;
    void statusCaptionChanged() override;
    std::optional<int> endRequested() const override { return end_; }

    // Runs a user action: a platform error is the model's to show;
    // ProgramEnd ends the program once the outermost action is over; nothing
    // goes on into Qt's event loop.
    template <typename Action>
    void act(Action action);
    void afterOutermostAction();
    void finishProgram();
    void failure(const std::string& what);
    void activated();

    void buildInputControls(QWidget* view);
    void buildTreeData(QWidget* view);
    void buildInputDescription(QWidget* view);
    void buildOutputFiles(QWidget* view);
    void buildRunControls(QWidget* view);
    void buildAbout(QWidget* view);
    void buildMenusAndStatusBar();
    QPushButton* commandButton(Command command, const QString& caption, QWidget* parent,
                               const char* name);
    QCheckBox* toggleBox(Toggle toggle, const QString& caption, QWidget* parent, const char* name);

    void collectHintTargets();
    // The enabled states, check marks and captions the user can act on.
    uint64_t controlsSignature() const;
    void refreshHints();
    void refreshTexts();
    void refreshLayout();
    void refreshProgress();
    void refreshRunMenu();
    void fitStatusCaption();
    void applyFocus(Focus before);
    void showChart();

    Ui& user_;
    QtUi port_;
    Program program_;
    TForm1 form_;
    ImageCanvas canvas_;
    RunProgress progress_;

    int depth_ = 0;  // actions under way, nested ones included
    std::optional<int> end_;
    bool finished_ = false;
    bool started_ = false;
    bool runSeen_ = false;
    bool refreshedWhileWaiting_ = false;
    bool maximized_ = false;
    uint64_t shownSignature_ = 0;
    Focus shownFocus_ = Focus::Other;
    std::vector<std::string> failures_;
    std::map<std::string, QWidget*> hintTargets_;

    std::array<QPushButton*, 13> buttons_{};
    std::array<QCheckBox*, 16> boxes_{};
    std::map<Command, QAction*> runActions_;

    QScrollArea* scroll_ = nullptr;
    QWidget* view_ = nullptr;
    QLabel* statusCaption_ = nullptr;
    QGroupBox* inputGroup_ = nullptr;
    QLabel* clustersLabel_ = nullptr;
    QLineEdit* clustersEdit_ = nullptr;
    QLabel* actualClusters_ = nullptr;
    QLabel* picturesLabel_ = nullptr;
    QLineEdit* picturesEdit_ = nullptr;
    QSlider* slider_ = nullptr;
    bool clustersRed_ = false;

    QGroupBox* treeData_ = nullptr;
    std::array<QLabel*, 4> treeHeadings_{};
    std::array<QLabel*, 6> treeValues_{};
    QGroupBox* inputDescription_ = nullptr;
    std::array<QLabel*, 6> descriptionHeadings_{};
    std::array<std::array<ElidedLabel*, 6>, 2> descriptionValues_{};
    SettingsPages* pages_ = nullptr;

    QGroupBox* outputFiles_ = nullptr;
    QGroupBox* teachGroup_ = nullptr;
    QGroupBox* recogGroup_ = nullptr;

    QFrame* about_ = nullptr;
    QPlainTextEdit* aboutText_ = nullptr;
    QPushButton* aboutOk_ = nullptr;

    QLabel* feature_ = nullptr;
    QLabel* outputCodes_ = nullptr;
    QLabel* cathNames_ = nullptr;
    QLabel* given_ = nullptr;
    QLabel* recognized_ = nullptr;
    QLabel* totalError_ = nullptr;
    QLabel* timeAverage_ = nullptr;
    QLabel* centred_ = nullptr;
    QLabel* warning_ = nullptr;

    QLabel* statusBarText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressText_ = nullptr;
    QAction* chartAction_ = nullptr;
    ErrorChartWindow* chart_ = nullptr;
};

}  // namespace zortan::desktop
