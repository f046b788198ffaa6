#include "events/FvsReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Errors.h"
#include "plots/EventPictures.h"
#include "shell/Program.h"
#include "shell/ShellState.h"

namespace zortan {

namespace {

constexpr int kRealTypeWords = 4;  // this system's realType: the 8-byte double
constexpr int kParameterWords = 129;

void prefetchForReading(const uint8_t* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p, 0, 3);
#else
    (void)p;
#endif
}

// Little-endian fields of a record, decoded byte by byte.
uint16_t word(const uint8_t* r, size_t offset) {
    return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}
int16_t signedWord(const uint8_t* r, size_t offset) {
    return static_cast<int16_t>(word(r, offset));
}
uint32_t longWord(const uint8_t* r, size_t offset) {
    return uint32_t{word(r, offset)} | (uint32_t{word(r, offset + 2)} << 16);
}
uint64_t quadWord(const uint8_t* r, size_t offset) {
    return uint64_t{longWord(r, offset)} | (uint64_t{longWord(r, offset + 4)} << 32);
}

// Word W[i] of the header's parameter area.
size_t parameterOffset(int i) {
    return kFvsParameterArea + 2 * static_cast<size_t>(i);
}

// An index with value names, or -1 (no choice) when it names none.
int choiceIndex(int16_t value, size_t names) {
    return value >= 0 && static_cast<size_t>(value) < names ? value : -1;
}

// Copies a record into the shared buffer, which is only overwritten by a
// whole record: a partial one at the end of the file leaves it intact.
void keepRecord(Program& program, const uint8_t* record) {
    std::memcpy(program.fvsRecord.data(), record, kFvsRecordSize);
}

std::string realTypeSizeMessage(int declaredSize, const std::string& name) {
    return "The realType size declaread in the Ondrix analyzer (=" + std::to_string(declaredSize) +
           "), differs from the realType declaread here (=" + std::to_string(kRealTypeWords) +
           ").\r\nThe parameter\r\n\r\n" + name +
           "\r\n\r\nwill be incorrectly read out."
           "\r\nThis influences averaging parameters in the spectra or cepstra preprocessing "
           "consisted in time-constant"
           " contribution removal.\r\nYou should set this parameter manually"
           "\r\nThe discrepancy can appear if you use analysis resultst from before march 2007,"
           "\r\nwhich were recorded without sending this parameter...";
}

// Asks until a coded feature kind is chosen; the front end sets it while it
// processes its pending events.
void awaitFeatureKind(Program& program) {
    const int& kind = program.tree.training.featureKind;
    ShellState& shell = program.shell;
    while (kind < 0 || kind >= static_cast<int>(kFeatureKindNames.size())) {
        shell.controls.turnToPage(SettingsPage::Trb);
        shell.controls.featureKindChoiceEnabled = true;
        shell.controls.featureKindChoiceRed = true;
        setStatusCaption(shell, program.ui, "Choose \"Coded feature vectors\"!");
        program.ui.processPendingEvents();
    }
}

}  // namespace

void readVector(const uint8_t* r, size_t offset, std::array<int16_t, kComponents>& v) {
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(v.data(), r + offset, sizeof v);
    else
        for (size_t i = 0; i < kComponents; ++i) v[i] = signedWord(r, offset + 2 * i);
}

double ReadRealTypeParameter(Program& program, const FvsRecord& header, int startWord,
                             int declaredSize, const std::string& name) {
    if (declaredSize != kRealTypeWords) {
        program.ui.showMessage(realTypeSizeMessage(declaredSize, name));
        return 0.0;
    }
    if (startWord < 0 || startWord + kRealTypeWords > kParameterWords) throw RangeError();
    return std::bit_cast<double>(quadWord(header.data(), parameterOffset(startWord)));
}

void OpenFvsHeader(Program& program, EventSeries& series) {
    const uint8_t* header = series.fvsFile.nextRecord();
    if (header == nullptr) throw InOutError(100, "Read beyond end of file");
    keepRecord(program, header);
    const uint8_t* h = program.fvsRecord.data();

    const uint32_t records = longWord(h, 0);
    series.eventsCountText = std::to_string(records);
    if (program.eventNbr > static_cast<int64_t>(records)) program.eventNbr = records;

    AnalysisSettings& s = series.settings;
    s.fftWindowWidth = signedWord(h, 4);
    for (size_t i = 0; i < series.cathNbr.size(); ++i) series.cathNbr[i] = h[kFvsCategories + i];

    s.filter = choiceIndex(signedWord(h, 8), kFilterNames.size());
    s.scalingConstants = choiceIndex(signedWord(h, 10), kScalingConstantsNames.size());
    s.windowShape = choiceIndex(signedWord(h, 18), kWindowShapeNames.size());
    s.preemphasis = word(h, 26) == 1;
    s.preemphasisIndeterminate = false;

    const int size = signedWord(h, parameterOffset(2));
    s.frameStep = ReadRealTypeParameter(program, program.fvsRecord, 3, size, "STEP");
    s.rate = ReadRealTypeParameter(program, program.fvsRecord, size + 4, size, "RATE");

    const uint8_t nameLength = h[kFvsWaveName];
    const std::string waveName =
        nameLength == 0
            ? std::string("Unknown")
            : std::string(reinterpret_cast<const char*>(&h[kFvsWaveName + 1]), nameLength);
    (series.number == 2 ? program.options.waveFileDir2 : program.options.waveFileDir1) = waveName;

    const int16_t lifter = signedWord(h, parameterOffset(1));
    series.lifterThresholdText = std::to_string(lifter);
    s.lifterThreshold = lifter;
}

RowStatus ReadFvsRecord(Program& program, EventSeries& series) {
    const uint8_t* r = series.fvsFile.nextRecord();
    if (r == nullptr) return RowStatus::EndOfData;
    // Only the pictures read the whole record; the event is decoded where
    // the file's reader holds it, unless the window must wait for a choice
    // first.
    const int chosen = program.tree.training.featureKind;
    if (DrawsInputPictures(pictureDesk(program)) || chosen < 0 ||
        chosen >= static_cast<int>(kFeatureKindNames.size())) {
        keepRecord(program, r);
        r = program.fvsRecord.data();
    }
    awaitFeatureKind(program);
    const auto kind = static_cast<size_t>(program.tree.training.featureKind);

    EventRecord& event = program.event;
    const size_t vector = kFvsFeatureVectors + kFvsFeatureVectorSize * kind;
    // The next event's vector may sit in another processor's cache: fetch it
    // while this one is coded.
    if (const uint8_t* next = series.fvsFile.peekNext())
        for (size_t at = 0; at < kFvsFeatureVectorSize; at += 64)
            prefetchForReading(next + vector + at);
    readVector(r, vector, event.components);
    // The same name event after event: compared, not copied again.
    if (series.featureText != kFeatureKindNames[kind]) series.featureText = kFeatureKindNames[kind];
    for (size_t i = 0; i < kComponents; ++i) event.reals[i] = event.components[i];
    event.cath1 = static_cast<char>(r[kFvsCategories]);
    event.cath2 = static_cast<char>(r[kFvsCategories + 1]);
    event.cath3 = static_cast<char>(r[kFvsCategories + 2]);
    PictureDesk desk = pictureDesk(program);
    DrawInputPicture(desk, series, program.fvsRecord);
    return RowStatus::Read;
}

}  // namespace zortan
