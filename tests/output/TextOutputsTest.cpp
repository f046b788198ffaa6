#include "output/TextOutputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/InitFile.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::ScriptedUi;
using testing::TempDir;

std::string B(int n) {
    return std::string(static_cast<size_t>(n), ' ');
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// A save dialog that fails once, as a locked file would make it.
class FailingOnceUi : public ScriptedUi {
  public:
    bool failed = false;
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& r) override {
        if (!failed) {
            failed = true;
            throw InOutError(32, "Sharing violation");
        }
        return ScriptedUi::chooseSaveFile(r);
    }
};

// A program with one small combination of settings, a fixed clock and its
// options file in a temporary folder.
struct Session {
    TempDir dir;
    FailingOnceUi ui;
    Program program{ui, dir.path()};

    Session() {
        ui.failed = true;
        ReadInitFile(program.options, ui, dir.path());
        program.clock = [] { return LocalDateTime{2026, 12, 6, 21, 5, 9, 0}; };
        InitFileOptions& o = program.options;
        o.waveFileDir = "C:\\w\\train.wav";
        o.treeTrainingFileDir = "C:\\o\\train.fvs";
        o.treeFileDir = "C:\\t\\a.vq1";
        o.waveFileDir1 = "C:\\w\\in.wav";
        o.data1IsFvs = 1;
        o.fvsEventsFileDir1 = "C:\\o\\in.fvs";
        o.txtEventsFileDir1 = "C:\\d\\in.txt";

        QuantizationTree& t = program.tree;
        t.training.featureKind = 0;  // 23 characters: pushes its row on
        t.training.filter = 0;
        t.training.scalingConstants = 0;
        t.training.windowShape = 1;
        t.training.preemphasis = true;
        t.training.frameStep = 10.0;
        t.training.rate = 16000.0;
        t.treeTraining.setsDividingMethod = 1;
        t.treeTraining.setChoiceCriterion = 0;
        t.treeTraining.featuresChoiceCriterion = 2;
        t.treeTraining.setChoiceClassifier = 0;
        t.treeTraining.featuresChoiceClassifier = -1;
        t.treeTraining.classifierNames = {"phon", "person", "voicing"};
        t.cath1Nbr = 5;
        t.cath2Nbr = 300;  // recorded as 255
        t.cath3Nbr = -1;   // recorded as 0

        AnalysisSettings& d1 = program.data1.settings;
        d1.filter = -1;
        d1.scalingConstants = 1;
        d1.windowShape = 4;
        d1.frameStep = 12.4;
        d1.rate = 8000.0;
        program.data1.cathNbr = {3, 12, 2};
        program.data1.lifterThresholdText = "18";

        AnalysisSettings& d2 = program.data2.settings;
        d2.filter = 2;
        d2.scalingConstants = -1;
        d2.windowShape = 0;
        d2.preemphasis = true;
        d2.frameStep = 5.0;
        d2.rate = 22050.0;
        program.data2.cathNbr = {1, 0, 255};
        program.data2.lifterThresholdText = "7";

        program.shell.clustersNb = 7;
        program.shell.treeTexts.featuresSet = " all components";
        program.shell.treeTexts.lifterThreshold = "20";
    }

    void averagingOn() {
        program.tree.training.averaging = true;
        program.shell.treeTexts.averagingCaptions = {"rectangle", "40ms", "4frames", "10ms", "xxx",
                                                     "xxx",       "xxx",  "xxx",     "xxx"};
    }

    // Creates a text output at `name` in the temporary folder and returns its bytes.
    std::string create(const std::string& name, const std::string& heading,
                       const std::string& cathName, const Set256& set = {}) {
        std::string path = dir.file(name);
        OutFile file;
        CathTables tables;
        EXPECT_TRUE(CreateTextOutput(program, file, path, 4, "Out codes file saving",
                                     "The final out code file will not be created.", heading,
                                     cathName, set, tables));
        file.close();
        return readFileBytes(path);
    }
};

const std::vector<std::string> kOpening = {
    "date: 2026-12-06 time: 21:05:09",
    "Events codes. Output from Zortan; data sources: wave files, spectrum files, quantization "
    "tree and quantized events data and certificates.",
    "Wave, training file:  \"C:\\w\\train.wav\"",
    "Training TRB file:    \"C:\\o\\train.fvs\"",
    "Tree:                 \"C:\\t\\a.vq1\"",
    "Wave, coded signal:   \"C:\\w\\in.wav\"",
    "Coded events:         \"C:\\o\\in.fvs\"",
    "",
    "Settings:",
    " all components - Constraining set",
    "       7 - Number of used groups",
};

std::vector<std::string> withOpening(const std::vector<std::string>& rest) {
    std::vector<std::string> all = kOpening;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

TEST(TextHeader, OneInputFormByteForByte) {
    Session s;
    const std::vector<std::string> expected = withOpening({
        std::string(211, '-'),
        "Settings numer. codes  TRB                     Training TRB file       Input file (coded "
        "events)     Explanatory notes",
        std::string(211, '='),
        "      0      0     -1  rare power spectr. (ps),  no," + B(20) + " Checked off," + B(11) +
            " " + B(6) + "radiogroups: Coded feature vectors," + B(7) + "Filter," + B(22) +
            "Filter",
        "      1      0      1  Centroids," + B(13) + " like for no filtering, " +
            " like for filtered," + B(5) + " " + B(6) + "radiogroups: Sets  dividing method," +
            B(7) + "Scaling constants," + B(11) + "Scaling constants",
        "      0      1      4  xxx," + B(20) + "Gauss," + B(17) + " FlatTop," + B(15) + " " +
            B(6) + "radiogroups: xxx," + B(25) + "Widows shape," + B(16) + "Widows shape",
        "      0      0      0  Distortion |Cohr.," + B(5) + " xxx," + B(20) + "xxx," + B(26) +
            "radiogroups: Set choice criteria," + B(9) + "xxx," + B(25) + "xxx",
        "      0      0      0  phon," + B(18) + " xxx," + B(20) + "xxx," + B(26) +
            "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx",
        "      2      0      0  Info Radius," + B(11) + " xxx," + B(20) + "xxx," + B(26) +
            "radiogroups: Features choice crit.," + B(7) + "xxx," + B(25) + "xxx",
        "     -1      0      0  Checked off," + B(11) + " xxx," + B(20) + "xxx," + B(26) +
            "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx",
        "      0      1      0  FALSE," + B(17) + " TRUE," + B(18) + " FALSE," + B(24) +
            "checkBoxes:  Preprocessing: Averaging,    Preemphase," + B(18) + "Preemphase",
        "      5    255      0  xxx" + B(16) + "       5     255       0" + B(5) + "xxx" + B(6) +
            "xxx" + B(6) + "xxx" + B(9) + "numbers of train file cathegory values,   xxx" + B(26) +
            "xxx",
        "      3     12      2  xxx" + B(21) + "xxx" + B(6) + "xxx" + B(6) +
            "xxx     3      12       2" + B(11) + "numbers of encoded file cathegory values, xxx" +
            B(26) + "xxx",
        "     10  16000      0  xxx" + B(15) + "     10.0  16000.0" + B(12) + "xxx" + B(6) + "xxx" +
            B(18) + "frame step[ms], " + B(26) + "rate[Hz] for training file,  xxx",
        "     12   8000      0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(7) + "     12.4   8000.0" +
            B(18) + "frame step[ms], " + B(26) + "rate[Hz] for encoded file,   xxx",
        "     20     18      0  xxx" + B(16) + "      20" + B(22) + "18" + B(27) + "xxx" + B(39) +
            "cepstrum lifter treshold" + B(5) + "cepstrum lifter treshold",
        std::string(211, '_'),
        "",
        "Output codes:",
    });
    const std::string bytes = s.create("a_code.txt", "Events codes.", "code");
    EXPECT_EQ(splitLines(bytes), expected);
    // Every line ends with CR LF, the last one included; no list follows.
    EXPECT_EQ(bytes.substr(bytes.size() - 15), "Output codes:\r\n");
}

TEST(TextHeader, TwoInputFormWithAveraging) {
    Session s;
    s.averagingOn();
    s.program.shell.compareMode = true;
    s.program.tree.training.featureKind = 3;
    const std::string ending = "xxx" + B(26) + "xxx" + B(26) + "xxx";
    const std::vector<std::string> expected = withOpening({
        std::string(248, '-'),
        "Settings numer. codes       TRB                     Training TRB file       Input1 file "
        "            Input2 file             Explanatory notes",
        std::string(248, '='),
        "      3      0     -1    2  cepstrum," + B(14) + " no," + B(20) + " Checked off," + B(11) +
            " 1000," + B(18) + " radiogroups: Coded feature vectors," + B(7) + "Filter," + B(22) +
            "Filter," + B(22) + "Filter",
        "      1      0      1   -1  Centroids," + B(13) + " like for no filtering, " +
            " like for filtered," + B(5) + " Checked off," + B(11) +
            " radiogroups: Sets  dividing method," + B(7) + "Scaling constants," + B(11) +
            "Scaling constants," + B(11) + "Scaling constants",
        "      0      1      4    0  xxx," + B(20) + "Gauss," + B(17) + " FlatTop," + B(15) +
            " Rectangle," + B(13) + " radiogroups: xxx," + B(25) + "Widows shape," + B(16) +
            "Widows shape," + B(16) + "Widows shape",
        "      0      0      0    0  Distortion |Cohr.," + B(5) + " xxx," + B(20) + "xxx," + B(20) +
            "xxx," + B(20) + "radiogroups: Set choice criteria," + B(9) + "xxx," + B(25) + "xxx," +
            B(25) + "xxx",
        "      0      0      0    0  phon," + B(18) + " xxx," + B(20) + "xxx," + B(20) + "xxx," +
            B(20) + "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx," + B(25) + "xxx",
        "      2      0      0    0  Info Radius," + B(11) + " xxx," + B(20) + "xxx," + B(20) +
            "xxx," + B(20) + "radiogroups: Features choice crit.," + B(7) + "xxx," + B(25) +
            "xxx," + B(25) + "xxx",
        "     -1      0      0    0  Checked off," + B(11) + " xxx," + B(20) + "xxx," + B(20) +
            "xxx," + B(20) + "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx," + B(25) +
            "xxx",
        "      1      1      0    1  TRUE," + B(18) + " TRUE," + B(18) + " FALSE," + B(18) +
            "TRUE," + B(19) + "checkBoxes:  Preprocessing: Averaging,    Preemphase," + B(18) +
            "Preemphase" + B(19) + "Preemphase",
        "      5    255      0    0  xxx" + B(16) + "       5     255       0" + B(5) + "xxx" +
            B(5) + "xxx" + B(5) + "xxx" + B(5) + "xxx" + B(5) + "xxx" + B(5) + "xxx" + B(5) +
            "numbers of train file cathegory values,   " + ending,
        "      3     12      2    0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(5) +
            "xxx       3      12       2" + B(5) + "xxx" + B(5) + "xxx" + B(5) + "xxx" + B(5) +
            "numbers of 1-th file file cath. values,   " + ending,
        "      1      0    255    0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(5) + "xxx" + B(5) +
            "xxx" + B(5) + "xxx" + B(5) + "xxx       1       0     255" + B(5) +
            "numbers of 2-nd file file cath. values,   " + ending,
        "     10  16000      0    0  xxx" + B(15) + "     10.0  16000.0" + B(12) + "xxx" + B(5) +
            "xxx" + B(13) + "xxx" + B(5) + "xxx" + B(13) + "frame step[ms], " + B(26) +
            "rate[Hz] for training file,  " + ending,
        "     12   8000      0    0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(8) +
            "    12.4  8000.0" + B(13) + "xxx" + B(5) + "xxx" + B(13) + "frame step[ms], " + B(26) +
            "rate[Hz] for encoded file,   " + ending,
        "      5  22050      0    0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(13) + "xxx" + B(5) +
            "xxx" + B(8) + "     5.0 22050.0" + B(13) + "frame step[ms], " + B(26) +
            "rate[Hz] for encoded file,   " + ending,
        "     20     18      7    0  xxx" + B(16) + "      20" + B(22) + "18" + B(22) + "7" +
            B(22) + "xxx" + B(39) + "cepstrum lifter treshold" + B(5) + "cepstrum lifter treshold" +
            B(5) + "cepstrum lifter treshold",
        std::string(248, '_'),
        "",
        "Averaging parameters:",
        std::string(48, '-'),
        "Window      time [ms]   frames      step [ms]   ",
        std::string(48, '='),
        "rectangle   40          4           10          ",
        std::string(48, '-'),
        "Output codes:",
    });
    // CreateTextOutput picks the two-input form in compare mode.
    EXPECT_EQ(splitLines(s.create("c_code.txt", "Events codes.", "code")), expected);
}

TEST(TextHeader, AveragingBlockInOneInputFormAndErrorFileHasNoOutputCodesLine) {
    Session s;
    s.averagingOn();
    auto lines = splitLines(s.create("e_error.txt", "Classification Error.", "error"));
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[1].substr(0, 22), "Classification Error. ");
    EXPECT_EQ(lines[21], "      1      1      0  TRUE," + B(18) + " TRUE," + B(18) + " FALSE," +
                             B(24) + "checkBoxes:  Preprocessing: Averaging,    Preemphase," +
                             B(18) + "Preemphase");
    EXPECT_EQ(lines[27], std::string(211, '_'));
    EXPECT_EQ(lines[28], "");
    EXPECT_EQ(lines[29], "Averaging parameters:");
    EXPECT_EQ(lines[33], "rectangle   40          4           10          ");
    EXPECT_EQ(lines[34], std::string(48, '-'));

    // The text event file's path when the first input is a text table.
    s.program.options.data1IsFvs = 0;
    s.program.tree.training.averaging = false;
    lines = splitLines(s.create("e2_error.txt", "Classification Error.", "error"));
    EXPECT_EQ(lines[6], "Coded events:         \"C:\\d\\in.txt\"");
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(lines.back(), "");
}

TEST(TextHeader, ItemIndexBeyondItsListIsARangeError) {
    Session s;
    s.program.data1.settings.windowShape = 5;
    OutFile file;
    file.create(s.dir.file("x.txt"));
    EXPECT_THROW(WriteTextHeader(s.program, file, "Events codes."), RangeError);
}

Set256 setOf(const std::string& members) {
    Set256 set;
    for (char c : members) set.insert(static_cast<unsigned char>(c));
    return set;
}

TEST(CategoryFile, ListsValuesInCodeOrderAfterTheHeader) {
    Session s;
    const std::string bytes =
        s.create("a_teach_phon.txt", "phon classification.", "phon", setOf("ba "));
    const auto lines = splitLines(bytes);
    ASSERT_EQ(lines.size(), 36u);
    EXPECT_EQ(lines[1].substr(0, 21), "phon classification. ");
    EXPECT_EQ(lines[29], "Output codes:");
    const std::vector<std::string> list(lines.begin() + 30, lines.end());
    EXPECT_EQ(list,
              (std::vector<std::string>{
                  "3 Ynbr - count of alphabet Y", "#list for phon char values.", "     0   #32",
                  "     1     a", "     2     b", "Codes of the cathegory \"phon\" values"}));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(s.program.shell.statusBarText, "\"cathegory # list create\"");
    std::vector<std::string> statuses;
    for (const auto& entry : s.ui.log)
        if (entry.rfind("status: ", 0) == 0) statuses.push_back(entry);
    EXPECT_EQ(statuses, (std::vector<std::string>{"status: phon #list creation",
                                                  "status: Program finished phon #list creation"}));
}

TEST(CategoryFile, EmptySetWritesCountZeroAndNoRows) {
    Session s;
    const auto lines = splitLines(s.create("a_teach_Y1.txt", "Y1 classification.", "Y1"));
    const std::vector<std::string> list(lines.begin() + 30, lines.end());
    EXPECT_EQ(list,
              (std::vector<std::string>{"0 Ynbr - count of alphabet Y", "#list for Y1 char values.",
                                        "Codes of the cathegory \"Y1\" values"}));
}

TEST(BuildCathList, EachBuildStartsFromClearedTables) {
    Session s;
    CathTables tables;
    EXPECT_EQ(BuildCathList(s.program, "Y1", setOf("abc"), tables), 3);
    EXPECT_EQ(tables.charToIndex['c'], 2);
    EXPECT_EQ(BuildCathList(s.program, "Y1", setOf("xc"), tables), 2);
    EXPECT_EQ(tables.charToIndex['b'], 0);  // not left over from the first tree
    EXPECT_EQ(tables.charToIndex['c'], 0);
    EXPECT_EQ(tables.charToIndex['x'], 1);
    EXPECT_EQ(tables.indexToChar[1], 'x');
    EXPECT_EQ(tables.indexToChar[2], '\0');
    EXPECT_EQ(tables.count, 2);

    // All 256 characters: the byte-wide count holds the first 255.
    Set256 all;
    all.words.fill(~uint64_t{0});
    EXPECT_EQ(BuildCathList(s.program, "Y1", all, tables), 255);
    EXPECT_EQ(static_cast<unsigned char>(tables.indexToChar[254]), 254u);
    EXPECT_EQ(tables.charToIndex[254], 254);
    EXPECT_EQ(tables.charToIndex[255], 0);
    EXPECT_EQ(tables.indexToChar[255], '\0');
}

// --- choosing an output file ---

struct ChoiceCase {
    const char* name;
    std::vector<std::string> answers;  // "@old" / "@new" stand for the two paths
    bool accepted;
    const char* finalName;
    int dialogs, questions, ioMessages;
    bool failFirstDialog = false;
};

TEST(ChooseOutputFile, Flows) {
    const std::vector<ChoiceCase> cases = {
        {"new name, no question", {"@new"}, true, "@new", 1, 0, 0},
        {"existing, Yes", {"@old", "yes"}, true, "@old", 1, 1, 0},
        {"No, then a new name", {"@old", "no", "@new"}, true, "@new", 2, 1, 0},
        {"No, then Yes", {"@old", "no", "@old", "yes"}, true, "@old", 2, 2, 0},
        {"dialog cancelled, then Cancel", {"", "cancel"}, false, "@old", 1, 1, 0},
        {"error, then a new name", {"@new"}, true, "@new", 1, 0, 1, true},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        const std::string oldPath = s.dir.write("old_code.txt", "old");
        const std::string newPath = s.dir.file("new_code.txt");
        auto resolve = [&](const std::string& a) {
            return a == "@old" ? oldPath : a == "@new" ? newPath : a;
        };
        for (const auto& a : c.answers) s.ui.answers.push_back(resolve(a));
        s.ui.failed = !c.failFirstDialog;
        std::string& name = s.program.options.codeFileName;
        name = oldPath;

        EXPECT_EQ(ChooseOutputFile(s.program, name, 4, "Out codes file saving"), c.accepted);
        EXPECT_EQ(name, resolve(c.finalName));
        EXPECT_TRUE(s.ui.answers.empty());
        int questions = 0, ioMessages = 0;
        for (const auto& entry : s.ui.log) {
            if (entry.rfind("question3: ", 0) == 0) {
                ++questions;
                EXPECT_EQ(entry, "question3: |File \"" + oldPath + "\" exists. Overwrite it?");
            }
            if (entry.rfind("message: Can not overwrite the file because of I/O error 32?\r\n- "
                            "apply different, unique name or close the program and try "
                            "again\r\nor check whether the process can not access the file "
                            "because it is used by another process",
                            0) == 0)
                ++ioMessages;
        }
        ASSERT_EQ(static_cast<int>(s.ui.dialogs.size()), c.dialogs);
        const FileDialogRequest& r = s.ui.dialogs[0];
        EXPECT_EQ(r.title + "|" + std::to_string(r.filterIndex) + "|" + r.path,
                  "Out codes file saving|4|" + oldPath);
        ASSERT_EQ(r.filters.size(), 8u);
        EXPECT_EQ(r.filters[5].name, "\"person\" cathegory series only");
        EXPECT_EQ(questions, c.questions);
        EXPECT_EQ(ioMessages, c.ioMessages);
        EXPECT_EQ(s.ui.pendingEventsProcessed, c.dialogs + c.ioMessages);
        // The choice is remembered, also when it is given up.
        EXPECT_EQ(splitLines(readFileBytes(s.program.options.initFilePath))[9], name);
    }
}

TEST(CreateTextOutput, AsksOnlyForAnExistingFileOrAMissingFolder) {
    Session s;
    // Existing file, dialog cancelled, overwrite question cancelled: the old
    // file stays as it was.
    std::string path = s.dir.write("old_code.txt", "old");
    s.ui.answers = {"", "cancel"};
    OutFile file;
    CathTables tables;
    EXPECT_FALSE(CreateTextOutput(s.program, file, path, 4, "Out codes file saving",
                                  "The final out code file will not be created.", "Events codes.",
                                  "code", {}, tables));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(readFileBytes(path), "old");
    ASSERT_FALSE(s.ui.messages.empty());
    EXPECT_EQ(s.ui.messages.back(),
              "The final out code file will not be created. The old one, "
              "namely \"" +
                  path + "\" remains");

    // A folder that does not exist leads to the dialog.
    std::string missing = s.dir.file("nowhere") + "/e_error.txt";
    const std::string picked = s.dir.file("e_error.txt");
    s.ui.answers = {picked};
    EXPECT_TRUE(CreateTextOutput(s.program, file, missing, 8, "Error file saving",
                                 "The final error vector file will not be created.",
                                 "Classification Error.", "error", {}, tables));
    EXPECT_EQ(missing, picked);
    EXPECT_EQ(s.ui.dialogs.back().filterIndex, 8);
    file.close();
    EXPECT_EQ(readFileBytes(picked).substr(0, 6), "date: ");
}

}  // namespace
}  // namespace zortan
