#include "analysis/Labels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace zortan::analysis {
namespace {

// The tiers in one line: "name: <label>start-end ... | name: ...".
std::string show(const Annotation& a) {
    std::ostringstream s;
    for (const Tier& t : a.tiers) {
        s << (&t == &a.tiers.front() ? "" : " | ") << t.name << ":";
        for (const Interval& i : t.intervals)
            s << " <" << i.label << ">" << i.start << "-" << i.end;
    }
    return s.str();
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// UTF-16 with a byte order mark, as Praat writes a file that is not all ASCII.
std::string utf16(const std::string& utf8, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    auto put = [&](uint32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += little ? std::string{lo, hi} : std::string{hi, lo};
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
        for (int k = 1; k < n; ++k) c = c << 6 | (utf8[i + k] & 0x3F);
        i += n;
        if (c < 0x10000) {
            put(c);
        } else {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

const std::string kLongGrid = R"(File type = "ooTextFile"
Object class = "TextGrid"

xmin = 0
xmax = 1.5
tiers? <exists>
size = 3
item []:
    item [1]:
        class = "IntervalTier"
        name = "words"
        xmin = 0
        xmax = 1.5
        intervals: size = 3
        intervals [1]:
            xmin = 0
            xmax = 0.5
            text = ""
        intervals [2]:
            xmin = 0.5
            xmax = 1.25
            text = " say ""hi"" "
        intervals [3]:
            xmin = 1.25
            xmax = 1.5
            text = "ʃ𝄞"
    item [2]:
        class = "TextTier"
        name = "tones"
        xmin = 0
        xmax = 1.5
        points: size = 1
        points [1]:
            number = 0.7
            mark = "H*"
    item [3]:
        class = "IntervalTier"
        name = "phones"
        xmin = 0
        xmax = 1.5
        intervals: size = 2
        intervals [1]:
            xmin = 0
            xmax = 1
            text = "a"
        intervals [2]:
            xmin = 1
            xmax = 1.5
            text = "b"
)";

const std::string kShortGrid = R"(File type = "ooTextFile"
Object class = "TextGrid"

0
1.5
<exists>
3
"IntervalTier"
"words"
0
1.5
3
0
0.5
""
0.5
1.25
" say ""hi"" "
1.25
1.5
"ʃ𝄞"
"TextTier"
"tones"
0
1.5
1
0.7
"H*"
"IntervalTier"
"phones"
0
1.5
2
1
1.5
"b"
0
1
"a"
)";

const char* const kGridTiers =
    R"(words: <>0-0.5 <say "hi">0.5-1.25 <ʃ𝄞>1.25-1.5 | phones: <a>0-1 <b>1-1.5)";

// A short TextGrid of one interval tier "w" of `n` intervals, which begin on line 13.
std::string grid(int n, const std::string& intervals) {
    return "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\n0\n2\n<exists>\n1\n"
           "\"IntervalTier\"\n\"w\"\n0\n2\n" +
           std::to_string(n) + "\n" + intervals;
}

TEST(ReadAnnotation, EachFormatGivesItsIntervals) {
    struct Case {
        const char* file;
        std::string bytes;
        double rate;
        const char* format;
        const char* tiers;
    };
    const Case cases[] = {
        {"long.TextGrid", kLongGrid, 0, "textgrid-long", kGridTiers},
        {"short.TextGrid", crlf(kShortGrid), 0, "textgrid-short", kGridTiers},
        {"le.TextGrid", utf16(kLongGrid, true), 0, "textgrid-long", kGridTiers},
        {"be.TextGrid", utf16(kShortGrid, false), 0, "textgrid-short", kGridTiers},
        {"old.TextGrid",
         "File type = \"ooTextFile short\"\n\"TextGrid\"\n0 1 <exists> 1\n"
         "\"IntervalTier\" \"w\" 0 1 1 0 1 \"x\"\n",
         0, "textgrid-short", "w: <x>0-1"},
        {"none.TextGrid", "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n0 1 <absent>\n",
         0, "textgrid-short", ""},
        // A score and further columns; a tee model's label of no duration.
        {"htk.lab",
         crlf("0 5000000 sil -120.5\n5000000 12500000 a -80 A -80\n12500000 12500000 sp\n"
              "12500000 20000000 b\n"),
         0, "htk", "lab: <sil>0-0.5 <a>0.5-1.25 <b>1.25-2"},
        {"levels.lab", "0 5000000 a\n5000000 10000000 b\n///\n0 10000000 ab\n", 0, "htk",
         "1: <a>0-0.5 <b>0.5-1 | 2: <ab>0-1"},
        {"tabs.lab", "0\t5000000\ta\n", 0, "htk", "lab: <a>0-0.5"},
        {"empty.lab", "", 0, "htk", "lab:"},
        {"esps.lab",
         "signal s1\ntype 0\ncolor 121\nnfields 1\n#\n    0.500000  121 sil\n"
         "    1.250000  121 a b\n    1.500000  121\n",
         0, "esps", "lab: <sil>0-0.5 <a b>0.5-1.25 <>1.25-1.5"},
        {"timit.phn", "0 8000 h#\n8000 20000 sh\n20000 24000 iy\n", 16000, "timit",
         "phn: <h#>0-0.5 <sh>0.5-1.25 <iy>1.25-1.5"},
        {"timit.wrd", "8000 24000 she\n", 16000, "timit", "wrd: <she>0.5-1.5"},
        // Out of order, a frequency line, a point label.
        {"track.txt",
         "1.250000\t1.500000\tb c\n\\\t100.000000\t2000.000000\n0.500000\t1.250000\t  sil \n"
         "1.500000\t1.500000\tpoint\n",
         0, "audacity", "audacity: <sil>0.5-1.25 <b c>1.25-1.5"},
        {"track.lab", "0.000000\t0.500000\ta\n", 0, "audacity", "audacity: <a>0-0.5"},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.write(c.file, c.bytes);
        const Annotation a = ReadAnnotation(path, c.rate);
        EXPECT_EQ(a.path, path);
        EXPECT_EQ(a.format, c.format);
        EXPECT_EQ(show(a), c.tiers);
    }
    const Annotation a = ReadAnnotation(dir.write("g.TextGrid", kLongGrid), 0);
    EXPECT_EQ(a.pointTiers, std::vector<std::string>{"tones"});
    EXPECT_EQ(a.end(), 1.5);
}

TEST(ReadAnnotation, RefusesNamingFileAndLine) {
    struct Case {
        const char* file;
        std::string bytes;  // empty: written from `grids` below, or not at all
        double rate;
        int line;  // 0: the message names the file alone
        const char* says;
    };
    const Case cases[] = {
        {"missing.lab", "", 0, 0, "no such file"},
        {"", "", 0, 0, "a folder"},
        {"odd.TextGrid",
         std::string("\xFF\xFE"
                     "a\0\n\0b",
                     7),
         0, 2, "half a character"},
        {"words.txt", "\nhello world\n", 0, 2, "not a label file of a known kind"},
        {"whole.txt", "0 100 a\n", 0, 1, "name the file .lab or .phn"},
        {"bin.TextGrid", "ooBinaryFile\x08TextGrid", 0, 0, "binary Praat file"},
        {"text.TextGrid", "xmin = 0\n", 0, 1, "not a Praat TextGrid text file"},
        {"sound.TextGrid", "File type = \"ooTextFile\"\nObject class = \"Sound\"\n", 0, 2,
         "a Praat \"Sound\", not a TextGrid"},
        {"cut.TextGrid", "", 0, 17,
         "the file ends where an interval's text was due (in tier \"w\")"},
        {"back.TextGrid", "", 0, 13, "the interval \"a\" ends (0.25 s) before it starts (0.5 s)"},
        {"over.TextGrid", "", 0, 16,
         "in tier \"w\", \"b\" (0.5 to 1.5 s, line 16) overlaps \"a\" (0 to 1 s, line 13)"},
        {"quote.TextGrid", "", 0, 15, "closing quote is missing"},
        {"text-for-time.TextGrid", "", 0, 13,
         "expected a number (an interval's start) but found the text \"x\" (in tier \"w\")"},
        {"class.TextGrid",
         "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n0 1 <exists> 1\n"
         "\"PitchTier\" \"p\" 0 1 0\n",
         0, 4, "a tier of class \"PitchTier\", neither an IntervalTier nor a TextTier"},
        {"mlf.lab", "#!MLF!#\n\"*/a.lab\"\n0 100 a\n.\n", 0, 1, "an HTK master label file"},
        {"seconds.lab", "0 5000000 a\n0.5 1.0 b\n", 0, 2, "whole 100 ns units"},
        {"unsorted.lab", "5000000 10000000 b\n0 6000000 a\n", 0, 1,
         "\"b\" (0.5 to 1 s, line 1) overlaps \"a\" (0 to 0.6 s, line 2)"},
        {"back.lab", "#\n1.0 121 a\n0.5 121 b\n", 0, 3, "ends (0.5 s) before it starts (1 s)"},
        {"nocolor.lab", "#\n1.0\n", 0, 2, "expected \"end-time color label\""},
        {"norate.phn", "0 100 a\n", 0, 0, "need the recording's sample rate"},
        {"negative.phn", "-5 100 a\n", 16000, 1, "expected \"start-sample end-sample label\""},
        {"short.txt", "0.5\t1\ta\n1\tb\n", 0, 2, "expected \"start<TAB>end<TAB>label\""},
    };
    const std::string grids[][2] = {
        {"cut.TextGrid", grid(2, "0\n1\n\"a\"\n1\n2\n")},
        {"back.TextGrid", grid(1, "0.5\n0.25\n\"a\"\n")},
        {"over.TextGrid", grid(2, "0\n1\n\"a\"\n0.5\n1.5\n\"b\"\n")},
        {"quote.TextGrid", grid(1, "0\n1\n\"a\n")},
        {"text-for-time.TextGrid", grid(1, "\"x\"\n1\n\"a\"\n")},
    };
    testing::TempDir dir;
    for (const auto& [file, bytes] : grids) dir.write(file, bytes);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.file(c.file);
        if (!c.bytes.empty()) dir.write(c.file, c.bytes);
        const std::string where = path + (c.line ? ":" + std::to_string(c.line) : "") + ": ";
        try {
            ReadAnnotation(path, c.rate);
            ADD_FAILURE() << "read";
        } catch (const LabelError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.substr(0, where.size()), where) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
        }
    }
}

TEST(TierNamed, ByNameOrNumberElseListsTheTiers) {
    testing::TempDir dir;
    const Annotation a = ReadAnnotation(dir.write("g.TextGrid", kLongGrid), 0);
    const std::string tiers = "the tiers are 1 \"words\", 2 \"phones\"";
    const std::pair<const char*, std::string> cases[] = {
        {"phones", "phones"},
        {"1", "words"},
        {"2", "phones"},
        {"3", "no tier \"3\"; " + tiers + " (point tiers, not read: \"tones\")"},
        {"0", "no tier \"0\"; " + tiers + " (point tiers, not read: \"tones\")"},
        {"tones", "\"tones\" is a point tier; only interval tiers are read; " + tiers},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        try {
            EXPECT_EQ(TierNamed(a, name).name, expected);
        } catch (const LabelError& e) {
            EXPECT_EQ(e.what(), a.path + ": " + expected);
        }
    }
    const Annotation none = ReadAnnotation(
        dir.write("none.TextGrid",
                  "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n0 1 <absent>\n"),
        0);
    EXPECT_THROW(
        try { TierNamed(none, "1"); } catch (const LabelError& e) {
            EXPECT_EQ(e.what(), none.path + ": no tier \"1\"; there are no interval tiers");
            throw;
        },
        LabelError);
}

TEST(IntervalAt, StartInclusiveEndExclusiveLabelledOnly) {
    const Tier t{"t", {{0.5, 1, "a"}, {1, 1.5, ""}, {2, 3, "c"}, {3, 4, "d"}}};
    const std::pair<double, const char*> cases[] = {
        {0, "-"},    {0.4999, "-"}, {0.5, "a"},   {0.9999, "a"}, {1, "-"}, {1.25, "-"},
        {1.75, "-"}, {2, "c"},      {2.999, "c"}, {3, "d"},      {4, "-"}, {10, "-"},
    };
    for (const auto& [time, label] : cases) {
        const Interval* i = IntervalAt(t, time);
        EXPECT_EQ(i ? i->label : "-", label) << "at " << time;
    }
    EXPECT_EQ(IntervalAt(Tier{}, 1), nullptr);
}

TEST(LabelMap, AssignsInOrderOfFirstUse) {
    LabelMap m;
    const std::pair<const char*, char> cases[] = {
        {"sil", 'A'}, {"a", 'a'},   {"aa", 'B'},  // a letter stands for itself
        {"A", 'C'},                               // 'A' is taken by "sil"
        {"-", 'D'},                               // '-' is the outside character
        {"", '-'},    {"sil", 'A'}, {"\x01", 'E'}, {"é", 'F'}, {"~", '~'},
    };
    for (const auto& [label, c] : cases) EXPECT_EQ(m.charFor(label), c) << label;
    EXPECT_EQ(m.size(), 8u);
    EXPECT_EQ(m.labelOf('A'), "sil");
    EXPECT_EQ(m.labelOf('C'), "A");
    EXPECT_EQ(m.labelOf('-'), "");
    EXPECT_EQ(m.labelOf('z'), "");
}

TEST(LabelMap, OneByteHoldsTheLabelsBesidesTheOutsideCharacter) {
    for (const char outside : {'-', '\0'}) {
        SCOPED_TRACE(int(outside));
        const size_t capacity = outside == '-' ? 221 : 222;
        LabelMap m(outside);
        std::string chars;
        for (size_t i = 0; i < capacity; ++i) chars += m.charFor("label" + std::to_string(i));
        EXPECT_EQ(chars.substr(0, 3) + chars.substr(25, 3) + chars.substr(61, 3), "ABCZab9!\"");
        EXPECT_EQ(chars[74], outside == '-' ? '.' : '-');
        EXPECT_EQ(static_cast<unsigned char>(chars[capacity - 128]), 0x80);
        EXPECT_EQ(static_cast<unsigned char>(chars.back()), 0xFF);
        EXPECT_EQ(chars.find(outside), std::string::npos);
        try {
            m.charFor("one more");
            ADD_FAILURE() << "assigned";
        } catch (const LabelError& e) {
            EXPECT_NE(std::string(e.what()).find("more than " + std::to_string(capacity)),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(m.charFor("label0"), 'A');
    }
}

TEST(LabelMap, WrittenAndReadBackGoesOnAssigning) {
    testing::TempDir dir;
    LabelMap m('~');
    for (const char* label : {"sil", "a", "aa", "A"}) m.charFor(label);
    for (int i = 0; i < 100; ++i) m.charFor("w" + std::to_string(i));
    m.Write(dir.file("labels.map"));
    const std::string bytes = testing::readFileBytes(dir.file("labels.map"));
    const std::string head = "~\t(outside)\r\nA\tsil\r\na\ta\r\nB\taa\r\nC\tA\r\nD\tw0\r\n";
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    EXPECT_NE(bytes.find("\r\n\\x80\tw89\r\n"), std::string::npos);

    LabelMap back = LabelMap::Read(dir.file("labels.map"));
    EXPECT_EQ(back.outside(), '~');
    EXPECT_EQ(back.size(), m.size());
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(back.labelOf(static_cast<char>(c)), m.labelOf(static_cast<char>(c))) << c;
    EXPECT_EQ(back.labelOf('\x80'), "w89");
    for (const char* label : {"new", "w5", "D", "b", "another"})
        EXPECT_EQ(back.charFor(label), m.charFor(label)) << label;

    m.charFor("tab\there");
    EXPECT_THROW(m.Write(dir.file("other.map")), LabelError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.map")));
}

TEST(LabelMap, ReadRefusesAMalformedMap) {
    const std::pair<const char*, std::string> cases[] = {
        {"", ": empty"},
        {"A\tsil\r\n", ":1: the first line is to give the outside character"},
        {"-\t(outside)\r\nA sil\r\n", ":2: expected"},
        {"-\t(outside)\r\nAB\tsil\r\n", ":2: expected"},
        {"-\t(outside)\r\n\\xZZ\tsil\r\n", ":2: expected"},
        {"-\t(outside)\r\nA\ts\til\r\n", ":2: expected"},
        {"-\t(outside)\r\nA\t\r\n", ":2: the character A has no label"},
        {"-\t(outside)\r\nA\tsil\r\nA\tsh\r\n", ":3: the character A is given before, on line 2"},
        {"-\t(outside)\r\nA\tsil\r\n\r\nB\tsil\r\n", ":4: the label \"sil\" is given before"},
        {"-\t(outside)\r\n-\tsil\r\n", ":2: the character - is given before, on line 1"},
    };
    testing::TempDir dir;
    for (const auto& [text, says] : cases) {
        const std::string path = dir.write("labels.map", text);
        try {
            LabelMap::Read(path);
            ADD_FAILURE() << "read " << text;
        } catch (const LabelError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(path + says, 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace zortan::analysis
