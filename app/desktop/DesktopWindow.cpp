#include "app/desktop/DesktopWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <cctype>
#include <exception>
#include <map>

#include "app/desktop/SettingsPages.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "plots/EventPictures.h"
#include "tree/TreeCoding.h"
#include "window/CodingDriver.h"

namespace zortan::desktop {

namespace {

constexpr int kHintMs = 7000;

// The window's content, in a scroll area: the pictures' image, with the
// controls on top. The image grows with it.
class PictureView : public QWidget {
  public:
    explicit PictureView(ImageCanvas& canvas) : canvas_(canvas) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRect r = event->rect();
        painter.fillRect(r, toQColor(kWindowFace));
        painter.drawImage(r.topLeft(), canvas_.image(), r);
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        canvas_.growTo(size());
    }

  private:
    ImageCanvas& canvas_;
};

// The status caption's box: between the top and "Tree data".
const QRect kStatusCaptionBox(232, 0, 1380, 43);
constexpr int kStatusCaptionPixels = 26;

size_t indexOf(Command c) {
    return static_cast<size_t>(c);
}
size_t indexOf(Toggle t) {
    return static_cast<size_t>(t);
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

void setShown(QWidget* widget, bool shown) {
    if (widget->isHidden() == shown) widget->setVisible(shown);
}

void setEnabledIf(QWidget* widget, bool enabled) {
    if (widget->isEnabled() != enabled) widget->setEnabled(enabled);
}

void setGeometryIf(QWidget* widget, const QRect& r) {
    if (widget->geometry() != r) widget->setGeometry(r);
}

void setHint(QWidget* widget, const QString& hint) {
    if (widget->toolTip() != hint) widget->setToolTip(hint);
    widget->setToolTipDuration(kHintMs);
}

QLabel* label(const QString& text, QWidget* parent, const QRect& r, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(r);
    if (name) l->setObjectName(QString::fromLatin1(name));
    return l;
}

// Captions of the ten output choices: teaching group, then recognition.
const std::array<const char*, 10> kOutputCaptions{
    "*_teach.zrt\"", "*code.txt", "*_teach_cath1.txt", "*_teach_cath2.txt", "*_teach_cath3.txt",
    "*_recog.zrt",   "*code.txt", "*_recog_cath1.txt", "*_recog_cath2.txt", "*_recog_cath3.txt"};
// A control's object name: the setting's name with a capital first letter
// ("OutputTeachCombined"), which the hints and tests find it by.
std::string objectNameOf(const char* setting) {
    std::string name = setting;
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

}  // namespace

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, width());
    if (text() != shown) setText(shown);
    const QString tip = shown == full_ ? QString() : full_;
    if (toolTip() != tip) setToolTip(tip);
}

DesktopWindow::DesktopWindow(Ui& user, std::string programFolder, QWidget* parent)
    : QMainWindow(parent),
      user_(user),
      port_(user, *this),
      program_(port_, std::move(programFolder)),
      form_(program_),
      canvas_(QSize(kWindowStartWidth, kWindowStartHeight)) {
    setWindowTitle(QStringLiteral("Zortan"));
    QPalette face = palette();
    face.setColor(QPalette::Window, toQColor(kWindowFace));
    setPalette(face);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    // On a screen smaller than the window's content, the content scrolls.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("ContentScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    view_ = new PictureView(canvas_);
    view_->setObjectName(QStringLiteral("Content"));
    scroll_->setWidget(view_);
    setCentralWidget(scroll_);
    program_.canvas = &canvas_;
    canvas_.changed = [this](const QRect& r) { view_->update(r); };
    for (QScrollBar* bar : {scroll_->horizontalScrollBar(), scroll_->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] { refreshLayout(); });

    statusCaption_ = label(QStringLiteral("--------"), view_, kStatusCaptionBox, "StatusCaption");
    statusCaption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont big = statusCaption_->font();
    big.setPixelSize(kStatusCaptionPixels);
    big.setBold(true);
    statusCaption_->setFont(big);
    statusCaption_->setStyleSheet(QStringLiteral("color: red;"));

    buildInputControls(view_);
    buildTreeData(view_);
    buildInputDescription(view_);
    pages_ = new SettingsPages(view_);
    pages_->setGeometry(232, 194, 1385, 134);
    pages_->featureKindChosen = [this](int kind) { act([&] { form_.chooseFeatureKind(kind); }); };
    buildOutputFiles(view_);
    buildRunControls(view_);
    buildAbout(view_);
    buildMenusAndStatusBar();
    collectHintTargets();
    availableScreen = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry().size() : QSize();
    };
    resize(kWindowStartWidth, kWindowStartHeight);
}

DesktopWindow::~DesktopWindow() {
    program_.canvas = nullptr;
    canvas_.changed = nullptr;
}

QPushButton* DesktopWindow::commandButton(Command command, const QString& caption, QWidget* parent,
                                          const char* name) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this,
            [this, command] { act([this, command] { form_.click(command); }); });
    buttons_[indexOf(command)] = b;
    return b;
}

QCheckBox* DesktopWindow::toggleBox(Toggle toggle, const QString& caption, QWidget* parent,
                                    const char* name) {
    auto* b = new QCheckBox(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QCheckBox::clicked, this,
            [this, toggle](bool on) { act([this, toggle, on] { form_.setToggle(toggle, on); }); });
    boxes_[indexOf(toggle)] = b;
    return b;
}

QPushButton* DesktopWindow::button(Command command) const {
    return buttons_[indexOf(command)];
}

QCheckBox* DesktopWindow::box(Toggle toggle) const {
    return boxes_[indexOf(toggle)];
}

void DesktopWindow::buildInputControls(QWidget* view) {
    inputGroup_ = new QGroupBox(QStringLiteral("Input"), view);
    inputGroup_->setObjectName(QStringLiteral("InputGroup"));
    inputGroup_->setGeometry(8, 44, 216, 146);
    commandButton(Command::ReadTree, QStringLiteral("Read tree"), inputGroup_, "ReadTree")
        ->setGeometry(8, 20, 150, 26);
    commandButton(Command::ReadData1, QStringLiteral("Read data_1"), inputGroup_, "ReadData1")
        ->setGeometry(8, 50, 150, 26);
    commandButton(Command::ReadData2, QStringLiteral("Read data_2"), inputGroup_, "ReadData2")
        ->setGeometry(8, 80, 150, 26);
    // The narrow "Read tree&data" button has no caption.
    commandButton(Command::ReadTreeAndData, QString(), inputGroup_, "ReadTreeAndData")
        ->setGeometry(164, 20, 22, 56);
    toggleBox(Toggle::HibernateOnFinish, QStringLiteral("Hibernate on finish"), inputGroup_,
              "HibernateOnFinish")
        ->setGeometry(8, 114, 200, 22);

    clustersLabel_ = label(QStringLiteral("Nbr of clusters"), view, QRect(8, 196, 96, 22));
    clustersEdit_ = new QLineEdit(view);
    clustersEdit_->setObjectName(QStringLiteral("ClustersEdit"));
    clustersEdit_->setGeometry(106, 196, 56, 22);
    connect(clustersEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        act([this, text] { form_.typeClusters(fromQString(text)); });
    });
    toggleBox(Toggle::ClustersChangeable, QString(), view, "ClustersChangeable")
        ->setGeometry(166, 196, 20, 22);
    actualClusters_ = label(QString(), view, QRect(188, 196, 40, 22), "ActualClusters");

    picturesLabel_ =
        label(QStringLiteral("Number of  pictures in series"), view, QRect(8, 222, 166, 22));
    picturesEdit_ = new QLineEdit(view);
    picturesEdit_->setObjectName(QStringLiteral("PicturesEdit"));
    picturesEdit_->setGeometry(176, 222, 48, 22);
    connect(picturesEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        act([this, text] { form_.typePicturesPerRow(fromQString(text)); });
    });
    toggleBox(Toggle::ShowInputRecords, QStringLiteral("Show input records"), view,
              "ShowInputRecords")
        ->setGeometry(8, 248, 200, 22);
    toggleBox(Toggle::StretchCepstra, QStringLiteral("Stretch cepstra"), view, "StretchCepstra")
        ->setGeometry(8, 272, 112, 22);
    slider_ = new QSlider(Qt::Horizontal, view);
    slider_->setObjectName(QStringLiteral("StretchSlider"));
    slider_->setRange(0, 10);
    slider_->setGeometry(122, 272, 102, 22);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int position) { act([this, position] { form_.moveSlider(position); }); });
    toggleBox(Toggle::CompareMode, QStringLiteral("Compare"), view, "CompareMode")
        ->setGeometry(8, 296, 200, 22);
}

void DesktopWindow::buildTreeData(QWidget* view) {
    treeData_ = new QGroupBox(QStringLiteral("Tree data"), view);
    treeData_->setObjectName(QStringLiteral("TreeData"));
    treeData_->setGeometry(kTreeDataGroupLeft, 44, 900, 146);
    auto* grid = new QGridLayout(treeData_);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(1);
    const std::array<const char*, 4> headings{"Date@Time, teaching file",
                                              "Numbers of: groups, events, features vectors length",
                                              "Exclude Set Card=", "Tree data directory "};
    for (size_t i = 0; i < headings.size(); ++i)
        treeHeadings_[i] = new QLabel(QString::fromLatin1(headings[i]), treeData_);
    for (QLabel*& v : treeValues_) {
        v = new QLabel(QStringLiteral("xxx"), treeData_);
        v->setTextFormat(Qt::PlainText);
    }
    treeValues_[0]->setObjectName(QStringLiteral("TreeHeading"));
    treeValues_[2]->setObjectName(QStringLiteral("TreeSummary"));
    grid->addWidget(treeHeadings_[0], 0, 0);
    grid->addWidget(treeValues_[0], 0, 1);
    grid->addWidget(treeValues_[1], 1, 1);
    grid->addWidget(treeHeadings_[1], 2, 0, 1, 2);
    grid->addWidget(treeValues_[2], 3, 0, 1, 2);
    grid->addWidget(treeHeadings_[2], 4, 0);
    grid->addWidget(treeValues_[3], 4, 1);
    grid->addWidget(treeValues_[4], 5, 0);
    grid->addWidget(treeValues_[5], 5, 1);
    grid->addWidget(treeHeadings_[3], 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);
}

void DesktopWindow::buildInputDescription(QWidget* view) {
    inputDescription_ = new QGroupBox(QStringLiteral("Input data description"), view);
    inputDescription_->setObjectName(QStringLiteral("InputDescription"));
    inputDescription_->setGeometry(1140, 44, 477, 146);
    auto* grid = new QGridLayout(inputDescription_);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(1);
    const std::array<const char*, 6> headings{"Events file",     "Wave file", "Events count",
                                              "Lifter treshold", "Feature",   ""};
    for (size_t row = 0; row < headings.size(); ++row) {
        descriptionHeadings_[row] =
            new QLabel(QString::fromLatin1(headings[row]), inputDescription_);
        grid->addWidget(descriptionHeadings_[row], static_cast<int>(row), 0);
        for (size_t series = 0; series < 2; ++series) {
            auto* v = new ElidedLabel(inputDescription_);
            v->setObjectName(QStringLiteral("Data%1Field%2").arg(series + 1).arg(row));
            descriptionValues_[series][row] = v;
            grid->addWidget(v, static_cast<int>(row), static_cast<int>(series) + 1);
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
}

void DesktopWindow::buildOutputFiles(QWidget* view) {
    outputFiles_ = new QGroupBox(QStringLiteral("Output files"), view);
    outputFiles_->setObjectName(QStringLiteral("OutputFiles"));
    // 2 units right of the signal area, 4 above its top.
    const PlotArea& signal = program_.pictures.signalArea;
    outputFiles_->setGeometry(signal.left + signal.width + 2, signal.top - 4, 600, 234);
    // Opaque: it may lie over the pictures.
    outputFiles_->setAutoFillBackground(true);
    teachGroup_ = new QGroupBox(QStringLiteral("Teach sample output"), outputFiles_);
    teachGroup_->setObjectName(QStringLiteral("TeachOutput"));
    teachGroup_->setGeometry(8, 18, 288, 180);
    recogGroup_ = new QGroupBox(QStringLiteral("Recognition output"), outputFiles_);
    recogGroup_->setObjectName(QStringLiteral("RecogOutput"));
    recogGroup_->setGeometry(304, 18, 288, 180);
    for (size_t i = 0; i < kOutputChoices.size(); ++i) {
        QGroupBox* group = i < kChoicesPerGroup ? teachGroup_ : recogGroup_;
        toggleBox(outputToggle(i), QString::fromLatin1(kOutputCaptions[i]), group,
                  objectNameOf(kOutputChoices[i].setting).c_str())
            ->setGeometry(8, 20 + static_cast<int>(i % kChoicesPerGroup) * 24, 272, 22);
    }
    commandButton(Command::ReverseTeach, QStringLiteral("Reverse checking"), teachGroup_,
                  "ReverseTeach")
        ->setGeometry(8, 146, 140, 26);
    commandButton(Command::ReverseRecog, QStringLiteral("Reverse checking"), recogGroup_,
                  "ReverseRecog")
        ->setGeometry(8, 146, 140, 26);
    commandButton(Command::OutputsOk, QStringLiteral("OK"), outputFiles_, "OutputsOk")
        ->setGeometry(520, 202, 72, 26);
}

void DesktopWindow::buildRunControls(QWidget* view) {
    feature_ = label(QStringLiteral("feature"), view, QRect(), "FeatureLegend");
    outputCodes_ = label(QStringLiteral("Output codes"), view, QRect());
    cathNames_ = label(QStringLiteral("cath1, cath2, cath3: "), view, QRect(), "CathNames");
    given_ = label(QStringLiteral("given"), view, QRect());
    recognized_ = label(QStringLiteral("reco- gnized"), view, QRect());
    totalError_ = label(QStringLiteral("Total error"), view, QRect(), "TotalErrorLegend");
    timeAverage_ = label(QStringLiteral("  Time average   "), view, QRect());
    centred_ = label(QStringLiteral("  time constant contribution removed  "), view, QRect());
    for (QLabel* l : {feature_, outputCodes_, cathNames_, given_, recognized_, totalError_,
                      timeAverage_, centred_})
        l->hide();

    commandButton(Command::Next, QStringLiteral("Next"), view, "Next");
    commandButton(Command::StopContinue, QStringLiteral("Stop"), view, "StopContinue");
    commandButton(Command::Break, QStringLiteral("Break"), view, "Break");
    commandButton(Command::Halt, QStringLiteral("Halt!"), view, "Halt");
    toggleBox(Toggle::StepwiseProceeding, QStringLiteral("Stepwise proceeding"), view,
              "StepwiseProceeding");
    warning_ = label(QStringLiteral("Be sure, that the coded events features were prepared exactly "
                                    "in the same way as in  a training  sample ! !"),
                     view, QRect(), "WarningLine");
    QFont bold = warning_->font();
    bold.setBold(true);
    warning_->setFont(bold);
}

void DesktopWindow::buildAbout(QWidget*) {
    // A child of the main window, not of the content: large, it covers the
    // whole window.
    about_ = new QFrame(this);
    about_->setObjectName(QStringLiteral("AboutBox"));
    about_->setFrameShape(QFrame::Box);
    about_->setAutoFillBackground(true);
    aboutText_ = new QPlainTextEdit(about_);
    aboutText_->setObjectName(QStringLiteral("AboutText"));
    aboutText_->setReadOnly(true);
    aboutText_->setPlainText(toQString(TForm1::aboutText()));
    aboutOk_ = new QPushButton(QStringLiteral("OK"), about_);
    aboutOk_->setObjectName(QStringLiteral("AboutOk"));
    connect(aboutOk_, &QPushButton::clicked, this,
            [this] { act([this] { form_.doubleClickAbout(); }); });
    about_->installEventFilter(this);
    aboutText_->viewport()->installEventFilter(this);
    about_->hide();
}

void DesktopWindow::buildMenusAndStatusBar() {
    QAction* about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("AboutAction"));
    connect(about, &QAction::triggered, this,
            [this] { act([this] { form_.click(Command::About); }); });
    QAction* options = menuBar()->addAction(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("OptionsAction"));
    connect(options, &QAction::triggered, this,
            [this] { act([this] { form_.click(Command::Options); }); });
    QMenu* pictures = menuBar()->addMenu(QStringLiteral("Pictures"));
    QAction* save = pictures->addAction(QStringLiteral("Save pictures as PNG..."));
    save->setObjectName(QStringLiteral("SavePicturesAction"));
    connect(save, &QAction::triggered, this, [this] { act([this] { savePicturesAsPng(); }); });
    chartAction_ = pictures->addAction(QStringLiteral("Error chart of the last run"));
    chartAction_->setObjectName(QStringLiteral("ErrorChartAction"));
    chartAction_->setEnabled(false);
    connect(chartAction_, &QAction::triggered, this, [this] {
        if (chart_) chart_->show();
    });

    // The run commands with their shortcuts, enabled exactly when their
    // buttons are. The shortcuts belong to the window, so they act whenever
    // it is active; the model refuses a command whose control is disabled.
    QMenu* run = menuBar()->addMenu(QStringLiteral("Run"));
    run->setObjectName(QStringLiteral("RunMenu"));
    for (const auto& [command, keys] :
         {std::pair{Command::Next, RunShortcuts::next},
          std::pair{Command::StopContinue, RunShortcuts::stopContinue},
          std::pair{Command::Break, RunShortcuts::breakRun},
          std::pair{Command::Halt, RunShortcuts::halt}}) {
        QAction* action = run->addAction(button(command)->text());
        action->setObjectName(QStringLiteral("Run") + button(command)->objectName());
        action->setShortcut(QKeySequence(QString::fromLatin1(keys)));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this,
                [this, command] { act([this, command] { form_.click(command); }); });
        runActions_[command] = action;
    }

    statusBarText_ = new QLabel(this);
    statusBarText_->setObjectName(QStringLiteral("StatusBarText"));
    statusBar()->addWidget(statusBarText_, 1);
    progressText_ = new QLabel(this);
    progressText_->setObjectName(QStringLiteral("RunProgressText"));
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("RunProgress"));
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(240);
    statusBar()->addPermanentWidget(progressText_);
    statusBar()->addPermanentWidget(progressBar_);
    progressText_->hide();
    progressBar_->hide();
}

void DesktopWindow::start() {
    act([this] { form_.FormCreate(); });
    if (ended()) return;
    // The start size, as far as the screen's free area allows; the content
    // scrolls in a smaller window.
    const QSize screen = availableScreen ? availableScreen() : QSize();
    if (screen.isValid()) resize(size().boundedTo(screen));
    show();
    started_ = true;
    activated();
}

void DesktopWindow::activated() {
    shownFocus_ = Focus::Other;  // the focus goes to its control again
    act([this] {
        form_.FormActivate();
        PlacePlotsOnActivation(program_.pictures);
    });
}

// --- acting on the model ---

template <typename Action>
void DesktopWindow::act(Action action) {
    if (end_) {
        if (depth_ == 0) finishProgram();
        return;
    }
    const Focus before = program_.shell.focus;
    ++depth_;
    try {
        action();
    } catch (const ProgramEnd& end) {
        if (!end_) end_ = end.exitStatus;
    } catch (const std::exception& e) {
        failure(e.what());
    } catch (...) {
        failure("a failure of unknown kind");
    }
    --depth_;
    if (depth_ == 0 && !end_) afterOutermostAction();
    refresh();
    applyFocus(before);
    if (end_ && depth_ == 0) finishProgram();
}

void DesktopWindow::failure(const std::string& what) {
    failures_.push_back(what);
    try {
        user_.showError("Unexpected failure: " + what);
    } catch (...) {
        // The failure is kept; a box that cannot be shown adds nothing.
    }
}

void DesktopWindow::afterOutermostAction() {
    if (runSeen_ && program_.run.runFinished && !program_.shell.controls.stopContinueEnabled) {
        runSeen_ = false;
        showChart();
    }
}

void DesktopWindow::showChart() {
    if (!chart_) {
        chart_ = new ErrorChartWindow(port_, this);
        connect(chart_->saveButton(), &QPushButton::clicked, this,
                [this] { act([this] { chart_->saveAsPng(); }); });
    }
    std::string png = program_.options.errorFileName;
    const std::string ext = extractFileExt(png);
    png = png.substr(0, png.size() - ext.size()) + ".png";
    chart_->setData(errorChartData(program_), png);
    chart_->show();
    chartAction_->setEnabled(true);
}

QAction* DesktopWindow::runAction(Command command) const {
    const auto found = runActions_.find(command);
    return found == runActions_.end() ? nullptr : found->second;
}

QImage DesktopWindow::picturesImage() const {
    QRect region = canvas_.drawnBounds();
    if (region.isEmpty()) return QImage();
    std::vector<QLabel*> legends;
    for (QLabel* l : {feature_, outputCodes_, cathNames_, given_, recognized_, totalError_,
                      timeAverage_, centred_}) {
        if (l->isHidden()) continue;
        legends.push_back(l);
        region |=
            QRect(l->pos(), QSize(l->fontMetrics().horizontalAdvance(l->text()) + 1, l->height()));
    }
    region &= canvas_.image().rect();
    QImage image(region.size(), QImage::Format_RGB32);
    image.fill(toQColor(kWindowFace));
    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0), canvas_.image(), region);
    for (QLabel* l : legends)
        l->render(&painter, l->pos() - region.topLeft(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

bool DesktopWindow::savePicturesAsPng() {
    const QImage pictures = picturesImage();
    if (pictures.isNull()) {
        port_.showMessage("There are no pictures to save.");
        return false;
    }
    FileDialogRequest request;
    request.title = "Pictures saving";
    request.path = joinPath(extractFileDir(program_.options.teachFileName), "pictures.png");
    request.defaultExtension = ".png";
    request.filters = {{"PNG images", "*.png"}};
    const std::optional<std::string> path = port_.chooseSaveFile(request);
    if (!path) return false;
    if (pictures.save(toQString(*path), "PNG")) return true;
    port_.showMessage("The pictures could not be saved as \"" + *path + "\".");
    return false;
}

void DesktopWindow::endProgram(int exitStatus) {
    if (!end_) end_ = exitStatus;
    if (depth_ == 0) finishProgram();
}

void DesktopWindow::finishProgram() {
    if (finished_) return;
    finished_ = true;
    // A window closed during a run keeps what the run coded.
    CloseOutputsAtEnd(program_);
    if (chart_) chart_->hide();
    if (onEnd)
        onEnd(exitStatus());
    else
        QCoreApplication::exit(exitStatus());
    if (isVisible()) close();
}

// --- events of the window ---

bool DesktopWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && started_ && !finished_) activated();
    return QMainWindow::event(event);
}

void DesktopWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (about_) refreshLayout();
    if (started_ && !finished_) act([this] { form_.resize(width()); });
}

void DesktopWindow::closeEvent(QCloseEvent* event) {
    if (finished_) {
        event->accept();
        return;
    }
    if (!end_) end_ = 0;
    if (depth_ > 0) {
        // The running command stops at its next chance; then the window closes.
        event->ignore();
        return;
    }
    event->accept();
    finishProgram();
}

bool DesktopWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == about_ || watched == aboutText_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            act([this] { form_.clickAbout(); });
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            act([this] { form_.doubleClickAbout(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- the port's questions ---

bool DesktopWindow::onlyWaiting() const {
    const ShellState& s = program_.shell;
    return (s.controls.stopContinueEnabled && s.waiting) || s.controls.featureKindChoiceEnabled;
}

void DesktopWindow::beforePendingEvents() {
    const ShellState& s = program_.shell;
    if (s.controls.stopContinueEnabled) runSeen_ = true;
    const bool waiting = onlyWaiting();
    // A wait begins: the user sees everything the run has done so far.
    if (waiting && !refreshedWhileWaiting_) {
        refreshedWhileWaiting_ = true;
        refresh();
        return;
    }
    if (!waiting) refreshedWhileWaiting_ = false;
    // What can be clicked is shown at once; everything else about 30 times
    // a second.
    if (controlsSignature() != shownSignature_ || progress_.due(RunProgress::Clock::now()))
        refresh();
}

uint64_t DesktopWindow::controlsSignature() const {
    const ShellState& s = program_.shell;
    const WindowControls& w = s.controls;
    uint64_t bits = 0;
    const auto add = [&bits](bool b) { bits = bits << 1 | (b ? 1u : 0u); };
    for (size_t c = 0; c < buttons_.size(); ++c) add(form_.enabled(static_cast<Command>(c)));
    for (size_t t = 0; t < boxes_.size(); ++t) {
        add(form_.enabled(static_cast<Toggle>(t)));
        add(form_.toggleValue(static_cast<Toggle>(t)));
    }
    for (bool b :
         {w.outputFilesVisible, w.aboutVisible, w.featureKindChoiceEnabled, s.clustersEditEnabled,
          s.sliderVisible, s.stopContinueCaption == "Stop", s.stopContinueCaption == "Next"})
        add(b);
    return bits;
}

void DesktopWindow::beforeDialog() {
    if (progress_.running()) progress_.pause(program_.run.stepCounter, RunProgress::Clock::now());
    refresh();
}

void DesktopWindow::afterDialog() {
    progress_.resume(onlyWaiting(), RunProgress::Clock::now());
    // The window is active again at once, so that its shortcuts act; no
    // input of the user is taken here.
    if (isVisible() && !finished_ && !isActiveWindow()) {
        activateWindow();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void DesktopWindow::statusCaptionChanged() {
    fitStatusCaption();
}

// The status caption large and red, each of its texts whole: the font
// shrinks only as far as a long or two-line text needs to fit its box.
void DesktopWindow::fitStatusCaption() {
    const QString text = toQString(program_.shell.statusCaption);
    if (statusCaption_->text() == text) return;
    QFont font = statusCaption_->font();
    for (int pixels = kStatusCaptionPixels; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        const QRect needed = QFontMetrics(font).boundingRect(
            QRect(0, 0, kStatusCaptionBox.width(), 10000), Qt::AlignLeft | Qt::AlignTop, text);
        if (needed.width() <= kStatusCaptionBox.width() &&
            needed.height() <= kStatusCaptionBox.height())
            break;
    }
    statusCaption_->setFont(font);
    statusCaption_->setText(text);
}

// --- showing the model ---

void DesktopWindow::refresh() {
    const ShellState& s = program_.shell;
    const WindowControls& w = s.controls;
    if (w.stopContinueEnabled) runSeen_ = true;

    for (size_t c = 0; c < buttons_.size(); ++c)
        if (buttons_[c]) setEnabledIf(buttons_[c], form_.enabled(static_cast<Command>(c)));
    setEnabledIf(inputGroup_, w.inputGroupEnabled);
    setEnabledIf(teachGroup_, w.teachGroupEnabled);
    setEnabledIf(recogGroup_, w.recogGroupEnabled);
    for (size_t t = 0; t < boxes_.size(); ++t) {
        const auto toggle = static_cast<Toggle>(t);
        QCheckBox* b = boxes_[t];
        setEnabledIf(b, form_.enabled(toggle));
        if (b->isChecked() != form_.toggleValue(toggle)) {
            const QSignalBlocker quiet(b);
            b->setChecked(form_.toggleValue(toggle));
        }
    }
    QPushButton* stop = button(Command::StopContinue);
    if (stop->text() != toQString(s.stopContinueCaption))
        stop->setText(toQString(s.stopContinueCaption));

    if (clustersEdit_->text() != toQString(s.clustersEditText))
        clustersEdit_->setText(toQString(s.clustersEditText));
    setEnabledIf(clustersEdit_, s.clustersEditEnabled);
    if (clustersRed_ != s.clustersEditRed) {
        clustersRed_ = s.clustersEditRed;
        // Light text on red, legible when the edit is disabled too.
        clustersEdit_->setStyleSheet(
            clustersRed_ ? QStringLiteral("QLineEdit, QLineEdit:disabled { background-color: red; "
                                          "color: white; }")
                         : QString());
    }
    setText(actualClusters_, toQString(s.actualClustersLabel));
    if (picturesEdit_->text() != toQString(s.picturesEditText))
        picturesEdit_->setText(toQString(s.picturesEditText));
    setShown(slider_, s.sliderVisible);
    if (slider_->value() != s.stretchPosition) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(s.stretchPosition);
    }

    refreshTexts();
    refreshLayout();
    refreshHints();
    pages_->refresh(program_);
    refreshProgress();
    refreshRunMenu();
    shownSignature_ = controlsSignature();
}

void DesktopWindow::refreshTexts() {
    const ShellState& s = program_.shell;
    const TreeDataTexts& t = s.treeTexts;
    fitStatusCaption();
    setText(statusBarText_, toQString(s.statusBarText));
    setText(treeHeadings_[2], toQString(t.excludeSetCaption));
    setText(treeHeadings_[3], toQString(t.treePathCaption));
    setText(treeValues_[0], toQString(t.heading));
    setText(treeValues_[1], toQString(t.trainingDescription));
    setText(treeValues_[2], toQString(t.summary));
    setText(treeValues_[3], toQString(t.featuresSetTreeData));
    setText(treeValues_[4], toQString(t.featureCaption));
    const size_t colour = static_cast<size_t>(t.featureColour) % kPlotColours.size();
    const QString featureStyle =
        QStringLiteral("color: %1;").arg(toQColor(kPlotColours[colour]).name());
    if (treeValues_[4]->styleSheet() != featureStyle) treeValues_[4]->setStyleSheet(featureStyle);
    setText(treeValues_[5], toQString("cepstrum lifter treshold " + t.lifterThreshold +
                                      ", scaling factor " + t.scalingFactor));
    setText(descriptionHeadings_[5], toQString(s.controls.vectorsCountCaption));
    for (size_t i = 0; i < 2; ++i) {
        const EventSeries& series = i == 0 ? program_.data1 : program_.data2;
        const std::array<const std::string*, 6> fields{
            &series.eventsFileCaption,   &series.waveText,    &series.eventsCountText,
            &series.lifterThresholdText, &series.featureText, &series.readCountText};
        for (size_t row = 0; row < fields.size(); ++row)
            descriptionValues_[i][row]->setFullText(toQString(*fields[row]));
    }
    setText(cathNames_, toQString(t.categoryCaptions));
    const auto& labels = program_.outputs.choiceLabels;
    for (size_t i = 0; i < kOutputChoices.size(); ++i) {
        const QString text =
            labels[i].empty() ? QString::fromLatin1(kOutputCaptions[i]) : toQString(labels[i]);
        QCheckBox* b = box(outputToggle(i));
        if (b->text() != text) b->setText(text);
    }
}

void DesktopWindow::refreshLayout() {
    const ShellState& s = program_.shell;
    const WindowControls& w = s.controls;
    const EventPictures& pic = program_.pictures;
    const LegendLayout& l = pic.legend;

    // "Read tree&data" reaches down to "Read data_2" in compare mode.
    setGeometryIf(button(Command::ReadTreeAndData), QRect(164, 20, 22, s.compareMode ? 86 : 56));
    setShown(treeData_, w.treeDataVisible);
    setShown(inputDescription_, w.inputDescriptionVisible);
    // A page is shown once a command has turned to it or asks on it.
    setShown(pages_,
             w.settingsPagesVisible || w.settingsPageTurns > 0 || w.featureKindChoiceEnabled);
    setShown(outputFiles_, w.outputFilesVisible);
    for (size_t row = 0; row < 6; ++row) setShown(descriptionValues_[1][row], w.data2FieldsVisible);

    const int legendLeft = 60, legendWidth = kPlotsLeftOrigin - 4 - legendLeft;
    setGeometryIf(feature_, QRect(legendLeft, pic.featuresArea.top, legendWidth, 16));
    setGeometryIf(outputCodes_, QRect(legendLeft, l.outputCodes, legendWidth, 16));
    setGeometryIf(cathNames_, QRect(legendLeft, l.cathNames, legendWidth, 16));
    setGeometryIf(given_, QRect(legendLeft, l.given, legendWidth, 16));
    setGeometryIf(recognized_, QRect(legendLeft, l.recognized, legendWidth, 16));
    setGeometryIf(totalError_, QRect(legendLeft, l.totalError, legendWidth, 16));
    setGeometryIf(timeAverage_, QRect(8, pic.averagingArea.top, kPlotsLeftOrigin - 12, 16));
    setGeometryIf(centred_, QRect(8, pic.averagingArea.top + 20, kPlotsLeftOrigin - 12, 16));
    for (QLabel* legend : {feature_, outputCodes_, cathNames_, given_, recognized_, totalError_})
        setShown(legend, w.perEventDisplayVisible);
    setShown(timeAverage_, w.perEventDisplayVisible && w.averagingPicturesVisible);
    setShown(centred_, w.perEventDisplayVisible && w.averagingPicturesVisible);

    setGeometryIf(button(Command::Next), QRect(8, l.runButtons, 64, 24));
    setGeometryIf(button(Command::StopContinue), QRect(76, l.runButtons, 72, 24));
    setGeometryIf(button(Command::Break), QRect(152, l.runButtons, 64, 24));
    setGeometryIf(button(Command::Halt), QRect(220, l.runButtons, 64, 24));
    setGeometryIf(box(Toggle::StepwiseProceeding), QRect(300, l.stepwiseBox, 170, 20));
    setGeometryIf(warning_, QRect(8, l.warningLine, 1200, 20));

    // The content holds every control and the legend rows below the pictures.
    const QSize content(kWindowStartWidth, l.warningLine + 28);
    if (view_->minimumSize() != content) view_->setMinimumSize(content);

    // The About box: small at the top of the content, right of "Output
    // files"; large, the window's size less 20 at its top left corner.
    const QPoint contentOrigin = view_->mapTo(this, QPoint(0, 0));
    const QRect small(contentOrigin + QPoint(outputFiles_->geometry().right() + 1 + 10, 0),
                      kAboutSmall);
    const QRect large(0, 0, width() - 20, height() - 20);
    setGeometryIf(about_, w.aboutLarge ? large : small);
    setGeometryIf(aboutText_, QRect(10, 10, about_->width() - 20, about_->height() - 20));
    const QRect text = aboutText_->geometry();
    setGeometryIf(aboutOk_, QRect(text.right() + 1 - 20 - 72, text.bottom() + 1 - 20 - 26, 72, 26));
    if (w.aboutVisible && about_->isHidden()) about_->raise();
    setShown(about_, w.aboutVisible);

    if (w.windowMaximized && !maximized_) {
        maximized_ = true;
        showMaximized();
    }
}

void DesktopWindow::collectHintTargets() {
    const std::map<std::string, const char*> named{
        {"Read data_1", "ReadData1"},
        {"Read tree", "ReadTree"},
        {"Read tree&data", "ReadTreeAndData"},
        {"Break", "Break"},
        {"Next", "Next"},
        {"clusters check box", "ClustersChangeable"},
        {"Stretch cepstra", "StretchCepstra"},
        {"Compare", "CompareMode"},
        {"Hibernate on finish", "HibernateOnFinish"},
        {"clusters edit", "ClustersEdit"},
        {"stretch slider", "StretchSlider"},
        {"Input data description", "InputDescription"},
        {"warning line", "WarningLine"},
        {"settings pages", "SettingsPages"},
        {"feature", "FeatureLegend"},
    };
    for (const auto& [control, name] : named)
        hintTargets_[control] = view_->findChild<QWidget*>(QString::fromLatin1(name));
    for (const OutputChoice& c : kOutputChoices)
        hintTargets_[c.hintKey] =
            view_->findChild<QWidget*>(QString::fromStdString(objectNameOf(c.setting)));
    hintTargets_["Nbr of clusters"] = clustersLabel_;
    hintTargets_["actual clusters"] = actualClusters_;
    hintTargets_["Number of  pictures in series"] = picturesLabel_;
    hintTargets_["Numbers of: groups, events, features vectors length"] = treeHeadings_[1];
    hintTargets_["Output codes"] = outputCodes_;
    hintTargets_["given"] = given_;
    hintTargets_["averaging area"] = timeAverage_;
}

void DesktopWindow::refreshHints() {
    for (const auto& [control, hint] : form_.hints()) {
        const auto found = hintTargets_.find(control);
        if (found == hintTargets_.end() || found->second == nullptr) continue;
        setHint(found->second, toQString(hint));
        if (control == "averaging area") setHint(centred_, toQString(hint));
    }
}

void DesktopWindow::refreshRunMenu() {
    for (const auto& [command, action] : runActions_) {
        const QPushButton* b = button(command);
        if (action->isEnabled() != b->isEnabled()) action->setEnabled(b->isEnabled());
        if (action->text() != b->text()) action->setText(b->text());
    }
}

void DesktopWindow::refreshProgress() {
    const ShellState& s = program_.shell;
    const bool running = s.controls.stopContinueEnabled;
    if (running) {
        progress_.note(program_.run.stepCounter, program_.run.totalSteps, onlyWaiting(),
                       RunProgress::Clock::now());
        if (progressBar_->value() != progress_.permille())
            progressBar_->setValue(progress_.permille());
        setText(progressText_, toQString(progress_.text()));
    } else {
        progress_.stop();
    }
    setShown(progressBar_, running);
    setShown(progressText_, running);
}

void DesktopWindow::applyFocus(Focus before) {
    const Focus focus = program_.shell.focus;
    if (focus == before && focus == shownFocus_) return;
    QWidget* target = focus == Focus::ReadTree    ? button(Command::ReadTree)
                      : focus == Focus::ReadData1 ? button(Command::ReadData1)
                      : focus == Focus::ReadData2 ? button(Command::ReadData2)
                      : focus == Focus::Next      ? button(Command::Next)
                                                  : nullptr;
    if (target && target->isEnabled() && target->isVisible()) {
        target->setFocus();
        shownFocus_ = focus;
    }
}

}  // namespace zortan::desktop
