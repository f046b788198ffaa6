// The tool of the whole-run benchmark.
//
//   zortan-benchtool generate DIR FVS_EVENTS TEXT_EVENTS [LEAVES]
//     writes DIR/tree.vq1 (a balanced codebook of LEAVES leaves, 256 by
//     default, over 129 components), DIR/events.fvs and DIR/events.txt with
//     events near its leaves (a count of 0 skips the file).
//
//   zortan-benchtool generate-close DIR FVS_EVENTS
//     writes DIR/tree.vq1, a 64-leaf tree whose centroids are all at nearly
//     the same distance from one point, and DIR/events.fvs, events at or
//     near that point: for comparing outputs where decisions are close.
//
//   zortan-benchtool console EXE TREE DATA OUTDIR [TIMEOUT_S [show-messages]]
//     runs the console front end EXE over TREE and DATA with stepwise
//     proceeding off, input records not shown and every output on, answers
//     its dialogs (outputs go to OUTDIR), and prints one line:
//     wall_s=... run_s=... maxrss_kb=... output_bytes=... messages=... exit=...
//     wall_s is the whole process, run_s from "read data_1" to "Program
//     Finished!", maxrss_kb the peak resident memory of the process,
//     messages the number of message boxes (the finish message is one).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchData.h"
#include "bench/EventFiles.h"
#include "shell/ShellState.h"

namespace zortan::bench {

namespace {

using Clock = std::chrono::steady_clock;

// A tree of close calls (see closeCallTree) and events of which half sit at
// its centre, where every split is a close call, and the others near it.
int generateCloseCalls(const std::string& dir, long fvsEvents) {
    std::filesystem::create_directories(dir);
    std::mt19937 random(13);
    std::uniform_int_distribution<int> level(600, 999);
    EventRecord centre;
    for (size_t i = 0; i < centre.components.size(); ++i) {
        centre.components[i] = static_cast<int16_t>(level(random));
        centre.reals[i] = centre.components[i];
    }
    const fixtures::TreeFileContents contents = closeCallTree(64, centre.reals, 17);
    fixtures::writeTreeFile(dir + "/tree.vq1", contents);
    FvsStream out(dir + "/events.fvs", static_cast<uint32_t>(fvsEvents),
                  contents.tree.training.featureKind);
    std::uniform_int_distribution<size_t> component(0, kComponents - 1);
    std::uniform_int_distribution<int> step(-3, 3);
    for (long n = 0; n < fvsEvents; ++n) {
        EventRecord e = centre;
        if (n % 2 == 1)
            for (int j = 0; j < 3; ++j)
                e.components[component(random)] += static_cast<int16_t>(step(random));
        e.cath1 = "ab"[n % 2];
        e.cath2 = "aeiou"[n % 5];
        e.cath3 = "fm"[(n / 2) % 2];
        out.add(e);
    }
    out.close();
    return 0;
}

// One printed block of the console: its first line and its body.
struct Block {
    std::string head;
    std::vector<std::string> body;
};

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Blocks without an "[end]" line.
bool singleLine(const std::string& head) {
    return head == "[beep]" || head == "[hibernate]" || startsWith(head, "[disabled]") ||
           startsWith(head, "[refused]");
}

class ConsoleSession {
  public:
    ConsoleSession(const std::string& exe, Clock::time_point deadline) : deadline_(deadline) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            std::perror("exec");
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toConsole_ = in[1];
        fromConsole_ = out[0];
        signal(SIGPIPE, SIG_IGN);
    }

    void send(const std::string& line) {
        transcript_.push_back("> " + line);
        const std::string text = line + "\n";
        if (write(toConsole_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("the console stopped reading");
    }

    void endInput() {
        if (toConsole_ >= 0) close(toConsole_);
        toConsole_ = -1;
    }

    // The next block; false at the end of the console's output.
    bool next(Block& block) {
        block = Block{};
        if (!line(block.head)) return false;
        if (singleLine(block.head) || !startsWith(block.head, "[")) return true;
        std::string l;
        while (line(l) && l != "[end]") block.body.push_back(l);
        return true;
    }

    // Waits for the process; returns its exit status (128 + signal when killed).
    int wait(rusage& usage) {
        endInput();
        int status = 0;
        while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        close(fromConsole_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void kill() { ::kill(pid_, SIGKILL); }

    void dumpTranscript() const {
        const size_t from = transcript_.size() > 60 ? transcript_.size() - 60 : 0;
        for (size_t i = from; i < transcript_.size(); ++i) std::cerr << transcript_[i] << "\n";
    }

  private:
    bool line(std::string& l) {
        l.clear();
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (!l.empty() && l.back() == '\r') l.pop_back();
                transcript_.push_back("< " + l);
                if (transcript_.size() > 400) transcript_.pop_front();
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0) throw std::runtime_error("timed out");
            pollfd p{fromConsole_, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 1000)));
            if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
            if (ready <= 0) continue;
            char chunk[65536];
            const ssize_t n = read(fromConsole_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (buffer_.empty()) return false;
                l.swap(buffer_);
                return true;
            }
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    Clock::time_point deadline_;
    pid_t pid_ = -1;
    int toConsole_ = -1, fromConsole_ = -1;
    std::string buffer_;
    std::deque<std::string> transcript_;
};

// The value after "path: " in a dialog's body.
std::string dialogPath(const Block& b) {
    for (const std::string& l : b.body)
        if (startsWith(l, "path: ")) return l.substr(6);
    return {};
}

std::string fileNameOf(const std::string& path) {
    const size_t at = path.find_last_of("\\/:");
    return at == std::string::npos ? path : path.substr(at + 1);
}

long long folderBytes(const std::string& dir) {
    long long total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file()) total += static_cast<long long>(entry.file_size());
    return total;
}

int console(const std::string& exe, const std::string& treePath, const std::string& dataPath,
            const std::string& outDir, int timeoutSeconds, bool showMessages) {
    std::filesystem::create_directories(outDir);
    const auto start = Clock::now();
    ConsoleSession session(exe, start + std::chrono::seconds(timeoutSeconds));
    std::deque<std::string> openAnswers{treePath, dataPath};
    Clock::time_point runStart{}, runEnd{};
    bool finished = false, failed = false;
    int saves = 0, messages = 0;

    session.send("set stepwiseProceeding off");
    session.send("set showInputRecords off");
    session.send("read tree");
    Block b;
    try {
        while (session.next(b)) {
            if (startsWith(b.head, "[open]")) {
                if (openAnswers.empty()) {
                    std::cerr << "unexpected file-open dialog: " << b.head << "\n";
                    failed = true;
                    session.send("");
                    continue;
                }
                const bool data = openAnswers.size() == 1;
                session.send(openAnswers.front());
                openAnswers.pop_front();
                if (!data) session.send("state");  // answered once the tree is read
                if (data) runStart = Clock::now();
            } else if (b.head == "[state]" && openAnswers.size() == 1) {
                for (const OutputChoice& c : kOutputChoices)
                    session.send(std::string("set ") + c.setting + " on");
                session.send("set stepwiseProceeding off");
                session.send("set showInputRecords off");
                session.send("read data_1");
            } else if (startsWith(b.head, "[save]")) {
                std::string name = fileNameOf(dialogPath(b));
                if (name.empty() || name.find_first_of("*?") != std::string::npos)
                    name = "output-" + std::to_string(saves);
                ++saves;
                session.send(outDir + "/" + name);
            } else if (startsWith(b.head, "[question Yes/No/Cancel]")) {
                session.send("yes");  // overwrite an output of an earlier run
            } else if (startsWith(b.head, "[question Yes/No]")) {
                session.send("no");
            } else if (b.head == "[message]") {
                ++messages;
                if (showMessages)
                    for (const std::string& l : b.body) std::cerr << "message: " << l << "\n";
            } else if (b.head == "[status]") {
                if (!b.body.empty() && b.body[0] == "Program Finished!") {
                    runEnd = Clock::now();
                    finished = true;
                    session.endInput();
                }
            } else if (b.head == "[error]" || startsWith(b.head, "[disabled]") ||
                       startsWith(b.head, "[refused]")) {
                std::cerr << "console: " << b.head << (b.body.empty() ? "" : " " + b.body[0])
                          << "\n";
                failed = true;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "console run: " << e.what() << "\n";
        session.kill();
        failed = true;
    }
    rusage usage{};
    const int status = session.wait(usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    if (!finished || failed) {
        std::cerr << "the console run did not finish cleanly; last lines:\n";
        session.dumpTranscript();
    }
    const double run = finished ? std::chrono::duration<double>(runEnd - runStart).count() : 0.0;
    std::printf("wall_s=%.4f run_s=%.4f maxrss_kb=%ld output_bytes=%lld messages=%d exit=%d\n",
                wall, run, usage.ru_maxrss, folderBytes(outDir), messages, status);
    return finished && !failed && status == 0 ? 0 : 1;
}

int usage() {
    std::cerr
        << "usage: zortan-benchtool generate DIR FVS_EVENTS TEXT_EVENTS [LEAVES]\n"
           "       zortan-benchtool generate-close DIR FVS_EVENTS\n"
           "       zortan-benchtool console EXE TREE DATA OUTDIR [TIMEOUT_S [show-messages]]\n";
    return 2;
}

}  // namespace

}  // namespace zortan::bench

int main(int argc, char** argv) {
    using namespace zortan::bench;
    const std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() >= 4 && a[0] == "generate")
            return writeCodebookInputs(a[1], std::stol(a[2]), std::stol(a[3]),
                                       a.size() > 4 ? std::stoi(a[4]) : 256),
                   0;
        if (a.size() >= 3 && a[0] == "generate-close")
            return generateCloseCalls(a[1], std::stol(a[2]));
        if (a.size() >= 5 && a[0] == "console")
            return console(a[1], a[2], a[3], a[4], a.size() > 5 ? std::stoi(a[5]) : 1800,
                           a.size() > 6 && a[6] == "show-messages");
    } catch (const std::exception& e) {
        std::cerr << "zortan-benchtool: " << e.what() << "\n";
        return 1;
    }
    return usage();
}
