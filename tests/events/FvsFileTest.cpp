// The fvs file's record reader, read ahead by a thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "events/EventSeries.h"
#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

// Records whose every byte tells the record's number and the byte's place.
std::string numberedRecords(int count, size_t tail = 0) {
    std::string s;
    for (int n = 0; n < count; ++n)
        for (size_t i = 0; i < kFvsRecordSize; ++i)
            s += static_cast<char>((n * 7 + static_cast<int>(i % 251)) & 0xFF);
    return s + std::string(tail, '\x55');
}

// Reads every record; -1 when one differs from what numberedRecords wrote.
int readAll(FvsFile& f) {
    int n = 0;
    while (const uint8_t* r = f.nextRecord()) {
        for (size_t i = 0; i < kFvsRecordSize; i += 97)
            if (r[i] != static_cast<uint8_t>((n * 7 + static_cast<int>(i % 251)) & 0xFF)) return -1;
        ++n;
    }
    return n;
}

// Counts around the ring's buffers, with or without a partial last record.
TEST(FvsFile, HandsOutEveryWholeRecordInOrder) {
    testing::TempDir dir;
    for (const int count : {0, 1, 63, 64, 65, 512, 1100})
        for (const size_t tail : {size_t{0}, size_t{1}, kFvsRecordSize - 1}) {
            FvsFile f;
            f.open(dir.write("r.fvs", numberedRecords(count, tail)));
            EXPECT_EQ(readAll(f), count) << count << "+" << tail;
            EXPECT_EQ(f.nextRecord(), nullptr);
            f.close();
        }
}

// A file still being written, in pieces that end inside records: every record
// handed out is whole and in order, however the reads fall.
TEST(FvsFile, AFileGrowingInPiecesGivesOnlyWholeRecords) {
    testing::TempDir dir;
    const std::string bytes = numberedRecords(400);
    const std::string path = dir.write("grow.fvs", bytes.substr(0, 1000));
    std::thread writer([&] {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        for (size_t at = 1000; at < bytes.size(); at += 997) {
            out.write(bytes.data() + at,
                      static_cast<std::streamsize>(std::min<size_t>(997, bytes.size() - at)));
            out.flush();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int attempt = 0; attempt < 20; ++attempt) {
        FvsFile f;
        f.open(path);
        const int n = readAll(f);
        EXPECT_GE(n, 0) << "a record handed out is not the one written";
        EXPECT_LE(n, 400);
        f.close();
    }
    writer.join();
    FvsFile whole;
    whole.open(path);
    EXPECT_EQ(readAll(whole), 400);
}

// The reading thread notes every record it reads after the work is set, beside
// the record, none after it is unset; work that may wait is done by the caller
// for the records the thread has not noted, those read before included.
TEST(FvsFile, RecordWorkIsNotedBesideEachRecord) {
    for (const bool mayWait : {false, true}) {
        testing::TempDir dir;
        FvsFile f;
        f.open(dir.write("r.fvs", numberedRecords(1500)));
        ASSERT_TRUE(f.readsAhead());
        // The note tells the record by its first byte and its 100th.
        f.setRecordWork(
            [](const uint8_t* records, size_t count, RecordNote* notes) {
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* r = records + i * kFvsRecordSize;
                    notes[i] = RecordNote{uint64_t{r[0]} | uint64_t{r[99]} << 8, 1};
                }
            },
            mayWait);
        int n = 0, noted = 0;
        for (; n < 1000; ++n) {
            const uint8_t* r = f.nextRecord();
            ASSERT_NE(r, nullptr);
            ASSERT_EQ(r[0], static_cast<uint8_t>(n * 7)) << n;
            const RecordNote* note = f.noteOfLast();
            // The ring holds 512 records: those after them were read with the work.
            ASSERT_TRUE(note != nullptr || (n < 512 && !mayWait)) << n;
            if (note == nullptr) continue;
            ++noted;
            ASSERT_EQ((*note)[0], uint64_t{r[0]} | uint64_t{r[99]} << 8) << n;
            ASSERT_EQ((*note)[1], 1u);
        }
        EXPECT_GE(noted, mayWait ? 1000 : 488);
        f.setRecordWork(nullptr);
        for (; f.nextRecord() != nullptr; ++n) ASSERT_EQ(f.noteOfLast(), nullptr) << n;
        EXPECT_EQ(n, 1500);
        f.close();
    }
}

// Closing part way (the reader maybe waiting on a full ring) and opening another
// file start afresh; a closed file is no end of data.
TEST(FvsFile, ClosesReopensAndFails) {
    testing::TempDir dir;
    const std::string big = dir.write("big.fvs", numberedRecords(3000));
    const std::string small = dir.write("small.fvs", numberedRecords(5));
    FvsFile f;
    for (int round = 0; round < 20; ++round) {
        f.open(big);
        for (int n = 0; n < round * 37; ++n) ASSERT_NE(f.nextRecord(), nullptr);
        if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        f.open(small);  // closes the big one first
        EXPECT_EQ(readAll(f), 5) << round;
    }
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_THROW(f.nextRecord(), InOutError);
}

}  // namespace
}  // namespace zortan
