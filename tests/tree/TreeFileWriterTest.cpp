// Tree files as the writer leaves them: what it takes comes back from the
// reader bit for bit, and a file is there whole or not at all.
#include "tree/TreeFileWriter.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "base/TextReader.h"
#include "platform/Errors.h"
#include "support/TempDir.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/TreeReader.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using testing::readFileBytes;
using testing::TempDir;

// A real with every bit of it, the sign of zero included.
std::string bits(double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

// Every item of a tree file, one line each: the tree and the file's own
// texts (line 2, the wave file, the three labels, line 46); of the
// centroids, the components that are not +0.
std::string itemsText(const QuantizationTree& t, const std::array<std::string, 6>& texts,
                      bool fftWindowWidth) {
    const AnalysisSettings& a = t.training;
    const TreeTrainingSettings& trb = t.treeTraining;
    std::ostringstream s;
    const auto words = [&s](const Set256& set) {
        for (uint64_t w : set.words) s << w << ' ';
        s << '\n';
    };
    s << t.treeHeading << '\n';
    for (const std::string& text : texts) s << '[' << text << "]\n";
    s << t.centroidsNb << ' ' << t.HeapTop << ' ' << t.trainingEventsNb << ' '
      << t.consideredComponentsNb << " [" << t.featuresSetText << "]\n";
    words(t.constrainedSet);
    for (const Category& c : t.cath) {
        words(c.set);
        s << +c.active << ' ' << c.nbr << " [" << std::string(c.list.begin(), c.list.end())
          << "]\n";
    }
    for (int32_t g : t.groupTable) s << g << ' ';
    s << "| " << t.excludeSetCard << '\n';
    s << a.featureKind << ' ' << a.filter << ' ' << a.scalingConstants << ' ' << a.windowShape
      << ' ' << a.preemphasis << ' ' << a.lifterThreshold << ' ' << bits(a.frameStep) << ' '
      << bits(a.rate) << ' ' << fftWindowWidth << ' ' << a.fftWindowWidth << ' ' << a.averaging
      << ' ' << a.averagingFrames << '\n';
    s << trb.setsDividingMethod << ' ' << trb.setChoiceCriterion << ' '
      << trb.featuresChoiceCriterion << ' ' << trb.setChoiceClassifier << ' '
      << trb.featuresChoiceClassifier << ' ' << trb.setChoiceTraining << ' '
      << trb.featuresChoiceTraining << ' ' << trb.cartLike << ' ' << trb.averagingWindowShape << ' '
      << trb.averagingWindowMs << '\n';
    for (const TreeNode& n : t.nodeHeap) {
        s << n.son << ' ' << n.brother << ' ' << n.code << ' ' << +n.treeCath1 << ' '
          << +n.treeCath2 << ' ' << +n.treeCath3 << ' ' << +n.splitComponent << ':';
        for (size_t i = 0; i < n.centroid.size(); ++i)
            if (std::signbit(n.centroid[i]) || n.centroid[i] != 0.0)
                s << ' ' << i << '=' << bits(n.centroid[i]);
        s << '\n';
    }
    return s.str();
}

// The names in `folder`, sorted, one a line.
std::string entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    return text;
}

// Every item at values away from the defaults and at the edges of its type,
// reals that need all 17 digits, a negative zero, the smallest subnormal and
// an empty value list; the items the reader skips must not shift the others.
TEST(TreeFileWriter, WrittenFileReadsBackEveryItem) {
    const std::array<double, 8> reals = {0.1,
                                         1.0 / 3,
                                         -0.0,
                                         std::nextafter(1.0, 2.0),
                                         -1e-300,
                                         std::numeric_limits<double>::max(),
                                         std::numeric_limits<double>::denorm_min(),
                                         -2.5};
    TreeFileContents c = fixtures::makeTree(
        5, 6, fixtures::SplitOrder::SecondSons,
        [&reals](int node, int i) { return reals[static_cast<size_t>(node * 6 + i) % 8]; });
    QuantizationTree& t = c.tree;
    t.treeHeading = "date 2031-12-24@23:59, teaching file other.fvs";
    c.line2Number = 7, c.line2Text = "teaching sample D:\\x y\\z.fvs", c.waveFileDir = " E:\\w.wav";
    c.cathLabel1 = "Talker of it", c.cathLabel2 = "Phone", c.cathLabel3 = "Sex";
    c.line46 = "reading the nodes";
    c.line9First = 11, c.line9Fifth = -12, c.line16First = 13, c.line16Second = 14;
    c.line17 = 15, c.line21 = 16, c.listSeparator = ',';

    t.centroidsNb = 7;
    t.groupTable = {std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max(),
                    0,
                    -1,
                    5,
                    6,
                    7,
                    8};
    t.trainingEventsNb = std::numeric_limits<int64_t>::max();
    t.excludeSetCard = std::numeric_limits<int64_t>::min();
    t.constrainedSet.words = {0x123456789ABCDEF0u, 0, 0xFFFFFFFF00000000u, 0x8000000000000001u};
    t.featuresSetText = " components 4 to 68";
    t.cath[0].set.words = {~uint64_t{0}, uint64_t{1} << 63, 1, 0};
    t.cath[1].set.words = {0, 0x00FF00FF00FF00FFu, 0, 42};
    t.cath[2].set.words = {};
    t.cath[0].active = 0, t.cath[1].active = 1, t.cath[2].active = 255;
    t.cath[0].nbr = 0, t.cath[0].list = {'z', '\0'};  // its entry beyond nbr is never written
    t.cath[1].nbr = 3, t.cath[1].list = {' ', 'k', '\xE9', ','};
    t.cath[2].nbr = -1, t.cath[2].list = {};
    t.nodeHeap[1].son = -1;
    t.nodeHeap[7].code = 65535;  // a first son: its code is not a tree size index
    TreeNode& last = t.nodeHeap[8];
    last.brother = -32768, last.treeCath1 = 255, last.treeCath2 = 128, last.treeCath3 = 7;
    last.splitComponent = 128;

    AnalysisSettings& a = t.training;
    a.featureKind = 4, a.filter = 3, a.scalingConstants = 1, a.windowShape = 4;
    a.preemphasis = false, a.lifterThreshold = std::numeric_limits<int16_t>::min();
    a.frameStep = 0.1 + 0.2, a.rate = std::nextafter(44100.0, 0.0);
    a.fftWindowWidth = int64_t{1} << 40;
    a.averaging = true, a.averagingFrames = std::numeric_limits<int32_t>::max();
    TreeTrainingSettings& trb = t.treeTraining;
    trb.setsDividingMethod = 0, trb.setChoiceCriterion = 3, trb.featuresChoiceCriterion = 2;
    trb.setChoiceClassifier = 2, trb.featuresChoiceClassifier = 0;
    trb.setChoiceTraining = 0, trb.featuresChoiceTraining = 1;
    trb.cartLike = true, trb.averagingWindowShape = -7, trb.averagingWindowMs = 123456;

    for (const bool width : {true, false}) {
        SCOPED_TRACE(width ? "with the FFT window width" : "without the FFT window width");
        TempDir dir;
        c.writeFftWindowWidth = width;
        writeTreeFile(dir.file("t.vq"), c);
        TextReader reader(dir.file("t.vq"));
        TreeFileItems items;
        items.tree.treeHeading = reader.readLine(std::string::npos);
        ParseTreeFile(reader, items);
        ASSERT_EQ(items.linesRead, TreeFileItems::kWholeFile);

        QuantizationTree want = t;
        if (!width) want.training.fftWindowWidth = items.tree.training.fftWindowWidth;
        EXPECT_EQ(itemsText(items.tree,
                            {items.source, items.waveFileDir, items.labels[0], items.labels[1],
                             items.labels[2], items.readingText},
                            items.fftWindowWidthRead),
                  itemsText(want,
                            {" " + c.line2Text, c.waveFileDir, c.cathLabel1, c.cathLabel2,
                             c.cathLabel3, c.line46},
                            width));
    }
}

// A write that fails throws what opening the path itself for writing says
// and leaves no file, whole or partial, under any name.
TEST(TreeFileWriter, FailedWriteLeavesNothing) {
    TempDir dir;
    const TreeFileContents c = fixtures::makeTree(3, 2);
    fs::create_directory(dir.file("folder"));
    for (const std::string& path : {dir.file("missing/t.vq"), dir.file("folder")}) {
        SCOPED_TRACE(path);
        errno = 0;
        ASSERT_EQ(std::fopen(path.c_str(), "wb"), nullptr);
        const InOutError opening = ioErrorFromErrno(errno);
        (void)opening;
        try {
            writeTreeFile(path, c);
            ADD_FAILURE() << "written";
        } catch (const InOutError& e) {
#ifndef _WIN32
            // (Windows refuses a folder only at the rename, as "a directory".)
            EXPECT_EQ(e.code(), opening.code());
            EXPECT_STREQ(e.what(), opening.what());
#endif
            (void)e;
        }
        EXPECT_EQ(entries(dir.path()), "folder\n");
        EXPECT_TRUE(fs::is_empty(dir.file("folder")));
    }
}

#ifndef _WIN32
// A file is replaced by the new text whole, however long the old one was,
// or, when the writing fails midway (past a file size limit), not at all; a
// pipe is written into and stays the pipe it was.
TEST(TreeFileWriter, ReplacesAFileWholeOrNotAtAllAndWritesIntoAPipe) {
    TempDir dir;
    const TreeFileContents small = fixtures::makeTree(2, 1), big = fixtures::makeTree(9, 20);
    const std::string path = dir.write("t.vq", treeFileText(big));
    writeTreeFile(path, small);
    EXPECT_EQ(readFileBytes(path), treeFileText(small));
    EXPECT_EQ(entries(dir.path()), "t.vq\n");

    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = 4096;
    ASSERT_GT(treeFileText(big).size(), limit.rlim_cur);
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_THROW(writeTreeFile(path, big), InOutError);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, signal);
    EXPECT_EQ(readFileBytes(path), treeFileText(small));
    EXPECT_EQ(entries(dir.path()), "t.vq\n");

    // Held open for reading, the pipe takes the small text without blocking.
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int held = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    writeTreeFile(pipe, small);
    std::string got(1 << 16, '\0');
    const ssize_t n = read(held, got.data(), got.size());
    close(held);
    got.resize(n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_EQ(got, treeFileText(small));
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(entries(dir.path()), "pipe\nt.vq\n");
}

#endif

}  // namespace
}  // namespace zortan
