// Failing disks and vanishing inputs: an output folder that is a file, a
// full device as an output, a small disk that fills during a run, an input
// removed or cut during a stepwise run. Each stops with the platform's
// input/output error, or goes on, and leaves what was written closed and
// whole. (The tests run as root, so permission bits would not stop a write.)
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "output/OutFile.h"
#include "platform/Errors.h"
#include "robustness/ReferenceRun.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using testing::kOutputs;
using testing::readCombinedFile;
using testing::RunSession;

// No output of this process is open under `folder` (a text input stays
// open after its run).
bool noOutputOpenUnder(const std::string& folder) {
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (!ec && target.starts_with(folder + "/ev_")) return false;
    }
    return true;
}

// The window given back after a run that an error stopped.
void expectWindowGivenBack(const Program& p) {
    EXPECT_TRUE(p.run.runFinished);
    EXPECT_EQ(p.shell.statusCaption, "Program Finished!");
    EXPECT_TRUE(p.shell.controls.readTreeEnabled && p.shell.controls.inputGroupEnabled);
    EXPECT_FALSE(p.shell.controls.breakEnabled || p.shell.controls.stopContinueEnabled);
}

TEST(FaultInjection, OutputFolderThatIsAFileStopsBeforeAnythingIsWritten) {
    RunSession s;
    s.dir.write("blocker", "a file, not a folder");
    s.p.options.teachFileName = s.dir.file("blocker/x_Teach.zrt");
    // The save dialog is cancelled, which keeps the name.
    s.ui.answers = {s.input, ""};
    s.window.click(Command::ReadData1);
    EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Path not found"});
    for (const std::string& o : kOutputs) EXPECT_FALSE(fs::exists(s.dir.file("ev" + o))) << o;
    EXPECT_TRUE(noOutputOpenUnder(s.dir.path()));
    expectWindowGivenBack(s.p);
}

TEST(FaultInjection, FullDeviceAsTheCodeFileFailsItAloneAndTheOthersAreWhole) {
    RunSession s;
    // An old code file makes the program ask for the name: /dev/full.
    s.dir.write("ev_code.txt", "old");
    s.ui.answers = {s.input, "/dev/full", "yes"};
    s.window.click(Command::ReadData1);
    EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Disk full"});
    EXPECT_EQ(s.bytes("ev_code.txt"), "old");
    for (size_t i = 0; i < kOutputs.size(); ++i) {
        if (i == 2) continue;
        EXPECT_TRUE(s.bytes("ev" + kOutputs[i]) == s.reference[i]) << kOutputs[i];
    }
    EXPECT_TRUE(noOutputOpenUnder(s.dir.path()));
    expectWindowGivenBack(s.p);
}

// A tmpfs mounted in the test's folder, unmounted at the end.
class SmallDisk {
  public:
    SmallDisk(const std::string& path, const std::string& size) : path_(path) {
        fs::create_directory(path);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    std::string path_;
    bool mounted_ = false;
};

TEST(FaultInjection, DiskFillingDuringARunStopsItWithEveryOutputAPrefixOfTheWholeRun) {
    for (const char* size : {"8k", "64k", "200k"}) {
        SCOPED_TRACE(size);
        RunSession s(false, 30000);
        SmallDisk disk(s.dir.file("small"), size);
        if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
        s.p.options.teachFileName = s.dir.file("small/x_Teach.zrt");
        setStepwiseProceeding(s.p.shell, false);
        s.readData1(s.input);
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Disk full"});
        for (size_t i = 0; i + 1 < kOutputs.size(); ++i) {
            const std::string got = s.bytes("small/ev" + kOutputs[i]);
            EXPECT_TRUE(s.reference[i].starts_with(got)) << kOutputs[i];
        }
        // A failed file is cut back to whole records, which may leave room
        // for the report of the events coded.
        const std::string error = s.bytes("small/ev_error.txt");
        if (!s.reference[9].starts_with(error)) {
            EXPECT_NE(error.find("Events number=" + std::to_string(s.p.run.stepCounter) + "\r\n"),
                      std::string::npos);
        }
        for (const char* combined : {"small/ev_Teach.zrt", "small/ev_Recog.zrt"}) {
            const std::string got = s.bytes(combined);
            EXPECT_TRUE(got.empty() || readCombinedFile(got).wellFormed) << combined;
        }
        EXPECT_TRUE(noOutputOpenUnder(s.dir.file("small")));
        expectWindowGivenBack(s.p);
        // With room again, the same run succeeds.
        s.readTree(s.dir.file("t.vq"));
        s.p.options.teachFileName = s.dir.file("x_Teach.zrt");
        s.ui.errors.clear();
        s.readData1(s.input);
        EXPECT_TRUE(s.ui.errors.empty());
        EXPECT_TRUE(s.bytes("ev_Teach.zrt") == s.reference[0]);
    }
}

// Records and lines that do not fit on the disk are cut back whole; what
// comes after a failure is dropped, and closing does not report it twice.
TEST(FaultInjection, AFullDiskLeavesWholeUnitsOnly) {
    testing::TempDir dir;
    // Room for some buffers, then a buffer taken in part.
    SmallDisk disk(dir.file("small"), "200k");
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    for (bool lines : {false, true}) {
        SCOPED_TRACE(lines ? "lines" : "records");
        const std::string path = dir.file("small/out");
        const std::string unit = lines ? "a line of twelve" : "rec06\x01";
        OutFile file;
        file.create(path);
        int written = 0;
        try {
            for (; written < 100000; ++written) {
                if (lines)
                    file.line(unit);
                else
                    file.write(unit);
            }
        } catch (const InOutError& e) {
            EXPECT_STREQ(e.what(), "Disk full");
        }
        EXPECT_TRUE(file.failed());
        EXPECT_LT(written, 100000);
        file.write(unit);
        file.put('x');
        EXPECT_NO_THROW(file.close());
        const size_t size = lines ? unit.size() + 2 : unit.size();
        const auto length = static_cast<size_t>(fs::file_size(path));
        EXPECT_GT(length, 0u);
        EXPECT_EQ(length % size, 0u);
        EXPECT_LE(length / size, static_cast<size_t>(written));
        fs::remove(path);
        // A new file on the same disk starts afresh.
        file.create(path);
        EXPECT_FALSE(file.failed());
        file.close();
    }
}

TEST(FaultInjection, OptionsFileOnAFullDiskStopsTheFileChoice) {
    RunSession s;
    fs::remove(s.dir.file("Init.txt"));
    fs::create_symlink("/dev/full", s.dir.file("Init.txt"));
    s.ui.messages.clear();
    s.readTree(s.dir.file("t.vq"));
    EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Disk full"});
    EXPECT_TRUE(s.ui.messages.empty());
    EXPECT_FALSE(s.p.shell.treeRead);
    EXPECT_TRUE(s.window.enabled(Command::ReadTree));
}

// The input is removed, or cut to its header, after `at` events of a
// stepwise run.
TEST(FaultInjection, InputRemovedOrCutDuringAStepwiseRun) {
    for (bool fvs : {false, true}) {
        for (bool cut : {false, true}) {
            SCOPED_TRACE(std::string(fvs ? "fvs" : "text") + (cut ? " cut" : " removed"));
            // A table larger than the reader's buffer, so that a cut is seen.
            const int events = fvs ? 400 : 8000;
            RunSession s(fvs, events);
            setStepwiseProceeding(s.p.shell, true);
            s.ui.user = [&] {
                if (!s.p.shell.waiting) return;
                if (s.p.run.stepCounter == 2) {
                    if (cut)
                        fs::resize_file(s.input, fvs ? 1812 : 30);
                    else
                        fs::remove(s.input);
                }
                s.window.click(Command::Next);
            };
            s.readData1(s.input);
            EXPECT_TRUE(s.ui.errors.empty());
            const int64_t coded = s.p.run.stepCounter;
            if (cut) {
                // What the reader had taken in before the cut is coded; then
                // the input has no further event.
                EXPECT_GE(coded, 2);
                EXPECT_LT(coded, events);
                EXPECT_EQ(s.kinds(), "DFC");
            } else {
                // The open file is read to its end.
                EXPECT_EQ(coded, events);
                EXPECT_EQ(s.kinds(), "FC");
            }
            s.expectCompleteUpTo(coded, true);
            EXPECT_TRUE(noOutputOpenUnder(s.dir.path()));
            expectWindowGivenBack(s.p);
        }
    }
}

// An input whose device fails on reading: /proc/self/mem read at its start
// answers with the platform's input/output error, as a failing disk does.
// The header reader reports format faults itself, but not a failing device.
TEST(FaultInjection, InputThatCannotBeReadGivesThePlatformError) {
    for (const char* name : {"mem.txt", "mem.fvs"}) {
        SCOPED_TRACE(name);
        RunSession s;
        fs::create_symlink("/proc/self/mem", s.dir.file(name));
        s.readData1(s.dir.file(name));
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"I/O error 5: Input/output error"});
        EXPECT_TRUE(s.ui.messages.empty());
        EXPECT_FALSE(fs::exists(s.dir.file("mem_Teach.zrt")));
        EXPECT_TRUE(s.window.enabled(Command::ReadData1) && s.window.enabled(Command::ReadTree));
        EXPECT_EQ(s.p.shell.clustersEditText, "3");
    }
    RunSession s;
    fs::create_symlink("/proc/self/mem", s.dir.file("mem.vq"));
    s.readTree(s.dir.file("mem.vq"));
    EXPECT_EQ(s.ui.errors, std::vector<std::string>{"I/O error 5: Input/output error"});
    EXPECT_TRUE(s.ui.messages.empty());
    EXPECT_FALSE(s.p.shell.treeRead);
}

// The outputs a finish message names as results: each path ends with a
// double quote and either a comma, a line break and the next opening quote,
// or a line break (after a group's last file). The error file, after
// " and in", is named even when it was not created, and is left out here.
std::vector<std::string> listedResults(const std::vector<std::string>& messages) {
    const std::string opening = "Program finished\r\nFind results in:\r\n\"";
    std::vector<std::string> paths;
    for (const std::string& m : messages) {
        if (!m.starts_with(opening)) continue;
        size_t at = opening.size();
        while (at < m.size() && m.compare(at, 8, " and in\r") != 0) {
            const size_t quote = m.find('"', at);
            if (quote == std::string::npos) break;
            paths.push_back(m.substr(at, quote - at));
            at = m.compare(quote, 4, "\",\r\n") == 0 ? quote + 5 : quote + 3;
        }
    }
    return paths;
}

TEST(FaultInjection, FinishMessageOfAWholeRunNamesEveryOutput) {
    RunSession s;
    s.readData1(s.input);
    std::vector<std::string> want;
    for (size_t i = 0; i + 1 < kOutputs.size(); ++i) want.push_back(s.dir.file("ev" + kOutputs[i]));
    std::vector<std::string> listed = listedResults(s.ui.messages);
    std::sort(want.begin(), want.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed.size(), 10u);  // the code file is named in both groups
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    EXPECT_EQ(listed, want);
}

// Nothing is reported as saved that was not: after each failure above, the
// finish message may name only outputs that hold the whole run.
TEST(FaultInjection, FinishMessageNamesOnlyOutputsThatWereSaved) {
    const auto expectListedSaved = [](const RunSession& s, const std::string& folder) {
        for (const std::string& path : listedResults(s.ui.messages)) {
            SCOPED_TRACE(path);
            const std::string name = path.substr(path.rfind('/') + 3);
            const auto o = std::find(kOutputs.begin(), kOutputs.end(), name);
            ASSERT_NE(o, kOutputs.end());
            ASSERT_TRUE(path.starts_with(folder + "/")) << "not an output of this run";
            EXPECT_TRUE(testing::readFileBytes(path) == s.reference[size_t(o - kOutputs.begin())])
                << "listed, but not the whole run";
        }
    };
    {
        RunSession s;
        s.dir.write("blocker", "a file, not a folder");
        s.p.options.teachFileName = s.dir.file("blocker/x_Teach.zrt");
        s.ui.answers = {s.input, ""};
        s.window.click(Command::ReadData1);
        expectListedSaved(s, s.dir.path());
    }
    {
        RunSession s;
        s.dir.write("ev_code.txt", "old");
        s.ui.answers = {s.input, "/dev/full", "yes"};
        s.window.click(Command::ReadData1);
        expectListedSaved(s, s.dir.path());
    }
    {
        RunSession s(false, 30000);
        SmallDisk disk(s.dir.file("small"), "64k");
        if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
        s.p.options.teachFileName = s.dir.file("small/x_Teach.zrt");
        setStepwiseProceeding(s.p.shell, false);
        s.readData1(s.input);
        expectListedSaved(s, s.dir.file("small"));
    }
}

// A category name that names a missing folder makes that file fail after
// the combined output and the code file were created: those must be closed
// and whole (here: certificate or header and no event), not left open.
TEST(FaultInjection, OutputsOpenedBeforeAFailingOneAreClosed) {
    RunSession s;
    const std::string table =
        s.dir.write("odd.txt", "2 events\r\n3\r\n32767\r\nV/x S G\r\na a f 1 0 0\r\n");
    s.ui.answers = {table, ""};
    s.window.click(Command::ReadData1);
    EXPECT_EQ(s.ui.errors, std::vector<std::string>{"File not found"});
    EXPECT_TRUE(noOutputOpenUnder(s.dir.path()));
    const auto teach = readCombinedFile(s.bytes("odd_Teach.zrt"));
    EXPECT_TRUE(teach.wellFormed && teach.records.empty());
    EXPECT_EQ(listedResults(s.ui.messages), std::vector<std::string>{});
}

}  // namespace
}  // namespace zortan
