// The settings pages: the read-only choice groups of the three analysis
// settings (tabs "Train", "Input1", "Input 2") and the tree's training
// choices (the two "TRB" tabs), where only "Coded feature vectors" can be
// chosen, and only while an fvs input asks for it.
#pragma once

#include <QGroupBox>
#include <QTabWidget>
#include <array>
#include <functional>
#include <vector>

#include "shell/WindowControls.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QRadioButton;

namespace zortan {
struct Program;
struct AnalysisSettings;
}  // namespace zortan

namespace zortan::desktop {

// A titled group of radio buttons showing one choice (-1 for none).
class ChoiceGroup : public QGroupBox {
  public:
    ChoiceGroup(const QString& title, const QStringList& items, QWidget* parent);
    void setChoice(int index);
    int choice() const;
    void setItems(const QStringList& items);
    const std::vector<QRadioButton*>& buttons() const { return buttons_; }
    // Told the index the user chose.
    std::function<void(int)> chosen;

  private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};

class SettingsPages : public QTabWidget {
  public:
    explicit SettingsPages(QWidget* parent);

    // Shows the program's settings; `page` becomes current when it changed.
    void refresh(const Program& program);

    // Tab indexes.
    static constexpr int kTrain = 0, kInput1 = 1, kInput2 = 2, kTrb = 3, kTrbFeatures = 4;

    ChoiceGroup* featureKind() const { return featureKind_; }
    // The analysis choice groups of a tab (kTrain, kInput1, kInput2):
    // filter, scaling constants, window shape.
    std::array<ChoiceGroup*, 3> analysisGroups(int tab) const;
    // Told the feature kind the user chose.
    std::function<void(int)> featureKindChosen;

  private:
    struct AnalysisPage {
        ChoiceGroup* filter = nullptr;
        ChoiceGroup* scaling = nullptr;
        ChoiceGroup* window = nullptr;
        QCheckBox* preemphasis = nullptr;
        QCheckBox* averaging = nullptr;
        QLabel* values = nullptr;
        QLabel* averagingCaptions = nullptr;  // training tab only
    };
    AnalysisPage analysisPage(const QString& name);
    static void show(AnalysisPage& page, const AnalysisSettings& settings);

    std::array<AnalysisPage, 3> analysis_;
    ChoiceGroup* featureKind_ = nullptr;
    ChoiceGroup* dividingMethod_ = nullptr;
    ChoiceGroup* setCriterion_ = nullptr;
    ChoiceGroup* setClassifier_ = nullptr;
    ChoiceGroup* setTraining_ = nullptr;
    ChoiceGroup* featuresCriterion_ = nullptr;
    ChoiceGroup* featuresClassifier_ = nullptr;
    ChoiceGroup* featuresTraining_ = nullptr;
    QCheckBox* treeAveraging_ = nullptr;
    QLabel* preprocessing_ = nullptr;
    QLabel* treeValues_ = nullptr;
    int shownTurns_ = 0;
    bool featureRed_ = false;
};

}  // namespace zortan::desktop
