#include "tree/TreeFileWriter.h"

#include <cerrno>
#include <cstdio>

#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

namespace {

class Lines {
  public:
    void line(const std::string& text) { out_ += text + "\r\n"; }
    template <typename... Numbers>
    void numbers(const std::string& tail, Numbers... values) {
        std::string text;
        const auto append = [&text](auto value) {
            if (!text.empty()) text.push_back(' ');
            text.append(std::to_string(value));
        };
        (append(values), ...);
        line(text + tail);
    }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

// A real that reads back as the same double.
std::string realText(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

// A text that follows a number on its line must be separated from it.
std::string tailText(const std::string& text) {
    if (!text.empty() && static_cast<unsigned char>(text[0]) <= 32) return text;
    return " " + text;
}

std::string listLine(const TcharList& list, int nbr, char separator) {
    std::string text;
    for (int i = 0; i <= nbr; ++i) {
        text += checkedAt(list, i);
        text += separator;
    }
    return text;
}

int64_t signedWord(uint64_t word) {
    return static_cast<int64_t>(word);
}

// Writes `text` to `path`; failures are input/output errors.
void writeText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw ioErrorFromErrno(errno);
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno ? errno : EIO;
    if (std::fclose(f) != 0 || !written) throw ioErrorFromErrno(written ? errno : err);
}

}  // namespace

std::string treeFileText(const TreeFileContents& c) {
    const QuantizationTree& t = c.tree;
    const AnalysisSettings& a = t.training;
    const TreeTrainingSettings& trb = t.treeTraining;
    Lines out;

    out.line(t.treeHeading);
    out.line(std::to_string(c.line2Number) + " " + c.line2Text);
    out.numbers("", trb.setsDividingMethod);
    out.numbers(tailText(c.waveFileDir), t.centroidsNb, t.HeapTop, t.trainingEventsNb,
                a.lifterThreshold);
    if (c.writeFftWindowWidth)
        out.numbers(" considered components, FFT window width", t.consideredComponentsNb,
                    a.fftWindowWidth);
    else
        out.numbers(" considered components", t.consideredComponentsNb);
    out.numbers("", a.featureKind);
    {
        std::string words;
        for (const Set256* set : {&t.cath[0].set, &t.cath[1].set, &t.cath[2].set})
            for (uint64_t w : set->words) words += std::to_string(signedWord(w)) + " ";
        out.line(words + "category value sets");
    }
    {
        std::string words;
        for (size_t j = 0; j < 8; ++j) {
            const uint64_t w = (t.constrainedSet.words[j / 2] >> ((j % 2) * 32)) & 0xFFFFFFFFu;
            words += (j ? " " : "") + std::to_string(w);
        }
        out.line(words + tailText(t.featuresSetText));
    }
    out.numbers(" active categories", c.line9First, t.cath[0].active, t.cath[1].active,
                t.cath[2].active, c.line9Fifth);
    out.numbers("", a.averaging ? 1 : 0);
    out.numbers("", trb.averagingWindowShape);
    out.numbers("", trb.averagingWindowMs);
    out.numbers("", a.averagingFrames);
    out.line(realText(a.frameStep));
    out.line(realText(a.rate));
    out.numbers("", c.line16First, c.line16Second);
    out.numbers("", c.line17);
    out.numbers("", a.scalingConstants);
    out.numbers("", a.filter);
    out.numbers("", a.windowShape);
    out.numbers("", c.line21);
    out.numbers("", trb.setChoiceCriterion);
    out.numbers("", trb.featuresChoiceCriterion);
    out.numbers("", trb.setChoiceClassifier);
    out.numbers("", trb.featuresChoiceClassifier);
    out.numbers("", trb.setChoiceTraining);
    out.numbers("", trb.featuresChoiceTraining);
    out.numbers("", a.preemphasis ? 1 : 0);
    out.numbers("", trb.cartLike ? 1 : 0);
    out.line("group table:");
    {
        std::string groups;
        for (size_t i = 0; i <= t.centroidsNb; ++i)
            groups +=
                (i ? " " : "") + std::to_string(i < t.groupTable.size() ? t.groupTable[i] : 0);
        out.line(groups);
    }
    out.numbers(" exclude set card", t.excludeSetCard);
    out.line("categories:");
    out.numbers(" numbers of values (category 2, 1, 3)", t.cath[1].nbr, t.cath[0].nbr,
                t.cath[2].nbr);
    out.line("value lists");
    out.line("category 2:");
    out.line(listLine(t.cath[1].list, t.cath[1].nbr, c.listSeparator));
    out.line("category 1:");
    out.line(listLine(t.cath[0].list, t.cath[0].nbr, c.listSeparator));
    out.line("category 3:");
    out.line(listLine(t.cath[2].list, t.cath[2].nbr, c.listSeparator));
    out.line("category names:");
    out.line(c.cathLabel1);
    out.line(c.cathLabel2);
    out.line(c.cathLabel3);
    out.line(c.line46);

    for (int k = 0; k <= t.HeapTop; ++k) {
        const TreeNode& n = checkedAt(t.nodeHeap, k);
        out.line("node " + std::to_string(k) + ":");
        out.numbers(" son brother code cath1 cath2 cath3 split", n.son, n.brother, n.code,
                    n.treeCath1, n.treeCath2, n.treeCath3, n.splitComponent);
        out.line("centroid:");
        for (int32_t i = 0; i < t.consideredComponentsNb; ++i)
            out.line(realText(i < kComponents ? n.centroid[static_cast<size_t>(i)] : 0.0));
    }
    return out.take();
}

void writeTreeFile(const std::string& path, const TreeFileContents& contents) {
    const std::string text = treeFileText(contents);
    // A device or a pipe is written as it is: it holds no file to keep
    // whole, and its name is not to be replaced.
    if (otherFileExists(path)) return writeText(path, text);
    // The text is whole under a name of its own before it takes `path`.
    const std::string temporary = siblingTempName(path);
    try {
        writeText(temporary, text);
        replaceFile(temporary, path);
    } catch (const InOutError&) {
        std::remove(temporary.c_str());
        throw;
    }
}

}  // namespace zortan
