#include "app/desktop/SettingsPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/desktop/QtUi.h"
#include "base/Format.h"
#include "plots/Skribo.h"
#include "window/Program.h"

namespace zortan::desktop {

namespace {

template <size_t N>
QStringList names(const std::array<const char*, N>& list) {
    QStringList items;
    for (const char* name : list) items << QString::fromLatin1(name);
    return items;
}

QStringList names(const std::array<std::string, 3>& list) {
    QStringList items;
    for (const std::string& name : list) items << toQString(name);
    return items;
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

QLabel* valuesLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

ChoiceGroup::ChoiceGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(0);
    group_->setExclusive(true);
    setItems(items);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (chosen) chosen(id);
    });
}

void ChoiceGroup::setItems(const QStringList& items) {
    if (static_cast<qsizetype>(buttons_.size()) == items.size()) {
        for (size_t i = 0; i < buttons_.size(); ++i)
            if (buttons_[i]->text() != items[static_cast<qsizetype>(i)])
                buttons_[i]->setText(items[static_cast<qsizetype>(i)]);
        return;
    }
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    for (qsizetype i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, static_cast<int>(i));
        layout()->addWidget(button);
        buttons_.push_back(button);
    }
}

void ChoiceGroup::setChoice(int index) {
    if (index == choice()) return;
    // No choice: the exclusive group would keep one button checked.
    group_->setExclusive(false);
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setChecked(static_cast<int>(i) == index);
    group_->setExclusive(true);
}

int ChoiceGroup::choice() const {
    return group_->checkedId();
}

SettingsPages::AnalysisPage SettingsPages::analysisPage(const QString& name) {
    auto* page = new QWidget(this);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 2, 4, 2);
    AnalysisPage p;
    p.filter = new ChoiceGroup(QStringLiteral("Filter"), names(kFilterNames), page);
    p.scaling =
        new ChoiceGroup(QStringLiteral("Scaling constants"), names(kScalingConstantsNames), page);
    p.window = new ChoiceGroup(QStringLiteral("Widows shape"), names(kWindowShapeNames), page);
    auto* column = new QVBoxLayout;
    p.preemphasis = new QCheckBox(QStringLiteral("Preemphase"), page);
    p.preemphasis->setTristate(true);
    p.averaging = new QCheckBox(QStringLiteral("Averaging"), page);
    p.values = valuesLabel(page);
    column->addWidget(p.preemphasis);
    column->addWidget(p.averaging);
    column->addWidget(p.values);
    column->addStretch();
    for (QWidget* w : std::initializer_list<QWidget*>{p.filter, p.scaling, p.window})
        layout->addWidget(w, 0, Qt::AlignTop);
    layout->addLayout(column);
    if (name == QStringLiteral("Train")) {
        p.averagingCaptions = valuesLabel(page);
        layout->addWidget(p.averagingCaptions, 0, Qt::AlignTop);
    }
    layout->addStretch();
    // Read-only: the choices show what the sources say.
    for (QWidget* w :
         std::initializer_list<QWidget*>{p.filter, p.scaling, p.window, p.preemphasis, p.averaging})
        w->setEnabled(false);
    addTab(page, name);
    return p;
}

SettingsPages::SettingsPages(QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("SettingsPages"));
    analysis_[0] = analysisPage(QStringLiteral("Train"));
    analysis_[1] = analysisPage(QStringLiteral("Input1"));
    analysis_[2] = analysisPage(QStringLiteral("Input 2"));

    auto* trb = new QWidget(this);
    auto* trbLayout = new QHBoxLayout(trb);
    trbLayout->setContentsMargins(4, 2, 4, 2);
    featureKind_ =
        new ChoiceGroup(QStringLiteral("Coded feature vectors"), names(kFeatureKindNames), trb);
    featureKind_->setObjectName(QStringLiteral("CodedFeatureVectors"));
    featureKind_->chosen = [this](int kind) {
        if (featureKindChosen) featureKindChosen(kind);
    };
    dividingMethod_ = new ChoiceGroup(QStringLiteral("Sets  dividing method"),
                                      names(kSetsDividingMethodNames), trb);
    setCriterion_ = new ChoiceGroup(QStringLiteral("Set choice criteria"),
                                    names(kSetChoiceCriterionNames), trb);
    setClassifier_ = new ChoiceGroup(
        QStringLiteral("Classifier"),
        {QStringLiteral("cath1"), QStringLiteral("cath2"), QStringLiteral("cath3")}, trb);
    setTraining_ = new ChoiceGroup(QStringLiteral("Training"), names(kTrainingNames), trb);
    for (QWidget* w : std::initializer_list<QWidget*>{featureKind_, dividingMethod_, setCriterion_,
                                                      setClassifier_, setTraining_})
        trbLayout->addWidget(w, 0, Qt::AlignTop);
    treeValues_ = valuesLabel(trb);
    treeValues_->setToolTip(QStringLiteral("Parameters read from quantization tree file"));
    treeValues_->setToolTipDuration(7000);
    trbLayout->addWidget(treeValues_, 0, Qt::AlignTop);
    trbLayout->addStretch();
    addTab(trb, QStringLiteral("TRB"));

    auto* features = new QWidget(this);
    auto* featuresLayout = new QHBoxLayout(features);
    featuresLayout->setContentsMargins(4, 2, 4, 2);
    featuresCriterion_ = new ChoiceGroup(QStringLiteral("Features choice crit."),
                                         names(kFeaturesChoiceCriterionNames), features);
    featuresClassifier_ = new ChoiceGroup(
        QStringLiteral("Classifier"),
        {QStringLiteral("cath1"), QStringLiteral("cath2"), QStringLiteral("cath3")}, features);
    featuresTraining_ =
        new ChoiceGroup(QStringLiteral("Training"), names(kTrainingNames), features);
    auto* preprocessing = new QGroupBox(QStringLiteral("Preprocessing"), features);
    auto* preLayout = new QVBoxLayout(preprocessing);
    preLayout->setContentsMargins(4, 2, 4, 2);
    treeAveraging_ = new QCheckBox(QStringLiteral("Averaging"), preprocessing);
    preprocessing_ = valuesLabel(preprocessing);
    preLayout->addWidget(treeAveraging_);
    preLayout->addWidget(preprocessing_);
    for (QWidget* w : std::initializer_list<QWidget*>{featuresCriterion_, featuresClassifier_,
                                                      featuresTraining_, preprocessing})
        featuresLayout->addWidget(w, 0, Qt::AlignTop);
    featuresLayout->addStretch();
    addTab(features, QStringLiteral("TRB"));

    for (QWidget* w : std::initializer_list<QWidget*>{
             dividingMethod_, setCriterion_, setClassifier_, setTraining_, featuresCriterion_,
             featuresClassifier_, featuresTraining_, treeAveraging_})
        w->setEnabled(false);
    featureKind_->setEnabled(false);
    setTabVisible(kInput2, false);
    setToolTip(
        QStringLiteral("The Input and Train Radiogroups taken from the Ondrix Analyzer\n"
                       "The TRB Radiogroups taken from the TRB programm"));
}

std::array<ChoiceGroup*, 3> SettingsPages::analysisGroups(int tab) const {
    const AnalysisPage& p = analysis_.at(static_cast<size_t>(tab));
    return {p.filter, p.scaling, p.window};
}

void SettingsPages::show(AnalysisPage& page, const AnalysisSettings& s) {
    page.filter->setChoice(s.filter);
    page.scaling->setChoice(s.scalingConstants);
    page.window->setChoice(s.windowShape);
    page.preemphasis->setCheckState(s.preemphasisIndeterminate ? Qt::PartiallyChecked
                                    : s.preemphasis            ? Qt::Checked
                                                               : Qt::Unchecked);
    page.averaging->setChecked(s.averaging);
    setText(page.values, QStringLiteral("Lifter treshold: %1    Frame step: %2 ms\nRate: %3 Hz    "
                                        "FFT window width: %4\nAveraging frames: %5")
                             .arg(s.lifterThreshold)
                             .arg(toQString(formatGeneral(s.frameStep)))
                             .arg(toQString(formatGeneral(s.rate)))
                             .arg(s.fftWindowWidth)
                             .arg(s.averagingFrames));
}

void SettingsPages::refresh(const Program& p) {
    show(analysis_[0], p.tree.training);
    show(analysis_[1], p.data1.settings);
    show(analysis_[2], p.data2.settings);
    const TreeDataTexts& texts = p.shell.treeTexts;
    const auto& captions = texts.averagingCaptions;
    setText(analysis_[0].averagingCaptions,
            toQString(captions[5] + "\n" + captions[6] + "\n" + captions[7] + "\n" + captions[8]));

    const TreeTrainingSettings& trb = p.tree.treeTraining;
    const WindowControls& w = p.shell.controls;
    featureKind_->setChoice(p.tree.training.featureKind);
    featureKind_->setEnabled(w.featureKindChoiceEnabled);
    if (featureRed_ != w.featureKindChoiceRed) {
        featureRed_ = w.featureKindChoiceRed;
        featureKind_->setStyleSheet(featureRed_ ? QStringLiteral("QGroupBox { color: red; }")
                                                : QString());
    }
    dividingMethod_->setChoice(trb.setsDividingMethod);
    setCriterion_->setChoice(trb.setChoiceCriterion);
    setClassifier_->setItems(names(trb.classifierNames));
    setClassifier_->setChoice(trb.setChoiceClassifier);
    setTraining_->setChoice(trb.setChoiceTraining);
    featuresCriterion_->setChoice(trb.featuresChoiceCriterion);
    featuresClassifier_->setItems(names(trb.classifierNames));
    featuresClassifier_->setChoice(trb.featuresChoiceClassifier);
    featuresTraining_->setChoice(trb.featuresChoiceTraining);
    treeAveraging_->setChecked(p.tree.training.averaging);
    setText(preprocessing_, toQString(captions[0] + ", " + captions[1] + ", " + captions[2] + "\n" +
                                      captions[3] + ", " + captions[4]));
    setText(treeValues_,
            toQString(texts.featureCaption + "\nConstrained features set: " + texts.featuresSet +
                      "\ncepstrum lifter treshold: " + texts.lifterThreshold +
                      "\nScaling factor: " + texts.scalingFactor));

    setTabVisible(kInput2, w.input2TabVisible);
    if (w.settingsPageTurns != shownTurns_) {
        shownTurns_ = w.settingsPageTurns;
        const SettingsPage page = w.settingsPage;
        const int tab = page == SettingsPage::Train    ? kTrain
                        : page == SettingsPage::Input1 ? kInput1
                        : page == SettingsPage::Input2 ? kInput2
                                                       : kTrb;
        if (isTabVisible(tab)) setCurrentIndex(tab);
    }
}

}  // namespace zortan::desktop
