// The real zortan-console copied into a fresh folder beside an options file
// pointing into it, fed a script on its standard input.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/Session.h"

namespace zortan::testing {

// A transcript as it must be, tests/data/console/<name>.txt.
inline std::string expectedTranscript(const std::string& name) {
    return readFileBytes(ZORTAN_SAMPLES "/../tests/data/console/" + name + ".txt");
}

class ConsoleProcess : public Workspace {
  public:
    struct Ended {
        std::string out;
        int status;
    };

    ConsoleProcess() {
        std::filesystem::copy_file(ZORTAN_CONSOLE_EXE, exe_);
        std::string init = "0 1 0\r\nw0\r\nt0\r\n" + dir.file("none.vq") + "\r\nw1\r\nw2\r\n" +
                           dir.file("none.fvs") + "\r\nx.txt\r\n";
        for (const char* name : {"Error.txt", "code.txt", "x_Teach.zrt", "t1", "t2", "t3",
                                 "x_recog.zrt", "r1", "r2", "r3"})
            init += dir.file(name) + "\r\n";
        dir.write("Init.txt", init);
    }
    ~ConsoleProcess() {
        if (pid_ > 0) kill(pid_, SIGKILL), finish();  // a test that failed half-way
    }

    // Starts the console; what it prints goes to a file that `output` reads.
    void start(const std::vector<std::string>& args = {}) {
        int fds[2];
        if (pipe(fds) != 0 || (pid_ = fork()) < 0) throw std::runtime_error("no console");
        if (pid_ == 0) {
            const int out = open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fds[0], 0), dup2(out, 1), dup2(out, 2), close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(exe_.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(exe_.c_str(), argv.data());
            _exit(127);
        }
        close(fds[0]);
        input_ = fds[1];
    }
    void send(const std::string& text) const {
        if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("the console took no input");
    }
    std::string output() const { return bytes("stdout"); }
    // Waits up to `ms` milliseconds until the output holds `piece`.
    bool waitFor(const std::string& piece, int ms = 20000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(5)))
            if (output().find(piece) != std::string::npos) return true;
        return false;
    }
    void signal(int number) const { kill(pid_, number); }
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
    Ended run(const std::string& script, const std::vector<std::string>& args = {}) {
        start(args);
        send(script);
        const int status = finish();
        return {transcript(), status};
    }
    // What it printed, the folder written "<dir>".
    std::string transcript() const {
        std::string out = output();
        for (size_t at; (at = out.find(dir.path())) != std::string::npos;)
            out.replace(at, dir.path().size(), "<dir>");
        return out;
    }

    // Starts a run of the reference table, every output on; true once it codes.
    bool startReferenceRun(int64_t events, bool stepwise = false) {
        table("ev.txt", referenceEvents(events));
        start();
        std::string script = "read tree\n" + tree() + "\n";
        for (size_t o = 1; o < kOutputChoices.size(); ++o)  // the teaching file is on
            script += std::string("set ") + kOutputChoices[o].setting + " on\n";
        send(script + "set stepwiseProceeding " + (stepwise ? "on" : "off") + "\nread data_1\n" +
             dir.file("ev.txt") + "\n");
        return waitFor("Program started coding data_1");
    }

  private:
    std::string exe_ = dir.file("zortan-console");
    pid_t pid_ = -1;
    int input_ = -1;
};

}  // namespace zortan::testing
