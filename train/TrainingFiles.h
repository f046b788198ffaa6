// Training events read from event files, and the tree file a grown tree is
// written as: what `zortan-train` and the Python package share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "train/Training.h"
#include "tree/TreeFileWriter.h"

namespace zortan::train {

struct ReadingOptions {
    int featureKind = 3;  // the vector of an fvs record that is taken
    // Time averaging as a run does it (per file, from its first event):
    // 0 for none, else the window in ms.
    int32_t averagingMs = 0;
    // The considered components, read from each event; 0 for all the
    // vectors hold (an fvs record's 129, a table's declared count).
    int32_t components = 0;
};

// The training events of a set of files and what their headers say.
struct TrainingSource {
    TrainingEvents events;
    bool fvs = true;
    AnalysisSettings settings;  // the inputs' analysis, which they all share
    int32_t averagingFrames = 0;
    int32_t components = 0;                                        // the considered components read
    std::array<std::string, 3> labels{"cath1", "cath2", "cath3"};  // a table's names row
    std::array<bool, 3> active{true, true, true};  // an fvs header's categories that have values
    std::vector<std::string> files;
    std::string waveName;  // of the first fvs file
    int64_t excluded = 0;  // faulty table rows left out
    std::vector<std::string> warnings;
};

// The choices by their names on the command line and in Python; each
// refuses an unknown name with a TrainingError listing the names.
Rule RuleNamed(const std::string& name);        // centroids, cart
Measure MeasureNamed(const std::string& name);  // distortion, recognition-error, info-radius
int FeatureKindNamed(const std::string& name);  // power, smoothed, mel, cepstrum, mel-cepstrum
extern const std::array<const char*, 5> kFeatureKindOptionNames;

// "FIRST-LAST" or a list of components and ranges ("0-11,13"): the set that
// counts, and the considered components, up to the last one named.
struct ComponentChoice {
    int32_t considered = 0;
    Set256 set;
};
ComponentChoice ComponentsNamed(const std::string& text);

// Reads every event of the files, which must be of one kind (fvs files or
// tables) and one analysis; refuses with a TrainingError naming the file and
// the reason (a file that is no event file of its kind, a field in which the
// analyses differ, an averaging window outside 1..401 frames, components
// beyond what a table holds).
TrainingSource ReadTrainingFiles(const std::vector<std::string>& paths, const ReadingOptions& o);

// The tree file of a grown tree: the training settings of the source, the
// training file and wave names, the category labels and the averaging.
// `heading` follows "date " on line 1.
TreeFileContents TreeFileOf(GrownTree grown, const TrainingSource& source, int featureKind,
                            int32_t averagingMs, const std::string& heading);

}  // namespace zortan::train
