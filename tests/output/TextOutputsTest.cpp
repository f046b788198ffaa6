#include "output/TextOutputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/InitFile.h"
#include "support/DataText.h"
#include "support/Session.h"
#include "window/OutputDialogs.h"
#include "window/Program.h"
#include "window/ShellRules.h"

namespace zortan {
namespace {

using testing::readFileBytes;

Set256 setOf(const std::string& members) {
    Set256 set;
    for (char c : members) set.insert(static_cast<unsigned char>(c));
    return set;
}

// A program with a small combination of settings and a fixed clock.
struct Session : testing::Workspace {
    Program program{ui, dir.path()};

    Session() {
        ReadInitFile(program.options, ui, dir.path());
        program.clock = [] { return LocalDateTime{2026, 12, 6, 21, 5, 9, 0}; };
        InitFileOptions& o = program.options;
        o.waveFileDir = "C:\\w\\train.wav", o.treeTrainingFileDir = "C:\\o\\train.fvs";
        o.treeFileDir = "C:\\t\\a.vq1", o.waveFileDir1 = "C:\\w\\in.wav", o.data1IsFvs = 1;
        o.fvsEventsFileDir1 = "C:\\o\\in.fvs", o.txtEventsFileDir1 = "C:\\d\\in.txt";
        QuantizationTree& t = program.tree;
        // Feature kind 0 has 23 characters: it pushes the rest of its row on.
        t.training = {0, 0, 0, 1, true, false, 0, 10.0, 16000.0};
        TreeTrainingSettings& tt = t.treeTraining;
        tt.setsDividingMethod = 1, tt.setChoiceCriterion = tt.setChoiceClassifier = 0;
        tt.featuresChoiceCriterion = 2, tt.featuresChoiceClassifier = -1;
        tt.classifierNames = {"phon", "person", "voicing"};
        t.cath[0].nbr = 5, t.cath[1].nbr = 300, t.cath[2].nbr = -1;  // recorded as 5, 255, 0
        EventSeries &d1 = program.data1, &d2 = program.data2;
        d1.settings = {-1, -1, 1, 4, false, false, 0, 12.4, 8000.0};
        d1.cathNbr = {3, 12, 2}, d1.lifterThresholdText = "18";
        d2.settings = {-1, 2, -1, 0, true, false, 0, 5.0, 22050.0};
        d2.cathNbr = {1, 0, 255}, d2.lifterThresholdText = "7";
        program.shell.clustersNb = 7, program.shell.treeTexts.featuresSet = " all components";
        program.shell.treeTexts.lifterThreshold = "20";
    }

    // The kind of output a heading and a category name stand for here.
    static TextOutputKind kindOf(const std::string& heading, const std::string& cathName) {
        if (heading == "Classification Error.") return TextOutputKind::Error;
        return cathName == "code" ? TextOutputKind::Codes : TextOutputKind::Category;
    }

    // Creates a text output at `name` in the temporary folder; false when
    // the user declined it.
    bool create(std::string& path, const std::string& heading, const std::string& cathName,
                const Set256& set = {}) {
        OutFile file;
        CathTables tables;
        const HeaderSources sources = headerSources(program);
        DialogChooser chooser(ui, program.options, program.shell);
        TextOutputDesk desk{chooser, sources};
        const bool created =
            CreateTextOutput(desk, file, path, 4, "Out codes file saving",
                             "The final out code file will not be created.", heading,
                             kindOf(heading, cathName), cathName, set, tables);
        file.close();
        return created;
    }
    // ... and returns its bytes.
    std::string create(const std::string& name, const std::string& heading,
                       const std::string& cathName, const Set256& set = {}) {
        std::string path = dir.file(name);
        EXPECT_TRUE(create(path, heading, cathName, set));
        return readFileBytes(path);
    }
};

TEST(TextHeader, OneAndTwoInputFormsByteForByte) {
    Session s;
    EXPECT_EQ(s.create("a_code.txt", "Events codes.", "code"),
              testing::dataText("header-one-input.txt"));
    // The error file: no "Output codes:" line; a text input named by its path.
    s.program.options.data1IsFvs = 0;
    EXPECT_EQ(s.create("e_error.txt", "Classification Error.", "error"),
              testing::dataText("header-error-file.txt"));
    // A setting index past its names stops the header.
    s.program.data1.settings.windowShape = 5;
    OutFile file;
    file.create(s.dir.file("x.txt"));
    EXPECT_THROW(WriteTextHeader(headerSources(s.program), file, "Events codes."), RangeError);

    // The two-input form, chosen by CreateTextOutput in compare mode, with
    // the averaging block.
    s.program.data1.settings.windowShape = 4, s.program.options.data1IsFvs = 1;
    s.program.tree.training.averaging = true;
    s.program.shell.treeTexts.averagingCaptions = {"rectangle", "40ms", "4frames", "10ms", "xxx",
                                                   "xxx",       "xxx",  "xxx",     "xxx"};
    s.program.shell.compareMode = true, s.program.tree.training.featureKind = 3;
    EXPECT_EQ(s.create("c_code.txt", "Events codes.", "code"),
              testing::dataText("header-two-inputs.txt"));
}

// The list in code order after the header; codes below 33 are written as
// numbers, 33 is "!" itself. Each build starts from cleared tables; the
// byte-wide count holds 255 values, so a set of 256 lists its first 255.
TEST(CategoryFile, ListsValuesInCodeOrderAfterTheHeader) {
    Session s;
    const std::string bytes =
        s.create("a_teach_phon.txt", "phon classification.", "phon", setOf("ba !"));
    EXPECT_NE(bytes.find("\r\nphon classification. Output from Zortan;"), std::string::npos);
    EXPECT_TRUE(bytes.ends_with(testing::dataText("category-list-end.txt")));
    EXPECT_EQ(s.program.shell.statusBarText, "\"cathegory # list create\"");

    CathTables t;
    EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", setOf("abc"), t), 3);
    EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", setOf("xc"), t), 2);
    EXPECT_EQ(std::vector<int>({t.charToIndex['b'], t.charToIndex['c'], t.charToIndex['x']}),
              std::vector<int>({0, 0, 1}));
    EXPECT_EQ(std::string(t.indexToChar.begin(), t.indexToChar.begin() + 3),
              std::string("cx\0", 3));
    Set256 set;
    set.words.fill(~uint64_t{0});
    for (int members : {255, 256}) {
        set.words[3] = members == 256 ? ~uint64_t{0} : ~uint64_t{0} >> 1;
        EXPECT_EQ(BuildCathList(s.program.shell, s.ui, "Y1", set, t), 255);
        EXPECT_EQ(std::vector<int>({uint8_t(t.indexToChar[254]), t.charToIndex[254],
                                    t.charToIndex[255], t.indexToChar[255]}),
                  std::vector<int>({254, 254, 0, 0}));
    }
}

// Each answer script's dialogs, questions and choice: "@old" and "@new" stand
// for the two paths, "!" fails the first dialog with an I/O error.
TEST(ChooseOutputFile, Flows) {
    const std::vector<std::string> scripts[] = {
        {"@old", "no", "@new"}, {"@old", "no", "@old", "yes"}, {"", "cancel"}, {"!", "@new"}};
    std::string shown;
    for (const auto& script : scripts) {
        SCOPED_TRACE(::testing::PrintToString(script));
        Session s;
        const std::string oldPath = s.dir.write("old_code.txt", "old");
        for (const std::string& a : script)
            s.ui.answers.push_back(a == "@old"   ? oldPath
                                   : a == "@new" ? s.dir.file("new_code.txt")
                                                 : a);
        std::string& name = s.program.options.codeFileName = oldPath;
        s.program.options.data1IsFvs = 1;
        s.program.options.fvsEventsFileDir1 = s.dir.file("events.fvs");
        const bool accepted =
            ChooseOutputFile(s.ui, s.program.options, name, 4, "Out codes file saving");
        shown += ::testing::PrintToString(script) + "\n";
        for (const std::string& entry : s.ui.log) shown += entry + "\n";
        shown += (accepted ? "accepted " : "declined ") + name + "\n";
        EXPECT_TRUE(s.ui.answers.empty());
        EXPECT_EQ(s.ui.pendingEventsProcessed, int(s.ui.dialogs.size()));
        const FileDialogRequest& r = s.ui.dialogs.at(0);
        EXPECT_EQ(r.startFolder, s.dir.path());  // beside the event file
        EXPECT_EQ(std::to_string(r.filters.size()) + "|" + r.filters.at(5).name,
                  "8|\"person\" cathegory series only");
        // The choice is remembered, also when it is given up.
        EXPECT_NE(readFileBytes(s.program.options.initFilePath).find("\n" + name + "\r\n"),
                  std::string::npos);
        for (size_t at; (at = shown.find(s.dir.file(""))) != std::string::npos;)
            shown.replace(at, s.dir.file("").size(), "@");
    }
    EXPECT_EQ(shown, testing::dataText("choose-output-file.log"));
}

// A text output asks when the file exists or its folder does not, and creates
// a new name at once. A declined file keeps the old one, saying so (the
// combined outputs alike: see the combined output and console tests).
TEST(CreateOutputs, AskWhenTheFileExistsOrItsFolderIsMissing) {
    for (const std::string name : {"new.txt", "old.txt", "missing/new.txt"}) {
        SCOPED_TRACE(name);
        Session s;
        const std::string old = s.dir.write("old.txt", "old");
        std::string path = s.dir.file(name);
        s.ui.answers = {old, "cancel"};  // the old file picked, then Cancel
        const bool asked = name != "new.txt";
        EXPECT_EQ(s.create(path, "Events codes.", "code"), !asked);
        EXPECT_EQ(s.ui.dialogs.size(), asked ? 1u : 0u);
        EXPECT_EQ(readFileBytes(old), "old");
        EXPECT_EQ(s.ui.messages,
                  asked ? std::vector<std::string>{"The final out code file will not be created. "
                                                   "The old one, namely \"" +
                                                   old + "\" remains"}
                        : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace zortan
