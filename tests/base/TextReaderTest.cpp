#include "base/TextReader.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

// A number ends at a control character, which is not consumed; numbers skip
// blanks and line ends; past the end numbers are 0, texts empty and
// characters code 26, and the end is noted.
TEST(TextReader, NumbersTextsLinesRealsAndTheEnd) {
    auto r = TextReader::fromText("12 label text\r\n-7\tnext\r\n  1\r\n\r\n   2\n3");
    EXPECT_EQ(r.readInt32(), 12);
    EXPECT_EQ(r.readText(), " label text");  // starts with the separating blank
    r.readLn();
    EXPECT_EQ(r.readInt32(), -7);
    EXPECT_EQ(r.readChar(), '\t');
    r.readLn();
    for (int want : {1, 2, 3}) EXPECT_EQ(r.readInt32(), want);
    EXPECT_TRUE(r.eof());
    auto ended = [&r] {
        const bool hit = r.hitEnd();
        r.clearHitEnd();
        return hit;
    };
    EXPECT_FALSE(ended());  // a last line without a line end is complete
    EXPECT_TRUE(r.readInt32() == 0 && ended());
    EXPECT_TRUE(r.readReal() == 0.0 && ended());
    EXPECT_TRUE(r.readLine().empty() && ended());
    EXPECT_TRUE(r.readChar() == char(26) && ended());

    auto e = TextReader::fromText("\r\nx");  // an empty text before a line end is not the end
    EXPECT_TRUE(e.eoln());
    EXPECT_EQ(e.readText(), "");
    EXPECT_FALSE(e.hitEnd());

    // Lines are cut at 255 characters; every kind of line end is taken.
    const std::string longLine(300, 'x');
    auto lines = TextReader::fromText(longLine + "\r\nsecond\nthird\rfourth");
    for (const std::string& want : {std::string(255, 'x'), std::string("second"),
                                    std::string("third"), std::string("fourth")})
        EXPECT_EQ(lines.readLine(), want);
    EXPECT_FALSE(lines.hitEnd());
    EXPECT_TRUE(lines.eof());
    EXPECT_EQ(TextReader::fromText(longLine).readLine(100000).size(), 300u);

    // Reals, correctly rounded; anything else is refused.
    auto reals = TextReader::fromText("5.0 1.6E4 -2.5e-3 +.5 7. 0.1");
    for (double want : {5.0, 16000.0, -0.0025, 0.5, 7.0, 0.1}) EXPECT_EQ(reals.readReal(), want);
    for (const char* bad : {"1e", "e5", ".", "1.2.3", "nan", "inf", "1e99999"}) {
        auto b = TextReader::fromText(bad);
        EXPECT_THROW(b.readReal(), InOutError) << bad;
    }
}

// Integers at the edges of their widths, read from files (tree, table
// header) and from a table's rows, which are scanned apart: both take the
// same tokens alike. "-" marks an invalid numeric input.
TEST(TextReader, IntegerTokensAtTheirLimitsAlikeInFilesAndRows) {
    const struct {
        const char* token;
        const char* int32;
        const char* int64;
    } cases[] = {
        {"2147483647", "2147483647", "2147483647"},
        {"2147483648", "-", "2147483648"},
        {"-2147483648", "-2147483648", "-2147483648"},
        {"-2147483649", "-", "-2147483649"},
        {"9223372036854775807", "-", "9223372036854775807"},
        {"9223372036854775808", "-", "-"},
        {"+5", "5", "5"},
        {"+", "-", "-"},
        {"+-5", "-", "-"},
        {"5\0017", "5", "5"},  // ends at a control character (code 1)
        {"5!", "-", "-"},
        {"0x10", "-", "-"},
        {"1e3", "-", "-"},
    };
    const auto read = [](auto&& readNumber) -> std::string {
        try {
            return std::to_string(readNumber());
        } catch (const InOutError& e) {
            EXPECT_STREQ(e.what(), "Invalid numeric input");
            return "-";
        }
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        const std::string text = std::string(" \t") + c.token + " 9";
        auto file = TextReader::fromText(text), wide = TextReader::fromText(text);
        TokenScanner row(text);
        EXPECT_EQ(read([&] { return file.readInt32(); }), c.int32);
        EXPECT_EQ(read([&] { return row.readInt32(); }), c.int32);
        EXPECT_EQ(read([&] { return wide.readInt64(); }), c.int64);
    }
    TokenScanner empty(" \t ");
    EXPECT_EQ(empty.readInt32(), 0);
    EXPECT_TRUE(empty.hitEnd());
}

TEST(TextReader, FilesAreReadAcrossBufferBoundariesAndAMissingOneIsNotFound) {
    testing::TempDir dir;
    std::string text;
    for (int i = 0; i < 30000; ++i) text += std::to_string(i) + " lbl\r\n";
    TextReader r(dir.write("big.txt", text));
    for (int i = 0; i < 30000; ++i) {
        ASSERT_EQ(r.readInt32(), i);
        ASSERT_EQ(r.readText(), " lbl");
        r.readLn();
    }
    EXPECT_TRUE(r.eof());
    EXPECT_FALSE(r.hitEnd());
    try {
        TextReader missing(dir.file("none.txt"));
        ADD_FAILURE();
    } catch (const InOutError& e) {
        EXPECT_EQ(std::to_string(e.code()) + " " + e.what(), "2 File not found");
    }
}

}  // namespace
}  // namespace zortan
