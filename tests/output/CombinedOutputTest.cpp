#include "output/CombinedOutput.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "support/DataText.h"
#include "support/Session.h"
#include "window/Program.h"

namespace zortan {
namespace {

using testing::readFileBytes;

struct Fixture : testing::Workspace {
    Program program{ui, dir.path()};
    Fixture() {
        program.options.initFilePath = dir.file("Init.txt");
        program.clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        program.shell.clustersNb = 4, program.outputs.outputStem = "rec01";
        program.shell.outputTeachCombined = false;  // each test switches on what it needs
    }
};

// The image a file describes: per line an offset, then hex bytes or a quoted
// text (stored behind its length byte), then a note; the rest is zero.
std::string image(const std::string& description) {
    std::string e(1520, '\0'), line;
    for (std::istringstream lines(description); std::getline(lines, line);) {
        std::istringstream in(line);
        size_t at = 0, quote = line.find('"');
        std::string bytes, b;
        in >> at;
        if (quote != std::string::npos)
            bytes = line.substr(quote + 1, line.rfind('"') - quote - 1),
            bytes.insert(0, 1, char(bytes.size()));
        while (quote == std::string::npos && in >> b && b.size() == 2 && std::isxdigit(b[0]) &&
               std::isxdigit(b[1]))
            bytes += char(std::stoi(b, nullptr, 16));
        e.replace(at, bytes.size(), bytes);
    }
    return e;
}

const std::string kTeach = " teaching output file ";

TEST(CombinedOutput, CertificateHoldsEveryFieldAtItsOffset) {
    Fixture f;
    Program& p = f.program;
    p.shell.clustersNb = 256;  // stored as 255, "255 or more"
    InitFileOptions& o = p.options;
    o.waveFileDir = " C:\\w.wav", o.treeTrainingFileDir = "C:\\t.fvs";
    o.treeFileDir = std::string(64, 'p');  // texts keep their first 63 characters
    o.waveFileDir1 = std::string(63, 'w'), o.waveFileDir2 = "never written";
    o.fvsEventsFileDir1 = "f1.fvs";
    AnalysisSettings& tr = p.tree.training;
    tr.featureKind = 3, tr.filter = 2, tr.scalingConstants = 1, tr.windowShape = 4;
    tr.preemphasis = true, tr.frameStep = 10.0, tr.rate = 16000.0, tr.lifterThreshold = 30;
    AnalysisSettings& in = p.data1.settings;
    in.filter = -1, in.scalingConstants = 0, in.windowShape = 1;
    in.frameStep = 12.5, in.rate = 8000.0, in.lifterThreshold = -5;
    TreeTrainingSettings& tt = p.tree.treeTraining;
    tt.setChoiceCriterion = 2, tt.setChoiceClassifier = 1;
    tt.featuresChoiceCriterion = 0, tt.featuresChoiceClassifier = 2;
    p.tree.cath[0].set.insert('a'), p.tree.cath[0].set.insert('b');
    p.tree.cath[1].set.insert(0), p.tree.cath[1].set.insert(255);
    p.tree.cath[2].set.insert(' '), p.tree.cath[2].set.insert('A');
    p.tree.cath[0].nbr = 256, p.tree.cath[1].nbr = -1,
    p.tree.cath[2].nbr = 255;  // counts are bytes
    p.data1.cathNbr = {3, 0, 255};

    // The image worked out field by field from the record layout.
    const std::string e = image(testing::dataText("certificate.txt"));
    const auto built = buildCertificate(headerSources(p), kTeach);
    EXPECT_EQ(std::string(built.begin(), built.end()), e);

    // The file carries the count record and the first 1518 bytes only.
    std::string path = f.dir.file("c.zrt");
    OutFile file;
    OutputsDesk d = outputsDesk(p);
    ASSERT_TRUE(OpenCombinedOutput(d, path, file, kTeach));
    file.close();
    EXPECT_EQ(readFileBytes(path), std::string("\xFD\0\0\0\0\0", 6) + e.substr(0, 1518));
    EXPECT_TRUE(f.ui.log.empty());  // a new name in an existing folder: no question
}

// The stem is the event file's name cut before its first "."; a root folder
// keeps its one separator; building again from a built name changes nothing.
TEST(CombinedOutput, OutputNamesFollowTheFolderAndTheStem) {
    EXPECT_EQ(outputStemOf("D:\\data\\rec01.take2.fvs") + outputStemOf("/d/rec01.take2.fvs"),
              "rec01rec01");
    EXPECT_EQ(outputStemOf("C:\\data.d\\nodot"), "");
    Fixture f;
    Program& p = f.program;
    const InitFileOptions& o = p.options;
    const CathLabels labels{&p.cathLabel1, &p.cathLabel2, &p.cathLabel3};
    const struct {
        std::string path, stem, teach;
    } cases[] = {
        {"C:\\_Teach.zrt", "rec01", "C:\\rec01_Teach.zrt"},
        {"C:x.zrt", "r", "C:\\r_Teach.zrt"},
        {"C:\\a\\b.zrt", "", "C:\\a\\_Teach.zrt"},
        {"/tmp/o/b.zrt", "s", "/tmp/o/s_Teach.zrt"},
        {"/b.zrt", "s", "/s_Teach.zrt"},
        {"b.zrt", "s", "s_Teach.zrt"},
    };
    for (const auto& c : cases) {
        BuildOutputNames(p.options, labels, c.stem, c.path);
        EXPECT_EQ(o.teachFileName, c.teach) << c.path;
        BuildOutputNames(p.options, labels, c.stem, o.teachFileName);
        EXPECT_EQ(o.teachFileName, c.teach) << c.path;
    }
}

// A name picked for a missing folder stays the written file's and moves the
// other names to its folder. A record per event: code, three qualifiers, 0.
TEST(CombinedOutput, PickedNameAndRecordsPerEvent) {
    Fixture f;
    Program& p = f.program;
    p.shell.outputTeachCombined = p.shell.outputRecogCombined = true;
    BuildOutputNames(p.options, {&p.cathLabel1, &p.cathLabel2, &p.cathLabel3}, "rec01",
                     f.dir.file("missing/x.zrt"));
    const std::string picked = f.ui.answers.emplace_back(f.dir.file("mine.zrt"));
    OutputsDesk d = outputsDesk(p);
    OpenTeachOutputs(d);
    OpenRecogOutputs(d);
    EXPECT_EQ(p.options.teachFileName, picked);
    EXPECT_EQ(p.outputs.choiceLabels[0], picked);  // the finish message names it
    EXPECT_EQ(p.options.errorFileName, f.dir.file("rec01_error.txt"));
    p.run.teachRecord = TOutputRecord{0x1FF, 'a', 'm', 'u', 0};
    p.run.recogRecord = TOutputRecord{0x100, 'b', 'w', 'z', 0};
    WriteTeachRecord(d);
    WriteRecogRecord(d);
    CloseOutputs(d);
    EXPECT_EQ(readFileBytes(picked).substr(1524), std::string("\xFF\1amu\0", 6));
    EXPECT_EQ(f.bytes("rec01_Recog.zrt").substr(1524), std::string("\0\1bwz\0", 6));
}

// Each group's chosen files, or that it saved nothing, after each choice's flags.
TEST(CombinedOutput, FinishMessageListsTheChosenFilesOfBothGroups) {
    std::string shown;
    // Teach combined, code, 1, 2, 3, then the same for recognition.
    for (const std::string on :
         {"1000000000", "0000010001", "1110111010", "0001000000", "0000000000"}) {
        Fixture f;
        Program& p = f.program;
        for (size_t i = 0; i < 10; ++i) p.shell.*kOutputChoices[i].chosen = on[i] == '1';
        p.run.teachOutputActive = on.substr(0, 5).find('1') != std::string::npos;
        p.run.recogOutputActive = on.substr(5).find('1') != std::string::npos;
        InitFileOptions& o = p.options;
        o.teachFileName = "T", o.codeFileName = "C", o.errorFileName = "E", o.recogFileName = "R";
        o.teachCath1FileName = "t1", o.teachCath2FileName = "t2", o.teachCath3FileName = "t3";
        o.recogCath1FileName = "r1", o.recogCath2FileName = "r2", o.recogCath3FileName = "r3";
        OutputsDesk d = outputsDesk(p);
        ShowFinishMessage(d);
        shown += on + "\n";
        for (const std::string& m : f.ui.messages) shown += m + "\n";
    }
    EXPECT_EQ(shown, testing::dataText("finish-messages.txt"));
}

}  // namespace
}  // namespace zortan
