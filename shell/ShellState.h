// What the main window holds for the rest of the system: the user's
// settings, the run-control flags and the texts other procedures publish,
// with the rules that validate and derive them. Toolkit-free: a front end
// renders this state and feeds user changes into the rules below.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "shell/WindowControls.h"

namespace zortan {

// Controls that can hold the input focus.
enum class Focus { ReadTree, ReadData1, ReadData2, Next, Other };

// Window geometry that the fitting count of pictures per row depends on.
constexpr int kStartWindowWidth = 1625;
constexpr int kTreeDataGroupLeft = 232;
constexpr int kPlotAreaWidth = 140;

// The value fields of the group "Tree data" and the settings pages' tree
// texts, as the tree reader publishes them.
struct TreeDataTexts {
    std::string heading = "xxx";              // line 1 of the tree file
    std::string trainingDescription = "xxx";  // from "teaching" on
    std::string summary = "xxx";              // groups, nodes, events, components, FFT width
    std::string lifterThreshold = "xxx";
    std::string featureCaption = "xxx";
    int featureColour = 0;                    // index into the plot colours
    std::string featuresSet = "xxx";          // beside the constraining set
    std::string featuresSetTreeData = "xxx";  // in the "Tree data" group
    // Shape, window length (ms), frames, frame step (ms), rate (Hz); the
    // last four repeat the first four on the training tab.
    std::array<std::string, 9> averagingCaptions{"xxx", "xxx", "xxx", "xxx", "xxx",
                                                 "xxx", "xxx", "xxx", "xxx"};
    std::string excludeSetCaption = "Exclude Set Card=";
    std::string categoryCaptions = "Y2, Y1, Y3";
    std::string scalingFactor = "xxx";
    std::string treePathCaption = "Tree data directory ";
};

struct ShellState {
    // --- settings ---
    std::string clustersEditText = "256";
    uint16_t clustersNb = 256;
    std::string actualClustersLabel = "256";
    bool clustersChangeable = true;
    bool clustersEditEnabled = true;
    bool clustersEditRed = false;

    bool showInputRecords = true;

    std::string picturesEditText = "8";
    uint8_t picturesPerRow = 8;
    int windowWidth = kStartWindowWidth;

    bool stretchCepstra = false;
    int stretchPosition = 10;
    bool stretchLocked = false;  // a text table fixes "Stretch cepstra" on
    bool sliderVisible = false;
    uint16_t drawnComponents = 128;

    bool compareMode = false;
    bool stepwiseProceeding = true;
    bool hibernateOnFinish = false;

    bool outputTeachCombined = true;
    bool outputTeachCodes = false;
    bool outputTeachCath1 = false;
    bool outputTeachCath2 = false;
    bool outputTeachCath3 = false;
    bool outputRecogCombined = false;
    bool outputRecogCodes = false;
    bool outputRecogCath1 = false;
    bool outputRecogCath2 = false;
    bool outputRecogCath3 = false;

    // --- run-control flags ---
    bool waiting = false;
    bool breakRequested = false;
    bool treeRead = false;

    // --- controls whose state the rules change ---
    bool nextEnabled = false;
    std::string stopContinueCaption = "Stop";
    Focus focus = Focus::ReadTree;

    // --- published texts ---
    std::string statusCaption = "--------";
    std::string statusBarText;
    TreeDataTexts treeTexts;
    WindowControls controls;
};

// The ten output choices, the teaching group's five then the recognition
// group's (the combined file, the codes, the three category files), as the
// window, the console and scripts name them.
struct OutputChoice {
    const char* setting;  // the name scripts set it by
    const char* hintKey;  // the control its hint belongs to
    bool ShellState::*chosen;
};
inline constexpr size_t kChoicesPerGroup = 5;
inline constexpr std::array<OutputChoice, 2 * kChoicesPerGroup> kOutputChoices{{
    {"outputTeachCombined", "*_teach.zrt", &ShellState::outputTeachCombined},
    {"outputTeachCodes", "*code.txt (teach)", &ShellState::outputTeachCodes},
    {"outputTeachCath1", "*_teach_cath1.txt", &ShellState::outputTeachCath1},
    {"outputTeachCath2", "*_teach_cath2.txt", &ShellState::outputTeachCath2},
    {"outputTeachCath3", "*_teach_cath3.txt", &ShellState::outputTeachCath3},
    {"outputRecogCombined", "*_recog.zrt", &ShellState::outputRecogCombined},
    {"outputRecogCodes", "*code.txt (recog)", &ShellState::outputRecogCodes},
    {"outputRecogCath1", "*_recog_cath1.txt", &ShellState::outputRecogCath1},
    {"outputRecogCath2", "*_recog_cath2.txt", &ShellState::outputRecogCath2},
    {"outputRecogCath3", "*_recog_cath3.txt", &ShellState::outputRecogCath3},
}};

// The fitting count of pictures per row for the current window width.
int fittingPicturesCount(const ShellState& s);

void setStepwiseProceeding(ShellState& s, bool on);
// `consideredComponentsNb` is the tree's count of components taken into account.
void setStretchCepstra(ShellState& s, bool on, int32_t consideredComponentsNb);
void moveStretchSlider(ShellState& s, int position, int32_t consideredComponentsNb);

void pressStopContinue(ShellState& s);
void pressBreak(ShellState& s);
void pressNext(ShellState& s);

}  // namespace zortan
