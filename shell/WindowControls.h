// Enabled states, visibility and captions of the main window's controls, as
// far as the commands and the coding run change them.
#pragma once

#include <string>

namespace zortan {

// The pages of the settings display.
enum class SettingsPage { Train, Input1, Input2, Trb };

struct WindowControls {
    // Buttons of the "Input" group and the run buttons.
    bool readTreeEnabled = true;
    bool readData1Enabled = true;
    bool readData2Enabled = false;  // exactly in compare mode at start
    bool readTreeAndDataEnabled = true;
    bool stopContinueEnabled = false;
    bool breakEnabled = false;
    bool compareEnabled = true;
    bool inputGroupEnabled = true;
    bool inputGroupGrey = false;
    // Output choices: the two groups, the ten boxes, the two reverse buttons.
    bool teachGroupEnabled = true;
    bool recogGroupEnabled = true;
    bool outputChoicesEnabled = true;
    bool reverseTeachEnabled = true;
    bool reverseRecogEnabled = true;
    // The "Coded feature vectors" choice: disabled except while an fvs
    // input asks for a kind; red while it asks.
    bool featureKindChoiceEnabled = false;
    bool featureKindChoiceRed = false;

    // Regions.
    bool treeDataVisible = false;
    bool inputDescriptionVisible = false;
    bool settingsPagesVisible = false;
    bool outputFilesVisible = true;
    bool aboutVisible = false;
    bool aboutLarge = false;
    bool input2TabVisible = false;
    bool data2FieldsVisible = false;
    bool perEventDisplayVisible = false;
    bool averagingPicturesVisible = false;
    bool windowMaximized = false;
    SettingsPage settingsPage = SettingsPage::Train;
    // Counts the turns to a page, so that a turn to the page already chosen
    // brings it to the front again.
    int settingsPageTurns = 0;
    void turnToPage(SettingsPage page) {
        settingsPage = page;
        ++settingsPageTurns;
    }

    // Texts beside the events counts.
    std::string vectorsCountCaption;
};

}  // namespace zortan
