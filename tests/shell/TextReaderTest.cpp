#include "shell/TextReader.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

TEST(TextReader, NumberEndsAtControlCharacterWhichIsNotConsumed) {
    auto r = TextReader::fromText("12 label text\r\n-7\tnext\r\n");
    EXPECT_EQ(r.readInt32(), 12);
    EXPECT_EQ(r.readText(), " label text");  // starts with the separating blank
    r.readLn();
    EXPECT_EQ(r.readInt32(), -7);
    EXPECT_EQ(r.readChar(), '\t');
    EXPECT_FALSE(r.hitEnd());
}

TEST(TextReader, NumbersSkipBlanksAndLineEnds) {
    auto r = TextReader::fromText("  1\r\n\r\n   2\n3");
    EXPECT_EQ(r.readInt32(), 1);
    EXPECT_EQ(r.readInt32(), 2);
    EXPECT_EQ(r.readInt32(), 3);
    EXPECT_FALSE(r.hitEnd());  // a last line without a line end is complete
    EXPECT_TRUE(r.eof());
}

TEST(TextReader, MalformedOrOversizedIntegersAreInvalidNumericInput) {
    for (const char* text : {"12a", "a", "+-3", "--3", "1.5", "2147483648", "-", "+"}) {
        auto r = TextReader::fromText(text);
        try {
            r.readInt32();
            ADD_FAILURE() << "accepted " << text;
        } catch (const InOutError& e) {
            EXPECT_EQ(e.code(), 106) << text;
        }
    }
    auto r = TextReader::fromText("+5 -2147483648 9223372036854775807");
    EXPECT_EQ(r.readInt32(), 5);
    EXPECT_EQ(r.readInt32(), -2147483648);
    EXPECT_EQ(r.readInt64(), 9223372036854775807LL);
}

TEST(TextReader, RealsWithOptionalFractionAndExponent) {
    auto r = TextReader::fromText("5 5.0 1.6E4 -2.5e-3 +.5 7. 0.1");
    EXPECT_EQ(r.readReal(), 5.0);
    EXPECT_EQ(r.readReal(), 5.0);
    EXPECT_EQ(r.readReal(), 16000.0);
    EXPECT_EQ(r.readReal(), -0.0025);
    EXPECT_EQ(r.readReal(), 0.5);
    EXPECT_EQ(r.readReal(), 7.0);
    EXPECT_EQ(r.readReal(), 0.1);  // correctly rounded
    for (const char* bad : {"1e", "e5", ".", "1.2.3", "nan", "inf", "1e99999"}) {
        auto b = TextReader::fromText(bad);
        EXPECT_THROW(b.readReal(), InOutError) << bad;
    }
}

TEST(TextReader, PastTheEndNumbersAreZeroTextsEmptyCharactersCode26) {
    auto r = TextReader::fromText("4\r\n");
    EXPECT_EQ(r.readInt32(), 4);
    r.readLn();
    EXPECT_FALSE(r.hitEnd());
    EXPECT_EQ(r.readInt32(), 0);
    EXPECT_TRUE(r.hitEnd());
    r.clearHitEnd();
    EXPECT_EQ(r.readReal(), 0.0);
    EXPECT_TRUE(r.hitEnd());
    r.clearHitEnd();
    EXPECT_EQ(r.readLine(), "");
    EXPECT_TRUE(r.hitEnd());
    r.clearHitEnd();
    EXPECT_EQ(r.readChar(), char(26));
    EXPECT_TRUE(r.hitEnd());
}

TEST(TextReader, LinesAreCutAt255AndAllLineEndsAreAccepted) {
    std::string longLine(300, 'x');
    auto r = TextReader::fromText(longLine + "\r\nsecond\nthird\rfourth");
    EXPECT_EQ(r.readLine(), std::string(255, 'x'));
    EXPECT_EQ(r.readLine(), "second");
    EXPECT_EQ(r.readLine(), "third");
    EXPECT_EQ(r.readLine(), "fourth");
    EXPECT_FALSE(r.hitEnd());
    EXPECT_TRUE(r.eof());
    auto unlimited = TextReader::fromText(longLine);
    EXPECT_EQ(unlimited.readLine(100000).size(), 300u);
}

TEST(TextReader, EmptyTextBeforeLineEndIsNotTheEnd) {
    auto r = TextReader::fromText("\r\nx");
    EXPECT_TRUE(r.eoln());
    EXPECT_EQ(r.readText(), "");
    EXPECT_FALSE(r.hitEnd());
}

TEST(TextReader, ReadsFilesAcrossBufferBoundaries) {
    testing::TempDir dir;
    std::string text;
    for (int i = 0; i < 30000; ++i) text += std::to_string(i) + " lbl\r\n";
    auto path = dir.write("big.txt", text);
    TextReader r(path);
    for (int i = 0; i < 30000; ++i) {
        ASSERT_EQ(r.readInt32(), i);
        ASSERT_EQ(r.readText(), " lbl");
        r.readLn();
    }
    EXPECT_TRUE(r.eof());
    EXPECT_FALSE(r.hitEnd());
}

TEST(TextReader, MissingFileIsFileNotFound) {
    testing::TempDir dir;
    try {
        TextReader r(dir.file("none.txt"));
        FAIL();
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
}

}  // namespace
}  // namespace zortan
