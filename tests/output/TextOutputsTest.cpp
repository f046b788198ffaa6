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
        o.waveFileDir = "C:\\w\\train.wav", o.treeTrainingFileDir = "C:\\o\\train.fvs";
        o.treeFileDir = "C:\\t\\a.vq1", o.waveFileDir1 = "C:\\w\\in.wav", o.data1IsFvs = 1;
        o.fvsEventsFileDir1 = "C:\\o\\in.fvs", o.txtEventsFileDir1 = "C:\\d\\in.txt";
        QuantizationTree& t = program.tree;
        // Feature kind 0 has 23 characters: it pushes its row on.
        t.training = {0, 0, 0, 1, true, false, 0, 10.0, 16000.0};
        TreeTrainingSettings& tt = t.treeTraining;
        tt.setsDividingMethod = 1, tt.setChoiceCriterion = tt.setChoiceClassifier = 0;
        tt.featuresChoiceCriterion = 2, tt.featuresChoiceClassifier = -1;
        tt.classifierNames = {"phon", "person", "voicing"};
        t.cath1Nbr = 5, t.cath2Nbr = 300, t.cath3Nbr = -1;  // recorded as 5, 255, 0
        EventSeries &d1 = program.data1, &d2 = program.data2;
        d1.settings = {-1, -1, 1, 4, false, false, 0, 12.4, 8000.0};
        d1.cathNbr = {3, 12, 2}, d1.lifterThresholdText = "18";
        d2.settings = {-1, 2, -1, 0, true, false, 0, 5.0, 22050.0};
        d2.cathNbr = {1, 0, 255}, d2.lifterThresholdText = "7";
        program.shell.clustersNb = 7;
        program.shell.treeTexts.featuresSet = " all components";
        program.shell.treeTexts.lifterThreshold = "20";
    }

    // Creates a text output at `name` in the temporary folder and returns its bytes.
    std::string create(const std::string& name, const std::string& heading,
                       const std::string& cathName, const Set256& set = {}) {
        std::string path = dir.file(name);
        OutFile file;
        CathTables tables;
        const HeaderSources sources = headerSources(program);
        TextOutputDesk desk{ui, program.options, program.shell, sources};
        EXPECT_TRUE(CreateTextOutput(desk, file, path, 4, "Out codes file saving",
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

TEST(TextHeader, OneInputFormByteForByte) {
    Session s;
    std::vector<std::string> expected = kOpening;
    expected.insert(
        expected.end(),
        {
            std::string(211, '-'),
            "Settings numer. codes  TRB                     Training TRB file       Input file "
            "(coded "
            "events)     Explanatory notes",
            std::string(211, '='),
            "      0      0     -1  rare power spectr. (ps),  no," + B(20) + " Checked off," +
                B(11) + " " + B(6) + "radiogroups: Coded feature vectors," + B(7) + "Filter," +
                B(22) + "Filter",
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
            "      5    255      0  xxx" + B(16) + "       5     255       0" + B(5) + "xxx" +
                B(6) + "xxx" + B(6) + "xxx" + B(9) +
                "numbers of train file cathegory values,   xxx" + B(26) + "xxx",
            "      3     12      2  xxx" + B(21) + "xxx" + B(6) + "xxx" + B(6) +
                "xxx     3      12       2" + B(11) +
                "numbers of encoded file cathegory values, xxx" + B(26) + "xxx",
            "     10  16000      0  xxx" + B(15) + "     10.0  16000.0" + B(12) + "xxx" + B(6) +
                "xxx" + B(18) + "frame step[ms], " + B(26) + "rate[Hz] for training file,  xxx",
            "     12   8000      0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(7) +
                "     12.4   8000.0" + B(18) + "frame step[ms], " + B(26) +
                "rate[Hz] for encoded file,   xxx",
            "     20     18      0  xxx" + B(16) + "      20" + B(22) + "18" + B(27) + "xxx" +
                B(39) + "cepstrum lifter treshold" + B(5) + "cepstrum lifter treshold",
            std::string(211, '_'),
            "",
            "Output codes:",
        });
    const std::string bytes = s.create("a_code.txt", "Events codes.", "code");
    EXPECT_EQ(splitLines(bytes), expected);
    // Every line ends with CR LF, the last one included; no list follows.
    EXPECT_EQ(bytes.substr(bytes.size() - 15), "Output codes:\r\n");
}

TEST(TextHeader, TwoInputFormWithAveragingByteForByte) {
    Session s;
    s.program.tree.training.averaging = true;
    s.program.shell.treeTexts.averagingCaptions = {"rectangle", "40ms", "4frames", "10ms", "xxx",
                                                   "xxx",       "xxx",  "xxx",     "xxx"};
    s.program.shell.compareMode = true;
    s.program.tree.training.featureKind = 3;
    const std::string x3 = "xxx" + B(26) + "xxx", x5 = "xxx" + B(5);
    std::vector<std::string> expected = kOpening;
    expected.insert(
        expected.end(),
        {
            std::string(248, '-'),
            "Settings numer. codes       TRB                     Training TRB file       Input1 "
            "file             Input2 file             Explanatory notes",
            std::string(248, '='),
            "      3      0     -1    2  cepstrum," + B(14) + " no," + B(20) + " Checked off," +
                B(11) + " 1000," + B(18) + " radiogroups: Coded feature vectors," + B(7) +
                "Filter," + B(22) + "Filter," + B(22) + "Filter",
            "      1      0      1   -1  Centroids," + B(13) + " like for no filtering, " +
                " like for filtered," + B(5) + " Checked off," + B(11) +
                " radiogroups: Sets  dividing method," + B(7) + "Scaling constants," + B(11) +
                "Scaling constants," + B(11) + "Scaling constants",
            "      0      1      4    0  xxx," + B(20) + "Gauss," + B(17) + " FlatTop," + B(15) +
                " Rectangle," + B(13) + " radiogroups: xxx," + B(25) + "Widows shape," + B(16) +
                "Widows shape," + B(16) + "Widows shape",
            "      0      0      0    0  Distortion |Cohr.," + B(5) + " xxx," + B(20) + "xxx," +
                B(20) + "xxx," + B(20) + "radiogroups: Set choice criteria," + B(9) + "xxx," +
                B(25) + "xxx," + B(25) + "xxx",
            "      0      0      0    0  phon," + B(18) + " xxx," + B(20) + "xxx," + B(20) +
                "xxx," + B(20) + "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx," +
                B(25) + "xxx",
            "      2      0      0    0  Info Radius," + B(11) + " xxx," + B(20) + "xxx," + B(20) +
                "xxx," + B(20) + "radiogroups: Features choice crit.," + B(7) + "xxx," + B(25) +
                "xxx," + B(25) + "xxx",
            "     -1      0      0    0  Checked off," + B(11) + " xxx," + B(20) + "xxx," + B(20) +
                "xxx," + B(20) + "radiogroups: Classifier," + B(18) + "xxx," + B(25) + "xxx," +
                B(25) + "xxx",
            "      1      1      0    1  TRUE," + B(18) + " TRUE," + B(18) + " FALSE," + B(18) +
                "TRUE," + B(19) + "checkBoxes:  Preprocessing: Averaging,    Preemphase," + B(18) +
                "Preemphase" + B(19) + "Preemphase",
            "      5    255      0    0  xxx" + B(16) + "       5     255       0" + B(5) + x5 +
                x5 + x5 + x5 + x5 + x5 + "numbers of train file cathegory values,   " + x3 + B(26) +
                "xxx",
            "      3     12      2    0  xxx" + B(21) + "xxx" + B(5) + "xxx" + B(5) + "xxx" +
                "       3      12       2" + B(5) + x5 + x5 + x5 +
                "numbers of 1-th file file cath. values,   " + x3 + B(26) + "xxx",
            "      1      0    255    0  xxx" + B(21) + x5 + x5 + x5 + x5 + x5 + "xxx" + B(2) +
                "     1       0     255" + B(5) + "numbers of 2-nd file file cath. values,   " +
                x3 + B(26) + "xxx",
            // The frame-step rows end with two "xxx", not three.
            "     10  16000      0    0  xxx" + B(15) + "     10.0  16000.0" + B(12) + x5 + "xxx" +
                B(13) + x5 + "xxx" + B(13) + "frame step[ms], " + B(26) +
                "rate[Hz] for training file," + B(2) + x3,
            "     12   8000      0    0  xxx" + B(21) + x5 + "xxx" + B(8) + "    12.4  8000.0" +
                B(13) + x5 + "xxx" + B(13) + "frame step[ms], " + B(26) +
                "rate[Hz] for encoded file," + B(3) + x3,
            "      5  22050      0    0  xxx" + B(21) + x5 + "xxx" + B(13) + x5 + "xxx" + B(8) +
                "     5.0 22050.0" + B(13) + "frame step[ms], " + B(26) +
                "rate[Hz] for encoded file," + B(3) + x3,
            "     20     18      7    0  xxx" + B(16) + "      20" + B(22) + "18" + B(22) + "7" +
                B(22) + "xxx" + B(39) + "cepstrum lifter treshold" + B(5) +
                "cepstrum lifter treshold" + B(5) + "cepstrum lifter treshold",
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

TEST(TextHeader, ErrorFileHasNoOutputCodesLineAndNamesTheTextInput) {
    Session s;
    s.program.options.data1IsFvs = 0;
    const auto lines = splitLines(s.create("e_error.txt", "Classification Error.", "error"));
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_TRUE(lines[1].starts_with("Classification Error. Output from Zortan;"));
    EXPECT_EQ(lines[6], "Coded events:         \"C:\\d\\in.txt\"");
    EXPECT_EQ(lines[27], std::string(211, '_'));
    EXPECT_EQ(lines[28], "");
    s.program.data1.settings.windowShape = 5;  // beyond its list
    OutFile file;
    file.create(s.dir.file("x.txt"));
    EXPECT_THROW(WriteTextHeader(headerSources(s.program), file, "Events codes."), RangeError);
}

Set256 setOf(const std::string& members) {
    Set256 set;
    for (char c : members) set.insert(static_cast<unsigned char>(c));
    return set;
}

// The positions written per event: see the combined output tests.
TEST(CategoryFile, ListsValuesInCodeOrderAfterTheHeader) {
    Session s;
    const auto lines =
        splitLines(s.create("a_teach_phon.txt", "phon classification.", "phon", setOf("ba ")));
    ASSERT_EQ(lines.size(), 36u);
    EXPECT_TRUE(lines[1].starts_with("phon classification. Output from Zortan;"));
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 29, lines.end()),
        (std::vector<std::string>{"Output codes:", "3 Ynbr - count of alphabet Y",
                                  "#list for phon char values.", "     0   #32", "     1     a",
                                  "     2     b", "Codes of the cathegory \"phon\" values"}));
    EXPECT_EQ(s.program.shell.statusBarText, "\"cathegory # list create\"");
    EXPECT_EQ(std::vector<std::string>(s.ui.log.end() - 2, s.ui.log.end()),
              (std::vector<std::string>{"status: phon #list creation",
                                        "status: Program finished phon #list creation"}));
}

TEST(BuildCathList, EachBuildStartsFromClearedTables) {
    Session s;
    CathTables t;
    EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", setOf("abc"), t), 3);
    EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", setOf("xc"), t), 2);
    // Nothing left over from the first tree.
    EXPECT_EQ(
        std::vector<int>({t.charToIndex['b'], t.charToIndex['c'], t.charToIndex['x'], t.count}),
        std::vector<int>({0, 0, 1, 2}));
    EXPECT_EQ(std::string(t.indexToChar.begin(), t.indexToChar.begin() + 3),
              std::string("cx\0", 3));
    // All 256 characters: the byte-wide count holds the first 255.
    Set256 all;
    all.words.fill(~uint64_t{0});
    EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", all, t), 255);
    EXPECT_EQ(std::vector<int>({uint8_t(t.indexToChar[254]), t.charToIndex[254], t.charToIndex[255],
                                t.indexToChar[255]}),
              std::vector<int>({254, 254, 0, 0}));
}

// Cancelled dialogs, Cancel and Yes in a whole run: see also the console tests.
TEST(ChooseOutputFile, Flows) {
    const struct {
        std::vector<std::string> answers;  // "@old" / "@new" stand for the two paths
        bool accepted;
        std::string finalName;
        int dialogs, questions;
        bool failFirstDialog = false;  // then the I/O error message comes once
    } cases[] = {
        {{"@new"}, true, "@new", 1, 0},
        {{"@old", "yes"}, true, "@old", 1, 1},
        {{"@old", "no", "@new"}, true, "@new", 2, 1},
        {{"@old", "no", "@old", "yes"}, true, "@old", 2, 2},
        {{"", "cancel"}, false, "@old", 1, 1},  // dialog cancelled, then Cancel
        {{"@new"}, true, "@new", 1, 0, true},
    };
    const std::string ioError =
        "message: Can not overwrite the file because of I/O error 32?\r\n- apply different, "
        "unique name or close the program and try again\r\nor check whether the process can not "
        "access the file because it is used by another process";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.answers));
        Session s;
        const std::string oldPath = s.dir.write("old_code.txt", "old");
        const auto resolve = [&](const std::string& a) {
            return a == "@old" ? oldPath : a == "@new" ? s.dir.file("new_code.txt") : a;
        };
        for (const auto& a : c.answers) s.ui.answers.push_back(resolve(a));
        s.ui.failed = !c.failFirstDialog;
        std::string& name = s.program.options.codeFileName = oldPath;
        EXPECT_EQ(ChooseOutputFile(s.ui, s.program.options, name, 4, "Out codes file saving"),
                  c.accepted);
        EXPECT_EQ(name, resolve(c.finalName));
        EXPECT_TRUE(s.ui.answers.empty());
        const auto count = [&](const std::string& e) {
            return std::count(s.ui.log.begin(), s.ui.log.end(), e);
        };
        EXPECT_EQ(count("question3: |File \"" + oldPath + "\" exists. Overwrite it?"), c.questions);
        EXPECT_EQ(count(ioError), c.failFirstDialog);
        ASSERT_EQ(int(s.ui.dialogs.size()), c.dialogs);
        EXPECT_EQ(s.ui.pendingEventsProcessed, c.dialogs + c.failFirstDialog);
        const FileDialogRequest& r = s.ui.dialogs[0];
        EXPECT_EQ(r.title + "|" + std::to_string(r.filterIndex) + "|" + r.path + "|" +
                      std::to_string(r.filters.size()) + "|" + r.filters.at(5).name,
                  "Out codes file saving|4|" + oldPath + "|8|\"person\" cathegory series only");
        // The choice is remembered, also when it is given up.
        EXPECT_EQ(splitLines(readFileBytes(s.program.options.initFilePath))[9], name);
    }
}

// A missing folder leads to the dialog: see the combined output tests.
TEST(CreateTextOutput, RefusedOverwriteKeepsTheOldFile) {
    Session s;
    OutFile file;
    CathTables tables;
    // Existing file, dialog cancelled, overwrite question cancelled.
    std::string path = s.dir.write("old_error.txt", "old");
    s.ui.answers = {"", "cancel"};
    const HeaderSources sources = headerSources(s.program);
    TextOutputDesk desk{s.ui, s.program.options, s.program.shell, sources};
    EXPECT_FALSE(CreateTextOutput(desk, file, path, 8, "Error file saving",
                                  "The final error vector file will not be created.",
                                  "Classification Error.", "error", {}, tables));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(readFileBytes(path), "old");
    EXPECT_EQ(s.ui.messages.back(),
              "The final error vector file will not be created. The old one, namely \"" + path +
                  "\" remains");
}

}  // namespace
}  // namespace zortan
