// Failing disks and vanishing inputs stop with the platform's error, or go
// on, and leave what was written closed and whole. (Run as root: permission
// bits would not stop a write.)
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <fstream>

#include "support/DataText.h"
#include "support/Session.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using namespace zortan::testing;
using Lines = std::vector<std::string>;

// How often the finish or stop messages name `path` as a result.
size_t listed(const RunSession& s, const std::string& path) {
    size_t n = 0;
    for (const std::string& m : s.ui.messages)
        if (m.starts_with("Program finished\r\nFind results in:\r\n") ||
            m.starts_with("The run stopped"))
            n += occurrences(m, path + "\"") - occurrences(m, "file \"" + path + "\" could not be");
    return n;
}

// After a failure: the window given back, no output ("_" in its name) open
// under `folder`, only outputs holding every event coded named as results,
// and no finished run announced for a stopped one.
void expectStoppedCleanly(const RunSession& s, const std::string& folder) {
    const WindowControls& c = s.p.shell.controls;
    EXPECT_TRUE(s.p.run.runFinished);
    EXPECT_EQ(s.p.run.stoppedByError, !s.ui.errors.empty());
    const bool stopped = std::any_of(s.ui.messages.begin(), s.ui.messages.end(),
                                     [](auto& m) { return m.starts_with("The run stopped"); });
    EXPECT_EQ(s.p.shell.statusCaption,
              stopped ? "Program stopped by an error!" : "Program Finished!");
    for (const std::string& m : s.ui.messages)
        EXPECT_FALSE(stopped && m.starts_with("Program finished")) << m;
    EXPECT_TRUE(c.readTreeEnabled && c.inputGroupEnabled && !c.breakEnabled &&
                !c.stopContinueEnabled);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        EXPECT_FALSE(!ec && target.starts_with(folder + "/") &&
                     target.find('_', folder.size()) != std::string::npos)
            << target << " is open";
    }
    for (size_t i = 0; i + 1 < kOutputs.size(); ++i) {
        const std::string path = folder + "/ev" + kOutputs[i], got = readFileBytes(path);
        const size_t events = i < 2    ? readCombinedFile(got).records.size()
                              : i == 2 ? codeCharacters(got).size()
                                       : categoryPositions(got).size();
        EXPECT_TRUE(!listed(s, path) ||
                    (s.reference[i].starts_with(got) && events == size_t(s.p.run.stepCounter)))
            << path << " is listed, but does not hold every event coded";
    }
}

TEST(FaultInjection, OutputsThatCannotBeCreated) {
    {  // An output folder that is a file: nothing is written.
        RunSession s;
        s.dir.write("blocker", "a file, not a folder");
        s.p.options.teachFileName = s.dir.file("blocker/x_Teach.zrt");
        s.click(Command::ReadData1, {s.input, ""});  // the save dialog cancelled keeps the name
        EXPECT_EQ(s.ui.errors, Lines{"Path not found"});
        for (const std::string& o : kOutputs) EXPECT_FALSE(fs::exists(s.dir.file("ev" + o))) << o;
        expectStoppedCleanly(s, s.dir.path());
    }
    {  // Old code and error files: their names asked, a full device given.
        RunSession s;
        s.dir.write("ev_code.txt", "old");
        s.dir.write("ev_error.txt", "old");
        const std::string full = s.dir.file("full");
        fs::create_symlink("/dev/full", full);
        s.click(Command::ReadData1, {s.input, full, full});
        EXPECT_EQ(s.ui.errors, Lines{"Disk full"});
        EXPECT_EQ(s.bytes("ev_code.txt"), "old");
        for (size_t i = 0; i + 1 < kOutputs.size(); ++i)
            EXPECT_TRUE(i == 2 || s.bytes("ev" + kOutputs[i]) == s.reference[i]) << kOutputs[i];
        EXPECT_EQ(s.ui.messages.at(0), dataText("full-device-finish.txt", s.dir.path()));
        expectStoppedCleanly(s, s.dir.path());
    }
    {  // A category name naming a missing folder: what was created is removed.
        RunSession s;
        s.click(
            Command::ReadData1,
            {s.dir.write("odd.txt", "2 events\r\n3\r\n32767\r\nV/x S G\r\na a f 1 0 0\r\n"), ""});
        EXPECT_EQ(s.ui.errors, Lines{"File not found"});
        EXPECT_EQ(s.ui.messages.at(0), dataText("category-folder-missing.txt", s.dir.path()));
        for (const std::string& o : kOutputs) EXPECT_FALSE(fs::exists(s.dir.file("odd" + o))) << o;
        expectStoppedCleanly(s, s.dir.path());
    }
    {  // The options file on a full disk stops the file choice.
        RunSession s;
        fs::remove(s.dir.file("Init.txt"));
        fs::create_symlink("/dev/full", s.dir.file("Init.txt"));
        s.readTree(s.dir.file("t.vq"));
        EXPECT_EQ(s.ui.errors, Lines{"Disk full"});
        EXPECT_TRUE(s.ui.messages.empty());
        EXPECT_FALSE(s.p.shell.treeRead);
        EXPECT_TRUE(s.window.enabled(Command::ReadTree));
    }
}

TEST(FaultInjection, DiskFillingDuringARunLeavesEveryOutputAPrefixOfTheWholeRun) {
    for (const char* size : {"8k", "64k", "200k"}) {
        SCOPED_TRACE(size);
        RunSession s(false, 30000);
        // A tmpfs mounted in the test's folder.
        const std::string small = s.dir.file("small");
        fs::create_directory(small);
        if (mount("tmpfs", small.c_str(), "tmpfs", 0, ("size=" + std::string(size)).c_str()))
            GTEST_SKIP() << "no tmpfs can be mounted here";
        const std::unique_ptr<const char, int (*)(const char*)> unmount(
            small.c_str(), [](const char* p) { return umount2(p, MNT_DETACH); });
        s.p.options.teachFileName = small + "/x_Teach.zrt";
        setStepwiseProceeding(s.p.shell, false);
        s.readData1(s.input);
        EXPECT_EQ(s.ui.errors, Lines{"Disk full"});
        for (size_t i = 0; i + 1 < kOutputs.size(); ++i)
            EXPECT_TRUE(s.reference[i].starts_with(s.bytes("small/ev" + kOutputs[i]))) << i;
        for (const char* combined : {"small/ev_Teach.zrt", "small/ev_Recog.zrt"})
            EXPECT_TRUE(s.bytes(combined).empty() ||
                        readCombinedFile(s.bytes(combined)).wellFormed);
        // A failed file is cut back, which may leave room for the report.
        const std::string error = s.bytes("small/ev_error.txt");
        EXPECT_TRUE(s.reference[9].starts_with(error) ||
                    error.find("Events number=" + std::to_string(s.p.run.stepCounter) + "\r\n") !=
                        std::string::npos);
        expectStoppedCleanly(s, small);
    }
}

// The input removed, cut to its header or grown after 2 events of a
// stepwise run; or one that cannot be read at all.
TEST(FaultInjection, InputsThatVanishOrFail) {
    for (const std::string change : {"removed", "cut", "grown"})
        for (bool fvs : {false, true}) {
            if (change == "grown" && !fvs) continue;  // an fvs file still being written
            SCOPED_TRACE(change + (fvs ? " fvs" : " text"));
            // Larger than the readers take in ahead (fvs: 512 records).
            RunSession s(fvs, fvs ? 1500 : 8000);
            const std::string whole = readFileBytes(s.input);
            if (change == "grown") fs::resize_file(s.input, 4 * 1812);
            setStepwiseProceeding(s.p.shell, true);
            s.ui.user = [&] {
                if (!s.p.shell.waiting) return;
                if (s.p.run.stepCounter == 2 && change == "cut")
                    fs::resize_file(s.input, fvs ? 1812 : 48);
                if (s.p.run.stepCounter == 2 && change == "removed") fs::remove(s.input);
                if (s.p.run.stepCounter == 2 && change == "grown")
                    std::ofstream(s.input, std::ios::app | std::ios::binary)
                        << whole.substr(4 * 1812);
                s.window.click(Command::Next);
            };
            s.readData1(s.input);
            EXPECT_TRUE(s.ui.errors.empty());
            // A cut input ends after what was taken in; a removed one is read whole.
            const int64_t coded = s.p.run.stepCounter;
            const bool cut = change == "cut";
            EXPECT_EQ(s.kinds(), cut ? "DFC" : "FC");
            EXPECT_TRUE(cut ? coded >= 2 && coded < s.events : coded == s.events) << coded;
            EXPECT_EQ(referenceMismatch(s.dir.path(), coded, true), "");
            expectStoppedCleanly(s, s.dir.path());
            // Every output is named, the code file in both groups.
            for (size_t i = 0; i + 1 < kOutputs.size(); ++i)
                EXPECT_EQ(listed(s, s.dir.file("ev" + kOutputs[i])), i == 2 ? 2u : 1u) << i;
        }
    // /proc/self/mem read at its start fails as a failing disk does.
    for (const std::string name : {"mem.txt", "mem.fvs", "mem.vq"}) {
        SCOPED_TRACE(name);
        RunSession s;
        fs::create_symlink("/proc/self/mem", s.dir.file(name));
        const bool tree = name == "mem.vq";
        tree ? s.readTree(s.dir.file(name)) : s.readData1(s.dir.file(name));
        EXPECT_EQ(s.ui.errors, Lines{"I/O error 5: Input/output error"});
        EXPECT_TRUE(s.ui.messages.empty());
        EXPECT_NE(s.p.shell.treeRead, tree);
        EXPECT_FALSE(fs::exists(s.dir.file("mem_Teach.zrt")));
        EXPECT_TRUE(s.window.enabled(Command::ReadData1) && s.window.enabled(Command::ReadTree));
        EXPECT_EQ(s.p.shell.clustersEditText, "3");
    }
}

}  // namespace
}  // namespace zortan
