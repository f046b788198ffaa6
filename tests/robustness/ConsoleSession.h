// The real zortan-console in a fresh folder of its own, fed a script, and an
// independent check of every output of a run of the console reference
// input: what each file must hold is worked out here from the input alone.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "robustness/WindowSession.h"
#include "support/TempDir.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::testing {

class ConsoleProcess {
  public:
    TempDir dir;

    // The console copied next to an options file whose outputs point into
    // the folder.
    ConsoleProcess() {
        std::filesystem::copy_file(ZORTAN_CONSOLE_EXE, exe_);
        std::string init = "0 0 0\r\nw0\r\nt0\r\nnone.vq\r\nw1\r\nw2\r\nnone.txt\r\nnone.txt\r\n";
        for (const char* name : {"Error.txt", "code.txt", "x_Teach.zrt", "t1", "t2", "t3",
                                 "x_recog.zrt", "r1", "r2", "r3"})
            init += dir.file(name) + "\r\n";
        dir.write("Init.txt", init);
    }
    ~ConsoleProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (input_ >= 0) close(input_);
    }
    ConsoleProcess(const ConsoleProcess&) = delete;
    ConsoleProcess& operator=(const ConsoleProcess&) = delete;

    void start() {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[0], 0);
            const int out = open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            close(fds[1]);
            execl(exe_.c_str(), exe_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        input_ = fds[1];
    }
    void send(const std::string& text) const {
        ASSERT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    std::string output() const { return readFileBytes(dir.file("stdout")); }
    // Waits up to `seconds` until the output holds `piece`.
    bool waitFor(const std::string& piece, double seconds = 20) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (output().find(piece) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void interrupt() const { kill(pid_, SIGINT); }
    pid_t pid() const { return pid_; }
    // Closes the input and waits for the exit status.
    int finish() {
        if (input_ >= 0) close(input_);
        input_ = -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::string exe_ = dir.file("zortan-console");
    pid_t pid_ = -1;
    int input_ = -1;
};

// The resident memory of a process in kB, 0 when it is gone.
inline long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return 0;
}

// The console reference input: event i has component 0 in {-20, 5, 90},
// which the tree below codes 0, 2 and 1, and qualifiers that cycle through
// the tree's value lists.
struct ConsoleReference {
    static int16_t value(int64_t i) {
        return std::array<int16_t, 3>{-20, 5, 90}[static_cast<size_t>(i % 3)];
    }
    static uint16_t code(int64_t i) { return std::array<uint16_t, 3>{0, 2, 1}[size_t(i % 3)]; }
    static std::string qualifiers(int64_t i) {
        return {"ab"[i % 2], "aeiou"[i % 5], "fm"[i / 7 % 2]};
    }
    // The leaf a code stands for: node 3 is code 0, node 4 code 2, node 2 code 1.
    static int leaf(uint16_t code) { return std::array<int, 3>{3, 2, 4}[code]; }

    fixtures::TreeFileContents tree = [] {
        const std::vector<double> c0 = {0, 0, 100, -10, 10};
        fixtures::TreeFileContents t = fixtures::makeTree(
            3, 3, fixtures::SplitOrder::Balanced,
            [c0](int n, int i) { return i == 0 ? c0.at(static_cast<size_t>(n)) : 0.0; });
        t.tree.training.lifterThreshold = 3;
        return t;
    }();

    // The leaf's readings as characters of the value lists.
    std::string readings(uint16_t code) const {
        const TreeNode& n = tree.tree.nodeHeap.at(static_cast<size_t>(leaf(code)));
        return {tree.tree.cath1List.at(n.treeCath1), tree.tree.cath2List.at(n.treeCath2),
                tree.tree.cath3List.at(n.treeCath3)};
    }

    // The table, written without the program's writers.
    static void writeTable(const std::string& path, int64_t events) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "%lld events\r\n3\r\n32767\r\nV S G c0 c1 c2\r\n",
                     static_cast<long long>(events));
        for (int64_t i = 0; i < events; ++i) {
            const std::string q = qualifiers(i);
            std::fprintf(f, "%c\t%c %c\t%d\t0\t0\r\n", q[0], q[1], q[2], value(i));
        }
        ASSERT_EQ(std::fclose(f), 0);
    }

    // Every output of a run on "ev.txt" in `dir` holds exactly events
    // 0..n-1; the error file's report names n events unless `reported` is
    // false (a halted run writes none).
    void expectOutputs(const TempDir& dir, int64_t n, bool reported) const {
        const auto count = static_cast<size_t>(n);
        const std::array<std::string, 3> names = {"V", "S", "G"};
        const auto teach = readCombinedFile(readFileBytes(dir.file("ev_Teach.zrt")));
        const auto recog = readCombinedFile(readFileBytes(dir.file("ev_Recog.zrt")));
        ASSERT_TRUE(teach.wellFormed && recog.wellFormed);
        ASSERT_EQ(teach.records.size(), count);
        ASSERT_EQ(recog.records.size(), count);
        const std::string codes = codeCharacters(readFileBytes(dir.file("ev_code.txt")));
        ASSERT_EQ(codes.size(), count);
        std::array<CategoryFile, 3> teachCath, recogCath;
        for (size_t k = 0; k < 3; ++k) {
            teachCath[k] =
                readCategoryFile(readFileBytes(dir.file("ev_teach_" + names[k] + ".txt")));
            recogCath[k] =
                readCategoryFile(readFileBytes(dir.file("ev_recog_" + names[k] + ".txt")));
            ASSERT_TRUE(teachCath[k].wellFormed && recogCath[k].wellFormed) << names[k];
            ASSERT_EQ(teachCath[k].positions.size(), count) << names[k];
            ASSERT_EQ(recogCath[k].positions.size(), count) << names[k];
            // The lists hold the tree's value sets in ascending order.
            const TcharList& list = k == 0   ? tree.tree.cath1List
                                    : k == 1 ? tree.tree.cath2List
                                             : tree.tree.cath3List;
            const size_t values = k == 0 ? list.size() - 1 : list.size();
            ASSERT_EQ(teachCath[k].positionOf.size(), values) << names[k];
            for (size_t v = 0; v < values; ++v)
                ASSERT_EQ(teachCath[k].positionOf.at(list[v]), int(v)) << names[k];
        }
        size_t wrong = 0;
        for (size_t i = 0; i < count && wrong < 5; ++i) {
            const uint16_t c = code(int64_t(i));
            const std::string q = qualifiers(int64_t(i)), r = readings(c);
            bool ok = teach.records[i] == CombinedRecord{c, q} &&
                      recog.records[i] == CombinedRecord{c, r} &&
                      static_cast<uint8_t>(codes[i]) == c;
            for (size_t k = 0; k < 3; ++k)
                ok = ok && teachCath[k].positions[i] == teachCath[k].positionOf.at(q[k]) &&
                     recogCath[k].positions[i] == teachCath[k].positionOf.at(r[k]);
            if (!ok) {
                ++wrong;
                ADD_FAILURE() << "event " << i << " is not as the input and the tree give it";
            }
        }
        const std::string error = readFileBytes(dir.file("ev_error.txt"));
        EXPECT_EQ(error.find("Events number=" + std::to_string(n) + "\r\n") != std::string::npos,
                  reported);
        if (!reported) {
            EXPECT_EQ(error.find("Events number="), std::string::npos);
        }
    }
};

}  // namespace zortan::testing
