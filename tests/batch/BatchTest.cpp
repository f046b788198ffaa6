// The batch command against the console doing the same by hand: the same
// bytes in every output, the corpus table from the files' own counts, and
// what is refused or fails without stopping the others.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/batch/Corpus.h"
#include "support/Session.h"

namespace zortan::batch {
namespace {

using testing::readFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kSamples = ZORTAN_SAMPLES;
const std::string kTree = kSamples + "/vowels-cep16-centroids32.vq";

// A file's bytes without the run's date and time: the certificate's date
// and time fields of a combined file, the first line of a text file.
std::string withoutDate(const std::string& path) {
    std::string bytes = readFileBytes(path);
    if (path.ends_with(".zrt")) return bytes.replace(7, 16, 16, '.');
    return bytes.substr(bytes.find("\r\n"));
}

// The console's and our files in `ours`, without the run's date; how many.
size_t expectSameFiles(const std::string& theirs, const std::string& ours) {
    size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(theirs)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(withoutDate(entry.path().string()), withoutDate(ours + "/" + name)) << name;
        ++compared;
    }
    return compared;
}

// Runs a shell command line; its exit status.
int run(const std::string& line) {
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The console, as a user would code `data` at `clusters` with every output
// on, saving into `folder` (made if missing).
void codeInConsole(const TempDir& dir, const std::string& tree, const std::string& data,
                   int clusters, const std::string& folder) {
    for (const std::string& d : {dir.file("console"), folder}) fs::create_directories(d);
    fs::copy_file(ZORTAN_CONSOLE_EXE, dir.file("console/zortan-console"),
                  fs::copy_options::overwrite_existing);
    std::string script = "set stepwiseProceeding off\nset showInputRecords off\n";
    for (const std::string group : {"Teach", "Recog"})
        for (const char* output : {"Combined", "Codes", "Cath1", "Cath2", "Cath3"})
            script += "set output" + group + output + " on\n";
    script += "read tree\n" + tree + "\nset clustersNb " + std::to_string(clusters) +
              "\nread data_1\n" + data + "\n" + folder + "/" + fs::path(data).stem().string() +
              "_Teach.zrt\nhalt!\n";
    dir.write("script.txt", script);
    ASSERT_EQ(run(dir.file("console/zortan-console") + " < " + dir.file("script.txt") + " > " +
                  dir.file("console.log")),
              0);
}

// The console coding the pair `one`, `two` in compare mode at `clusters`,
// its error file saved into `folder`.
void compareInConsole(const TempDir& dir, const std::string& one, const std::string& two,
                      int clusters, const std::string& folder) {
    for (const std::string& d : {dir.file("console"), folder}) fs::create_directories(d);
    fs::copy_file(ZORTAN_CONSOLE_EXE, dir.file("console/zortan-console"),
                  fs::copy_options::overwrite_existing);
    dir.write("script.txt",
              "set stepwiseProceeding off\nset showInputRecords off\n"
              "set compareMode on\nread tree\n" +
                  kTree + "\nset clustersNb " + std::to_string(clusters) + "\nread data_1\n" + one +
                  "\nread data_2\n" + two + "\n" + folder + "/" + fs::path(one).stem().string() +
                  "_error.txt\nhalt!\n");
    ASSERT_EQ(run(dir.file("console/zortan-console") + " < " + dir.file("script.txt") + " > " +
                  dir.file("console.log")),
              0);
}

CorpusSettings allOutputs(const TempDir& dir, std::vector<int> clusters,
                          const std::string& tree = kTree) {
    CorpusSettings s{.tree = tree, .clusters = std::move(clusters), .outDir = dir.file("out")};
    s.outputs.fill(true);
    return s;
}

TEST(Batch, WritesWhatTheConsoleWritesAtEveryNumberOfClusters) {
    TempDir dir;
    const std::string a = dir.file("a.fvs"), b = dir.file("b.fvs");
    fs::copy_file(kSamples + "/vowels.fvs", a);
    fs::copy_file(kSamples + "/vowels.fvs", b);
    const CorpusOutcome outcome = CodeCorpus(allOutputs(dir, {4, 16}), {{a}, {b}}, 2);
    ASSERT_EQ(outcome.results.size(), 2u);
    for (const FileResult& r : outcome.results) EXPECT_TRUE(r.ok()) << r.failure();

    for (int k : {4, 16}) {
        SCOPED_TRACE(k);
        const std::string ours = dir.file("out/K" + std::to_string(k)),
                          theirs = dir.file("console-K" + std::to_string(k));
        codeInConsole(dir, kTree, a, k, theirs);
        // One code file serves both groups; and the error file.
        EXPECT_EQ(expectSameFiles(theirs, ours), 10u);

        // Two copies of one file: the corpus has that file's percentages,
        // from twice the counts.
        const std::string single = readFileBytes(ours + "/a_error.txt");
        const std::string corpus = readFileBytes(ours + "/corpus_error.txt");
        const auto table = [](const std::string& text) {
            const size_t from = text.find("\r\n======", text.find("Events number="));
            return text.substr(from, text.find("\r\n______", from) - from);
        };
        EXPECT_EQ(table(corpus), table(single));
        EXPECT_NE(corpus.find("Events number=954\r\n"), std::string::npos);
        const std::string csv = readFileBytes(ours + "/corpus_error.csv");
        EXPECT_NE(csv.find("\r\n1,2,954,954,954,954,954,100.000,100.000,100.000\r\n"),
                  std::string::npos);
        EXPECT_EQ(outcome.tables[k == 4 ? 0 : 1].rows.size(), static_cast<size_t>(k));
    }
}

TEST(Batch, CodesATextTableOnlyAtTheClustersItsHeaderSets) {
    TempDir dir;
    const std::string table = kSamples + "/vowels-melcep16.txt";
    const std::string tree = kSamples + "/vowels-melcep16-cart32.vq";
    const CorpusOutcome outcome = CodeCorpus(allOutputs(dir, {8, 16}, tree), {{table}}, 1);
    const FileResult& r = outcome.results.at(0);
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_NE(r.runs[0].message.find("is coded at 16 clusters, not at 8."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("out/K8/vowels-melcep16_error.txt")));
    ASSERT_TRUE(r.runs[1].coded) << r.runs[1].message;
    codeInConsole(dir, tree, table, 16, dir.file("theirs"));
    EXPECT_EQ(expectSameFiles(dir.file("theirs"), dir.file("out/K16")), 10u);
}

// A pair whose second file ends early: the unpaired event is taken back in
// the batch as in the console, and the table covers the pairs coded.
TEST(Batch, ComparesAPairAsTheConsoleDoes) {
    TempDir dir;
    const std::string a = dir.file("a.fvs"), b = dir.file("b.fvs");
    fs::copy_file(kSamples + "/vowels.fvs", a);
    dir.write("b.fvs", readFileBytes(kSamples + "/vowels.fvs").substr(0, 1812 * 101));
    CorpusSettings settings{.tree = kTree, .clusters = {4, 8}, .outDir = dir.file("out")};
    settings.compare = true;
    const CorpusOutcome outcome = CodeCorpus(settings, {{a, b}}, 1);
    const FileResult& r = outcome.results.at(0);
    ASSERT_TRUE(r.ok()) << r.failure();
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("b.fvs\" holds no further event.\r\n100 events"),
              std::string::npos);
    for (int k : {4, 8}) {
        const std::string theirs = dir.file("console-K" + std::to_string(k));
        compareInConsole(dir, a, b, k, theirs);
        EXPECT_EQ(expectSameFiles(theirs, dir.file("out/K" + std::to_string(k))), 1u);
        // The corpus table of one pair is the pair's own table.
        const auto table = [](const std::string& text) {
            const size_t from = text.find("=====", text.find("Events number="));
            return text.substr(from, text.find("_____", from) - from);
        };
        const std::string folder = dir.file("out/K" + std::to_string(k));
        EXPECT_EQ(table(readFileBytes(folder + "/corpus_error.txt")),
                  table(readFileBytes(folder + "/a_error.txt")));
    }
    EXPECT_EQ(outcome.tables[1].events, 100);
}

// The command line itself: exit statuses, refusals and the summary.
struct Command {
    TempDir dir;
    std::string err;
    int operator()(const std::string& args, const std::string& environment = "") {
        // A run that would wait for ever is stopped and fails.
        const int status = run(environment + "timeout 60 " ZORTAN_BATCH_EXE " " + args + " 2> " +
                               dir.file("stderr") + " > " + dir.file("stdout"));
        err = readFileBytes(dir.file("stderr"));
        return status;
    }
};

TEST(Batch, AFileThatFailsLeavesTheOthersAndIsNamed) {
    Command batch;
    const TempDir& dir = batch.dir;
    fs::copy_file(kSamples + "/vowels.fvs", dir.file("good.fvs"));
    dir.write("short.fvs", readFileBytes(kSamples + "/vowels.fvs").substr(0, 900));
    const std::string common = "--tree " + kTree + " --clusters 8 --out " + dir.file("out") +
                               " --outputs recog-codes,teach-cath1,recog-cath1 --jobs 2 ";
    EXPECT_EQ(batch(common + dir.file("good.fvs") + " " + dir.file("short.fvs") + " " +
                    dir.file("missing.fvs")),
              1);
    for (const char* says : {"1 file coded, 2 failed", "missing.fvs\" does not exist.",
                             "short.fvs\" holds no header", "Read beyond end of file"})
        EXPECT_NE(batch.err.find(says), std::string::npos) << batch.err;
    EXPECT_TRUE(fs::exists(dir.file("out/K8/good_code.txt")));
    EXPECT_TRUE(fs::exists(dir.file("out/K8/good_teach_Vowel.txt")));
    EXPECT_FALSE(fs::exists(dir.file("out/K8/good_Teach.zrt")));  // not asked for

    // Outputs that exist are kept unless --overwrite is given; so are the
    // corpus tables.
    EXPECT_EQ(batch(common + dir.file("good.fvs")), 2);
    EXPECT_NE(batch.err.find("K8/corpus_error.txt\" exists; it is kept"), std::string::npos)
        << batch.err;
    fs::remove(dir.file("out/K8/corpus_error.txt"));
    fs::remove(dir.file("out/K8/corpus_error.csv"));
    fs::remove(dir.file("out/K8/corpus_files.csv"));
    dir.write("out/K8/good_code.txt", "mine");
    EXPECT_EQ(batch(common + dir.file("good.fvs")), 1);
    EXPECT_NE(batch.err.find("\" exists; it is kept (--overwrite replaces it)."), std::string::npos)
        << batch.err;
    EXPECT_EQ(readFileBytes(dir.file("out/K8/good_code.txt")), "mine");
    EXPECT_EQ(batch(common + "--overwrite " + dir.file("good.fvs")), 0) << batch.err;
    EXPECT_NE(readFileBytes(dir.file("out/K8/good_code.txt")), "mine");

    // A pair codes into the error file alone, with the compare table.
    EXPECT_EQ(batch("--tree " + kTree + " --clusters 4 --out " + dir.file("cmp") + " --compare " +
                    dir.file("good.fvs") + " " + dir.file("good.fvs")),
              0)
        << batch.err;
    const std::string table = readFileBytes(dir.file("cmp/K4/corpus_error.txt"));
    EXPECT_NE(table.find("\r\n       4"), std::string::npos) << table;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("cmp/K4")), {}), 4);

    // A tree that names no feature kind would have the window wait for a
    // choice: the file fails instead of waiting for ever.
    fixtures::writeTreeFile(dir.file("kindless.vq"), testing::referenceTree({.featureKind = -1}));
    EXPECT_EQ(batch("--tree " + dir.file("kindless.vq") + " --clusters 2 --out " + dir.file("k") +
                    " " + dir.file("good.fvs")),
              1);
    EXPECT_NE(batch.err.find("names no coded feature kind"), std::string::npos) << batch.err;
}

TEST(Batch, RefusesACommandLineItCannotCarryOut) {
    Command batch;
    const std::string out = " --out " + batch.dir.file("out") + " ";
    const std::string tree = "--tree " + kTree;
    const std::string fvs = kSamples + "/vowels.fvs";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {tree + " --clusters 64" + out + fvs, "has 32 clusters at most"},
        {tree + " --clusters 4,x" + out + fvs, "\"x\" is no number of clusters"},
        {tree + " --clusters 4 --outputs teach-all" + out + fvs, "\"teach-all\" is no output"},
        {tree + " --clusters 4" + out, "no event file to code"},
        {tree + " --clusters 4" + out + fvs + " " + fvs, "would write outputs of the same names"},
        {"--tree " + fvs + " --clusters 4" + out + fvs, "cannot be read"},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args);
        EXPECT_EQ(batch(args), 2);
        EXPECT_NE(batch.err.find(says), std::string::npos) << batch.err;
        // A corpus refused makes no folder.
        EXPECT_FALSE(fs::exists(batch.dir.file("out")));
    }
}

// The corpus tables of a folder describe every file coded whole into it,
// by this run or an earlier one, and no input takes their names.
TEST(Batch, CorpusTablesDescribeEveryFileOfTheirFolder) {
    Command batch;
    const TempDir& dir = batch.dir;
    const std::string fvs = readFileBytes(kSamples + "/vowels.fvs");
    for (const char* folder : {"d1", "d2"}) fs::create_directories(dir.file(folder));
    for (const char* name : {"d1/a.fvs", "d2/a.fvs", "d1/b.FVS", "d2/noext", "corpus.fvs"})
        dir.write(name, fvs);
    dir.write("list", dir.file("d1/a.fvs") + "\r\n\r\n" + dir.file("d2/a.fvs") + "\n");
    const std::string common = "--tree " + kTree + " --clusters 8 --out " + dir.file("out") +
                               " --input-root " + dir.file("") + " ";
    // A list of files, two of one name in two folders: mirrored. Nothing
    // needs a temporary folder.
    EXPECT_EQ(batch("--tree " + kTree + " --clusters 8 --out " + dir.file("out") +
                        " --input-root " + dir.file("") + " --file-list " + dir.file("list"),
                    "TMPDIR=" + dir.file("none") + " "),
              0)
        << batch.err;
    EXPECT_NE(batch.err.find("2 files coded, into"), std::string::npos) << batch.err;
    EXPECT_TRUE(fs::exists(dir.file("out/K8/d1/a_error.txt")));
    EXPECT_TRUE(fs::exists(dir.file("out/K8/d2/a_error.txt")));
    const auto filesLine = [&] {
        const std::string table = readFileBytes(dir.file("out/K8/corpus_error.txt"));
        const size_t at = table.find("Coded event files:");
        return table.substr(at, table.find("\r\n", at) - at);
    };
    EXPECT_EQ(filesLine(), "Coded event files:    2");

    // Adding files: refused while the tables exist, then added to them;
    // the files already there are skipped. An input named as the corpus
    // table fails rather than overwrite it.
    const std::string more = dir.file("d1/a.fvs") + " " + dir.file("d1/b.FVS") + " " +
                             dir.file("d2/noext") + " " + dir.file("corpus.fvs");
    EXPECT_EQ(batch(common + more), 2);
    EXPECT_EQ(batch(common + "--skip-existing " + more), 1) << batch.err;
    for (const char* says : {"a.fvs: skipped, its outputs are there", "b.FVS: coded",
                             "noext: coded", "corpus_error.txt\" would be the corpus table"})
        EXPECT_NE(batch.err.find(says), std::string::npos) << batch.err;
    EXPECT_TRUE(fs::exists(dir.file("out/K8/d1/b_error.txt")));
    EXPECT_TRUE(fs::exists(dir.file("out/K8/d2/noext_error.txt")));
    // The four files of both runs, the list naming each once.
    EXPECT_EQ(filesLine(), "Coded event files:    4");
    const std::string list = readFileBytes(dir.file("out/K8/corpus_files.csv"));
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 5) << list;

    // A file whose outputs were removed leaves the tables with them.
    fs::remove(dir.file("out/K8/d2/noext_error.txt"));
    EXPECT_EQ(batch(common + "--overwrite " + dir.file("d1/b.FVS")), 0) << batch.err;
    EXPECT_EQ(filesLine(), "Coded event files:    3");

    // A table that cannot be written is named, after the summary of files.
    fs::remove(dir.file("out/K8/corpus_error.csv"));
    fs::create_directories(dir.file("out/K8/corpus_error.csv/in-the-way"));
    EXPECT_EQ(batch(common + "--overwrite " + dir.file("d1/b.FVS")), 1);
    EXPECT_NE(batch.err.find("1 file coded, into"), std::string::npos) << batch.err;
    EXPECT_NE(batch.err.find("corpus table: the file \"" + dir.file("out/K8/corpus_error.csv")),
              std::string::npos)
        << batch.err;
}

// Files whose events are not what their headers say are coded, but named
// incomplete, and the exit status says so.
TEST(Batch, IncompleteFilesAreCountedAsSuch) {
    Command batch;
    const TempDir& dir = batch.dir;
    const std::string fvs = readFileBytes(kSamples + "/vowels.fvs");
    dir.write("cut.fvs", fvs.substr(0, 1812 * 61));
    std::string none = fvs;
    none.replace(0, 4, 4, '\0');  // declares no event, holds 477
    dir.write("none.fvs", none);
    EXPECT_EQ(batch("--tree " + kTree + " --clusters 8 --out " + dir.file("out") + " " +
                    dir.file("cut.fvs") + " " + dir.file("none.fvs")),
              1);
    for (const char* says : {"0 files coded, 2 incomplete", "cut.fvs: incomplete (K8 60 events)",
                             "holds no further event",
                             "holds 477 event records, but its header "
                             "declares 0"})
        EXPECT_NE(batch.err.find(says), std::string::npos) << batch.err;
}

// SIGTERM stops a corpus: files under way leave no output, the tables
// describe the files coded whole, and --skip-existing goes on.
TEST(Batch, AnInterruptedCorpusLeavesWholeFilesAndGoesOnWhereItStopped) {
    Command batch;
    const TempDir& dir = batch.dir;
    std::string files;
    for (int i = 0; i < 1500; ++i) {
        const std::string name = dir.file("in/f" + std::to_string(i) + ".fvs");
        fs::create_directories(dir.file("in"));
        fs::create_symlink(kSamples + "/vowels.fvs", name);
        files += name + "\n";
    }
    dir.write("list", files);
    const std::string args = "--tree " + kTree + " --clusters 8 --outputs all --jobs 2 --out " +
                             dir.file("out") + " --file-list " + dir.file("list");
    // Stopped while it codes, once a first file is whole.
    EXPECT_EQ(run("(" ZORTAN_BATCH_EXE " " + args + " 2> " + dir.file("err") + " & until ls " +
                  dir.file("out/K8/f*_error.txt") +
                  " > /dev/null 2>&1; do sleep 0.01; done; kill -TERM $!; wait $!)"),
              1);
    const std::string err = readFileBytes(dir.file("err"));
    EXPECT_NE(err.find("Stopped by SIGTERM"), std::string::npos) << err;
    size_t whole = 0, staged = 0;
    std::string left;  // one file left; with two jobs it need not be f0
    for (const auto& entry : fs::directory_iterator(dir.file("out/K8"))) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with("_error.txt") && name != "corpus_error.txt") {
            ++whole;
            left = entry.path().string();
        }
        staged += name.starts_with(".zortan-");
    }
    EXPECT_EQ(staged, 0u);
    ASSERT_GT(whole, 0u);
    ASSERT_LT(whole, 1500u);
    const std::string table = readFileBytes(dir.file("out/K8/corpus_error.txt"));
    EXPECT_NE(table.find("Coded event files:    " + std::to_string(whole) + "\r\n"),
              std::string::npos);
    // Each file left is whole: its error table is there.
    EXPECT_NE(readFileBytes(left).find("Events number=477"), std::string::npos) << left;

    EXPECT_EQ(batch(args + " --skip-existing --quiet"), 0) << batch.err;
    EXPECT_NE(
        readFileBytes(dir.file("out/K8/corpus_error.txt")).find("Coded event files:    1500\r\n"),
        std::string::npos);
}

}  // namespace
}  // namespace zortan::batch
