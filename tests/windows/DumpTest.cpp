// zortan-dump on Windows, end to end: the sample tree's first nodes as CSV,
// and a file that is not there.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/TempDir.h"

namespace zortan {
namespace {

// Runs zortan-dump with `args`, its standard output and error into `out`;
// its exit status.
DWORD runDump(const std::string& args, const std::string& out) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = CreateFileA(
        out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string commandLine = "\"" ZORTAN_DUMP_EXE "\" " + args;
    PROCESS_INFORMATION process{};
    DWORD status = 9999;
    if (CreateProcessA(ZORTAN_DUMP_EXE, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(startup.hStdOutput);
    return status;
}

TEST(DumpProgram, PrintsTheSampleTreeAndNamesAMissingFile) {
    testing::TempDir dir;
    const std::string out = dir.file("out.txt"), missing = dir.file("none.fvs");
    const std::string tree = std::string(ZORTAN_SAMPLES) + "/vowels-cep16-centroids32.vq";
    EXPECT_EQ(runDump("--csv --records 0:1 \"" + tree + "\"", out), 0u);
    const std::string csv = testing::readFileBytes(out);
    EXPECT_EQ(csv.rfind("node,type,son,brother,code,split,cath1,val1,", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(csv.find("\n1,"), std::string::npos) << csv;

    EXPECT_EQ(runDump("\"" + missing + "\"", out), 1u);
    EXPECT_NE(testing::readFileBytes(out).find(missing + ": File not found"), std::string::npos);
}

}  // namespace
}  // namespace zortan
