#include "output/CombinedOutput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::ScriptedUi;
using testing::TempDir;

struct Fixture {
    ScriptedUi ui;
    TempDir dir;
    Program program{ui, dir.path()};
    Fixture() {
        program.options.initFilePath = dir.file("Init.txt");
        program.clock = [] {
            LocalDateTime t;
            t.year = 2024, t.month = 3, t.day = 1, t.hour = 12;
            return t;
        };
        program.shell.clustersNb = 4;
        program.outputs.outputStem = "rec01";
        // Every choice off; each test switches on what it needs.
        program.shell.outputTeachCombined = false;
    }
    std::string bytes(const std::string& path) { return readFileBytes(path); }
};

// Bytes from a hex text such as "fd 00".
std::string hex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == ' ') continue;
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
        ++i;
    }
    return out;
}

TEST(CombinedOutput, CertificateHoldsEveryFieldAtItsOffset) {
    Fixture f;
    Program& p = f.program;
    const std::string longPath(70, 'p');
    p.shell.clustersNb = 300;  // stored as 255, "255 or more"
    p.options.waveFileDir = " C:\\w.wav";
    p.options.treeTrainingFileDir = "C:\\t.fvs";
    p.options.treeFileDir = longPath;
    p.options.waveFileDir1 = "w1";
    p.options.waveFileDir2 = "never written";
    p.options.fvsEventsFileDir1 = "f1.fvs";
    AnalysisSettings& tr = p.tree.training;
    tr.featureKind = 3, tr.filter = 2, tr.scalingConstants = 1, tr.windowShape = 4;
    tr.preemphasis = true, tr.frameStep = 10.0, tr.rate = 16000.0, tr.lifterThreshold = 30;
    AnalysisSettings& in = p.data1.settings;
    in.filter = -1, in.scalingConstants = 0, in.windowShape = 1;
    in.frameStep = 12.5, in.rate = 8000.0, in.lifterThreshold = -5;
    p.tree.treeTraining.setChoiceCriterion = 2, p.tree.treeTraining.setChoiceClassifier = 1;
    p.tree.treeTraining.featuresChoiceCriterion = 0;
    p.tree.treeTraining.featuresChoiceClassifier = 2;
    p.tree.cath1Set.insert('a'), p.tree.cath1Set.insert('b');
    p.tree.cath2Set.insert(0), p.tree.cath2Set.insert(255);
    p.tree.cath3Set.insert(' '), p.tree.cath3Set.insert('A');
    p.tree.cath1Nbr = 300, p.tree.cath2Nbr = -1, p.tree.cath3Nbr = 7;
    p.data1.cathNbr = {3, 0, 255};

    // The image worked out field by field from the record layout.
    std::string e(1520, '\0');
    const auto put = [&](size_t at, const std::string& b) { e.replace(at, b.size(), b); };
    const auto text = [&](size_t at, const std::string& t) {
        put(at, std::string(1, static_cast<char>(t.size())) + t);
    };
    put(0, hex("00 00 00 00 00 25 e6 40"));  // 45352 days: 1 March 2024
    put(8, hex("00 00 00 00 00 00 e0 3f"));  // noon
    text(16, " teaching output file ");
    put(80, hex("ff"));
    text(81, " C:\\w.wav"), text(145, "C:\\t.fvs"), text(209, std::string(63, 'p'));
    text(273, "w1"), text(401, "f1.fvs");
    put(465, hex("03 02 ff")), text(468, "Coded feature vectors");
    text(532, "Filter"), text(596, "Filter");
    put(660, hex("01 00")), text(662, "Scaling constants"), text(726, "Scaling constants");
    put(790, hex("00 04 01")), text(857, "Widows shape"), text(921, "Widows shape");
    put(985, hex("02 01")), text(987, "Set choice criteria"), text(1051, "Classifier");
    put(1115, hex("00 02")), text(1117, "Features choice crit."), text(1181, "Classifier");
    put(1245, hex("00 01")), text(1247, "Preemphase"), text(1311, "Preemphase");
    put(1375 + 12, hex("06"));                           // 'a' and 'b'
    put(1407, hex("01")), put(1407 + 31, hex("80"));     // characters 0 and 255
    put(1439 + 4, hex("01")), put(1439 + 8, hex("02"));  // ' ' and 'A'
    put(1471, hex("ff 00 07 03 00 ff"));
    put(1480, hex("00 00 00 00 00 00 24 40 00 00 00 00 00 40 cf 40"));
    put(1496, hex("00 00 00 00 00 00 29 40 00 00 00 00 00 40 bf 40"));
    put(1512, hex("1e 00 00 00 fb ff ff ff"));

    const auto image = buildCertificate(p, " teaching output file ");
    EXPECT_EQ(std::string(image.begin(), image.end()), e);

    // The file carries the count record and the first 1518 bytes only.
    std::string path = f.dir.file("c.zrt");
    OutFile file;
    ASSERT_TRUE(OpenCombinedOutput(p, path, file, " teaching output file "));
    file.close();
    EXPECT_EQ(f.bytes(path), hex("fd 00 00 00 00 00") + e.substr(0, 1518));
    EXPECT_TRUE(f.ui.log.empty());  // a new name in an existing folder: no question
}

TEST(CombinedOutput, FileHoldsCountRecordCertificateAndOneRecordPerEvent) {
    for (int events : {0, 3}) {
        Fixture f;
        Program& p = f.program;
        p.shell.outputTeachCombined = true;
        p.options.teachFileName = f.dir.file("old_Teach.zrt");
        OpenTeachOutputs(p);
        ASSERT_TRUE(p.run.teachOutputActive);
        EXPECT_FALSE(p.run.recogOutputActive);
        EXPECT_EQ(p.options.teachFileName, f.dir.file("old_Teach.zrt"));
        std::string expected;
        for (int i = 0; i < events; ++i) {
            p.run.teachRecord = TOutputRecord{static_cast<uint16_t>(0x0102 * i), 'x', 'y', 'z', 0};
            WriteTeachRecord(p);
            expected +=
                std::string{static_cast<char>(2 * i), static_cast<char>(i), 'x', 'y', 'z', '\0'};
        }
        CloseOutputs(p);
        const std::string bytes = f.bytes(f.dir.file("old_Teach.zrt"));
        ASSERT_EQ(bytes.size(), 6u * (254 + events));
        EXPECT_EQ(bytes.substr(0, 6), hex("fd 00 00 00 00 00"));
        EXPECT_EQ(bytes.substr(6 + 16, 23), std::string(1, 22) + " teaching output file ");
        EXPECT_EQ(bytes.substr(1524), expected);
    }
}

TEST(CombinedOutput, OutputNamesFollowTheFolderAndTheStem) {
    EXPECT_EQ(outputStemOf("D:\\data\\rec01.take2.fvs"), "rec01");
    EXPECT_EQ(outputStemOf("/data/rec01.take2.fvs"), "rec01");
    EXPECT_EQ(outputStemOf("C:\\data.d\\nodot"), "");

    Fixture f;
    Program& p = f.program;
    p.cathLabel1 = "phon", p.cathLabel2 = "person", p.cathLabel3 = "voic";
    BuildOutputNames(p, "rec01", "C:\\wkd\\Zortan\\Results\\_Teach.zrt");
    const InitFileOptions& o = p.options;
    const std::string F = "C:\\wkd\\Zortan\\Results\\rec01";
    EXPECT_EQ(o.teachFileName, F + "_Teach.zrt");
    EXPECT_EQ(o.errorFileName, F + "_error.txt");
    EXPECT_EQ(o.codeFileName, F + "_code.txt");
    EXPECT_EQ(o.teachCath1FileName, F + "_teach_phon.txt");
    EXPECT_EQ(o.teachCath2FileName, F + "_teach_person.txt");
    EXPECT_EQ(o.teachCath3FileName, F + "_teach_voic.txt");
    EXPECT_EQ(o.recogFileName, F + "_Recog.zrt");
    EXPECT_EQ(o.recogCath1FileName, F + "_recog_phon.txt");
    EXPECT_EQ(o.recogCath2FileName, F + "_recog_person.txt");
    EXPECT_EQ(o.recogCath3FileName, F + "_recog_voic.txt");

    const struct {
        std::string path, stem, teach;
    } cases[] = {
        {"C:\\_Teach.zrt", "rec01", "C:\\rec01_Teach.zrt"},  // the root keeps one backslash
        {"C:x.zrt", "rec01", "C:\\rec01_Teach.zrt"},
        {"C:\\a\\b.zrt", "", "C:\\a\\_Teach.zrt"},  // empty stem
        {"/tmp/out/b.zrt", "s", "/tmp/out/s_Teach.zrt"},
        {"/b.zrt", "s", "/s_Teach.zrt"},
        {"b.zrt", "s", "s_Teach.zrt"},  // the current folder
    };
    for (const auto& c : cases) {
        BuildOutputNames(p, c.stem, c.path);
        EXPECT_EQ(o.teachFileName, c.teach) << c.path;
        // The driver builds the names once more from the built teaching name.
        BuildOutputNames(p, c.stem, o.teachFileName);
        EXPECT_EQ(o.teachFileName, c.teach) << c.path;
    }
}

TEST(CombinedOutput, ChoiceOnlyWhenTheFileExistsOrItsFolderIsMissing) {
    const std::string declined =
        "The final,  teaching output file  will not be created. The old one, namely \"";
    {  // an existing file: Cancel in the overwrite question keeps it
        Fixture f;
        std::string name = f.dir.write("t.zrt", "keep");
        f.ui.answers = {name, "cancel"};
        OutFile file;
        EXPECT_FALSE(OpenCombinedOutput(f.program, name, file, " teaching output file "));
        EXPECT_FALSE(file.isOpen());
        ASSERT_EQ(f.ui.dialogs.size(), 1u);
        EXPECT_EQ(f.ui.dialogs[0].title, " teaching output file  saving");
        EXPECT_EQ(f.ui.dialogs[0].filterIndex, 3);
        ASSERT_EQ(f.ui.messages.size(), 1u);
        EXPECT_EQ(f.ui.messages[0], declined + name + "\" remains");
        EXPECT_EQ(f.bytes(name), "keep");
    }
    {  // an existing file overwritten after Yes
        Fixture f;
        std::string name = f.dir.write("t.zrt", "old");
        f.ui.answers = {name, "yes"};
        OutFile file;
        EXPECT_TRUE(OpenCombinedOutput(f.program, name, file, " teaching output file "));
        file.close();
        EXPECT_EQ(f.bytes(name).size(), 1524u);
    }
    {  // a missing folder: the dialog, then the picked new name without a question
        Fixture f;
        std::string name = f.dir.file("missing/t.zrt");
        f.ui.answers = {f.dir.file("picked.zrt")};
        OutFile file;
        EXPECT_TRUE(OpenCombinedOutput(f.program, name, file, " recognition output file "));
        file.close();
        EXPECT_EQ(name, f.dir.file("picked.zrt"));
        EXPECT_EQ(f.ui.dialogs.at(0).title, " recognition output file  saving");
        EXPECT_TRUE(f.ui.messages.empty());
        EXPECT_EQ(f.bytes(name).substr(6 + 16, 26),
                  std::string(1, 25) + " recognition output file ");
    }
}

TEST(CombinedOutput, PickedNameStaysTheNameOfTheWrittenFile) {
    Fixture f;
    Program& p = f.program;
    p.shell.outputTeachCombined = true;
    p.options.teachFileName = f.dir.file("missing/rec01_Teach.zrt");
    const std::string picked = f.dir.file("mine.zrt");
    f.ui.answers = {picked};
    OpenTeachOutputs(p);
    EXPECT_EQ(p.options.teachFileName, picked);
    EXPECT_EQ(p.outputs.choiceLabels[0], picked);
    EXPECT_EQ(p.options.errorFileName, f.dir.file("rec01_error.txt"));  // the picked folder
    CloseOutputs(p);
    f.ui.messages.clear();
    ShowFinishMessage(p);
    EXPECT_EQ(f.ui.messages.at(0), "Program finished\r\nFind results in:\r\n\"" + picked +
                                       "\",\r\n\" and in\r\n\"" + p.options.errorFileName + "\"");
    EXPECT_EQ(f.bytes(picked).size(), 1524u);

    // The same for the recognition file when it is the only output.
    Fixture g;
    g.program.shell.outputRecogCombined = true;
    g.program.options.teachFileName = g.dir.file("missing/rec01_Teach.zrt");
    g.ui.answers = {g.dir.file("mine.zrt")};
    OpenTeachOutputs(g.program);
    OpenRecogOutputs(g.program);
    EXPECT_EQ(g.program.options.recogFileName, g.dir.file("mine.zrt"));
    EXPECT_EQ(g.program.options.teachFileName, g.dir.file("rec01_Teach.zrt"));
}

TEST(CombinedOutput, CodeAndCategoryFilesGetOneItemPerEvent) {
    Fixture f;
    Program& p = f.program;
    ShellState& s = p.shell;
    s.outputTeachCodes = s.outputRecogCodes = true;
    s.outputTeachCath2 = s.outputRecogCath3 = true;
    s.outputRecogCombined = true;
    p.cathLabel2 = "pers", p.cathLabel3 = "voic";
    p.tree.cath1Set.insert('a'), p.tree.cath1Set.insert('b');
    p.tree.cath2Set.insert('m'), p.tree.cath2Set.insert('w');
    p.tree.cath3Set.insert('u'), p.tree.cath3Set.insert('v'), p.tree.cath3Set.insert('z');
    BuildOutputNames(p, "rec01", f.dir.file("x.zrt"));
    OpenTeachOutputs(p);
    OpenRecogOutputs(p);
    ASSERT_TRUE(p.run.teachOutputActive && p.run.recogOutputActive);
    EXPECT_EQ(p.outputs.choiceLabels[1], p.options.codeFileName);
    EXPECT_EQ(p.outputs.choiceLabels[6], p.options.codeFileName);
    const std::string events[2][2] = {{"amu", "bwz"}, {"bwv", "amu"}};  // teach, recog
    for (int i = 0; i < 2; ++i) {
        p.run.teachRecord = TOutputRecord{static_cast<uint16_t>(0x141 + i), events[i][0][0],
                                          events[i][0][1], events[i][0][2], 0};
        p.run.recogRecord = TOutputRecord{static_cast<uint16_t>(0x141 + i), events[i][1][0],
                                          events[i][1][1], events[i][1][2], 0};
        WriteTeachRecord(p);
        WriteRecogRecord(p);
    }
    CloseOutputs(p);
    EXPECT_FALSE(p.outputs.codeFile.isOpen());
    // One code character per event (low 8 bits), written by the teaching step.
    EXPECT_TRUE(f.bytes(p.options.codeFileName).ends_with("Output codes:\r\nAB"));
    EXPECT_TRUE(f.bytes(p.options.teachCath2FileName).ends_with("\"pers\" values\r\n 0 1"));
    EXPECT_TRUE(f.bytes(p.options.recogCath3FileName).ends_with("\"voic\" values\r\n 2 0"));
    EXPECT_EQ(f.bytes(p.options.recogFileName).substr(1524), std::string("A\x01"
                                                                         "bwz\0B\x01"
                                                                         "amu\0",
                                                                         12));

    // A run with only the recognition combined file still has the value lists
    // through which the leaf's readings become characters.
    Fixture g;
    g.program.shell.outputRecogCombined = true;
    g.program.tree.cath3Set.insert('u'), g.program.tree.cath3Set.insert('v');
    g.program.options.recogFileName = g.dir.file("r.zrt");
    OpenTeachOutputs(g.program);
    EXPECT_EQ(g.program.outputs.cathTables[2].indexToChar[1], 'v');
    EXPECT_EQ(g.program.outputs.cathTables[2].charToIndex['v'], 1);
}

TEST(CombinedOutput, FinishMessageListsTheChosenFilesOfBothGroups) {
    const std::string list = "Program finished\r\nFind results in:\r\n\"";
    const std::string teachOff =
        "Program finished.\r\nDue to your choice teach results were not saved...";
    const std::string recogOff =
        "Program finished.\r\nDue to your choice recognition results were not saved...";
    struct Case {
        std::array<bool, 10> on;  // teach combined, code, 1, 2, 3, then recognition
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {list + "T\",\r\n\" and in\r\n\"E\"", recogOff}},
        {{0, 0, 0, 0, 0, 1, 0, 0, 0, 1}, {teachOff, list + "R\",\r\n\"r3\"\r\n and in\r\n\"E\""}},
        {{1, 1, 1, 0, 1, 1, 1, 0, 1, 0},
         {list + "T\",\r\n\"C\",\r\n\"t1\",\r\n\"t3\"\r\nR\",\r\n\"C\",\r\n\"r2\",\r\n\" and "
                 "in\r\n\"E\""}},
        {{0, 0, 0, 1, 0, 0, 0, 0, 0, 0}, {list + "t2\",\r\n\" and in\r\n\"E\"", recogOff}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {teachOff, recogOff}},
    };
    for (const Case& c : cases) {
        Fixture f;
        Program& p = f.program;
        ShellState& s = p.shell;
        bool* flags[10] = {&s.outputTeachCombined, &s.outputTeachCodes, &s.outputTeachCath1,
                           &s.outputTeachCath2,    &s.outputTeachCath3, &s.outputRecogCombined,
                           &s.outputRecogCodes,    &s.outputRecogCath1, &s.outputRecogCath2,
                           &s.outputRecogCath3};
        for (int i = 0; i < 10; ++i) *flags[i] = c.on[i];
        p.run.teachOutputActive = c.on[0] || c.on[1] || c.on[2] || c.on[3] || c.on[4];
        p.run.recogOutputActive = c.on[5] || c.on[6] || c.on[7] || c.on[8] || c.on[9];
        InitFileOptions& o = p.options;
        o.teachFileName = "T", o.codeFileName = "C", o.errorFileName = "E", o.recogFileName = "R";
        o.teachCath1FileName = "t1", o.teachCath2FileName = "t2", o.teachCath3FileName = "t3";
        o.recogCath1FileName = "r1", o.recogCath2FileName = "r2", o.recogCath3FileName = "r3";
        ShowFinishMessage(p);
        EXPECT_EQ(f.ui.messages, c.messages);
    }
}

TEST(CombinedOutput, CloseOutputsClosesEveryFileAndRaisesTheFirstFailure) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Fixture f;
    Program& p = f.program;
    p.shell.outputTeachCombined = p.shell.outputTeachCodes = true;
    p.run.teachOutputActive = true;
    p.outputs.teachCombined.create("/dev/full");
    p.outputs.teachCombined.write("record", 6);
    p.outputs.codeFile.create(f.dir.file("code.txt"));
    p.outputs.codeFile.put('A');
    p.outputs.errorFile.create(f.dir.file("error.txt"));
    try {
        CloseOutputs(p);
        FAIL() << "the failed close was not raised";
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), 101);
    }
    EXPECT_FALSE(p.outputs.teachCombined.isOpen());
    EXPECT_FALSE(p.outputs.codeFile.isOpen());
    EXPECT_FALSE(p.outputs.errorFile.isOpen());
    EXPECT_EQ(f.bytes(f.dir.file("code.txt")), "A");
    EXPECT_NO_THROW(CloseOutputs(p));  // nothing left open
}

}  // namespace
}  // namespace zortan
