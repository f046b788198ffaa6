// The combined output file: a count record, the certificate in 6-byte
// pieces, then one record per coded event; decoded field by field,
// little-endian, as the outputs write it.
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/dump/Dump.h"
#include "app/dump/Fields.h"
#include "output/Outputs.h"
#include "output/RunRecords.h"
#include "platform/Clock.h"
#include "platform/Errors.h"

namespace zortan::dump {

namespace {

using Bytes = std::vector<uint8_t>;

// The certificate's records: its whole 6-byte pieces.
constexpr uint64_t kCertificateRecords = kCertificateSize / kOutputRecordSize;

// The first and the last day of the years 1 to 9999, counted from the
// dates' day 0, 1899-12-30.
constexpr double kFirstDay = -693593.0, kLastDay = 2958465.0;

enum class Type {
    Date,
    Time,
    Text,
    Count,
    Feature,
    Filter,
    Scaling,
    Shape,
    Criterion,
    FeaturesCriterion,
    Index,
    Flag,
    CharSet,
    Real,
    Lifter
};

struct CertificateField {
    const char* key;
    size_t offset;
    Type type;
    const char* unit = "";
};

// The fields in the order of the image.
const CertificateField kCertificate[] = {
    {"date", 0, Type::Date},
    {"time", 8, Type::Time},
    {"file heading", 16, Type::Text},
    {"clusters", 80, Type::Count},
    {"training wave file", 81, Type::Text},
    {"training event file", 145, Type::Text},
    {"tree file", 209, Type::Text},
    {"input wave file", 273, Type::Text},
    {"second input wave file", 337, Type::Text},
    {"input fvs file", 401, Type::Text},
    {"coded feature kind", 465, Type::Feature},
    {"training filter", 466, Type::Filter},
    {"input filter", 467, Type::Filter},
    {"feature kind caption", 468, Type::Text},
    {"training filter caption", 532, Type::Text},
    {"input filter caption", 596, Type::Text},
    {"training scaling constants", 660, Type::Scaling},
    {"input scaling constants", 661, Type::Scaling},
    {"training scaling caption", 662, Type::Text},
    {"input scaling caption", 726, Type::Text},
    {"unused index", 790, Type::Index},
    {"training window shape", 791, Type::Shape},
    {"input window shape", 792, Type::Shape},
    {"unused caption", 793, Type::Text},
    {"training window caption", 857, Type::Text},
    {"input window caption", 921, Type::Text},
    {"set choice criterion", 985, Type::Criterion},
    {"set choice classifier", 986, Type::Index},
    {"set choice criterion caption", 987, Type::Text},
    {"set choice classifier caption", 1051, Type::Text},
    {"features choice criterion", 1115, Type::FeaturesCriterion},
    {"features choice classifier", 1116, Type::Index},
    {"features choice criterion caption", 1117, Type::Text},
    {"features choice classifier caption", 1181, Type::Text},
    {"input preemphasis", 1245, Type::Flag},
    {"training preemphasis", 1246, Type::Flag},
    {"training preemphasis caption", 1247, Type::Text},
    {"input preemphasis caption", 1311, Type::Text},
    {"cath1 set", 1375, Type::CharSet},
    {"cath2 set", 1407, Type::CharSet},
    {"cath3 set", 1439, Type::CharSet},
    {"tree cath1 count", 1471, Type::Count},
    {"tree cath2 count", 1472, Type::Count},
    {"tree cath3 count", 1473, Type::Count},
    {"input cath1 count", 1474, Type::Count},
    {"input cath2 count", 1475, Type::Count},
    {"input cath3 count", 1476, Type::Count},
    {"training frame step", 1480, Type::Real, "ms"},
    {"training rate", 1488, Type::Real, "Hz"},
    {"input frame step", 1496, Type::Real, "ms"},
    {"input rate", 1504, Type::Real, "Hz"},
    {"training lifter threshold", 1512, Type::Lifter},
    // Only its lower half is stored, which holds the whole 16-bit value.
    {"input lifter threshold", 1516, Type::Lifter},
};

size_t fieldSize(Type type) {
    switch (type) {
        case Type::Date:
        case Type::Time:
        case Type::Real:
            return 8;
        case Type::Text:
            return 64;
        case Type::CharSet:
            return 32;
        case Type::Lifter:
            return 2;
        default:
            return 1;
    }
}

uint64_t littleEndian(const uint8_t* p, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= uint64_t{p[i]} << (8 * i);
    return value;
}

double realAt(const uint8_t* p) {
    return std::bit_cast<double>(littleEndian(p, 8));
}

std::string dateText(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3e6) return formatGeneral(days);
    using namespace std::chrono;
    const year_month_day ymd{sys_days{1899y / December / 30} +
                             std::chrono::days{static_cast<int>(std::floor(days))}};
    LocalDateTime t;
    t.year = static_cast<int>(ymd.year());
    t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    return shortDateText(t);
}

std::string timeText(double fraction) {
    if (!(fraction >= 0.0 && fraction < 1.0)) return formatGeneral(fraction);
    const auto seconds = static_cast<int>(std::lround(fraction * 86400.0));
    LocalDateTime t;
    t.hour = std::min(seconds / 3600, 23);
    t.minute = seconds / 60 % 60;
    t.second = seconds % 60;
    return longTimeText(t);
}

std::string fieldText(const CertificateField& f, const uint8_t* p) {
    const auto index = static_cast<int8_t>(p[0]);
    switch (f.type) {
        case Type::Date:
            return dateText(realAt(p));
        case Type::Time:
            return timeText(realAt(p));
        case Type::Text:
            return std::string(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], 63));
        case Type::Count:
            return std::to_string(p[0]);
        case Type::Feature:
            return choiceText(index, kFeatureKindNames);
        case Type::Filter:
            return choiceText(index, kFilterNames);
        case Type::Scaling:
            return choiceText(index, kScalingConstantsNames);
        case Type::Shape:
            return choiceText(index, kWindowShapeNames);
        case Type::Criterion:
            return choiceText(index, kSetChoiceCriterionNames);
        case Type::FeaturesCriterion:
            return choiceText(index, kFeaturesChoiceCriterionNames);
        case Type::Index:
            return std::to_string(index);
        case Type::Flag:
            return p[0] <= 1 ? yesNo(p[0] == 1) : std::to_string(p[0]);
        case Type::CharSet: {
            Set256 set;
            for (unsigned c = 0; c < 256; ++c)
                if ((p[c / 8] >> (c % 8)) & 1u) set.insert(c);
            return characterSetText(set);
        }
        case Type::Real:
            return realText(realAt(p), f.unit);
        case Type::Lifter:
            return std::to_string(static_cast<int16_t>(littleEndian(p, 2)));
    }
    return {};
}

Bytes readWholeFile(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) throw ioErrorFromErrno(errno);
    Bytes bytes;
    uint8_t chunk[1 << 16];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (std::ferror(file.get())) throw ioErrorFromErrno(errno);
    return bytes;
}

// Why a field's bytes cannot be what the outputs write, or nothing: dates
// of the years 1 to 9999, times of a day, texts of at most 63 characters,
// list items of the list or -1, flags 0 or 1. Counts, sets and numbers may
// hold anything.
std::optional<std::string> impossibility(const CertificateField& f, const uint8_t* p) {
    const auto index = static_cast<int8_t>(p[0]);
    const auto item = [&](size_t names) -> std::optional<std::string> {
        if (index >= -1 && index < static_cast<int>(names)) return std::nullopt;
        return "item " + std::to_string(index) + " of a list of " + std::to_string(names);
    };
    switch (f.type) {
        case Type::Date: {
            const double days = realAt(p);
            if (std::isfinite(days) && days >= kFirstDay && days < kLastDay + 1)
                return std::nullopt;
            return formatGeneral(days) + ", no day of the years 1 to 9999";
        }
        case Type::Time: {
            const double fraction = realAt(p);
            if (fraction >= 0.0 && fraction < 1.0) return std::nullopt;
            return formatGeneral(fraction) + ", no time of a day";
        }
        case Type::Text:
            if (p[0] <= 63) return std::nullopt;
            return "a text of " + std::to_string(p[0]) + " characters in a field of 63";
        case Type::Feature:
            return item(kFeatureKindNames.size());
        case Type::Filter:
            return item(kFilterNames.size());
        case Type::Scaling:
            return item(kScalingConstantsNames.size());
        case Type::Shape:
            return item(kWindowShapeNames.size());
        case Type::Criterion:
            return item(kSetChoiceCriterionNames.size());
        case Type::FeaturesCriterion:
            return item(kFeaturesChoiceCriterionNames.size());
        case Type::Flag:
            if (p[0] <= 1) return std::nullopt;
            return std::to_string(p[0]) + ", neither 0 nor 1";
        default:
            return std::nullopt;
    }
}

}  // namespace

Dump dumpZrt(const std::string& path, const RecordRange& range, RecordSink* sink) {
    Dump d;
    const Bytes bytes = readWholeFile(path);
    if (bytes.size() < kOutputRecordSize) {
        d.problem = "no count record: the file holds " + std::to_string(bytes.size()) + " bytes";
        return d;
    }
    // The count record names the certificate's records: 253, or 0 or 65535
    // where a writer left it unset; the certificate is then taken as the
    // 253 records it always is, and the events are counted from the size.
    const auto named = static_cast<uint16_t>(littleEndian(bytes.data(), 2));
    d.fields.push_back({"certificate records", std::to_string(named)});
    const bool countKnown = named == kCertificateRecords || named == 0 || named == 0xFFFF;
    if (!countKnown || littleEndian(bytes.data() + 2, 4) != 0) {
        d.problem = "no count record of a certificate: " +
                    (countKnown ? std::string("its bytes after the count are not 0")
                                : "it names " + std::to_string(named) +
                                      " certificate records, a certificate has " +
                                      std::to_string(kCertificateRecords));
        return d;
    }
    if (named != kCertificateRecords)
        d.notes.push_back("the count record names " + std::to_string(named) +
                          " certificate records: read as " + std::to_string(kCertificateRecords) +
                          ", the events counted from the file's size");

    // The image as far as the file holds it, and the first impossible field.
    const size_t image =
        std::min<size_t>(kCertificateRecords, bytes.size() / kOutputRecordSize - 1) *
        kOutputRecordSize;
    std::string impossible;
    for (const CertificateField& f : kCertificate) {
        if (f.offset + fieldSize(f.type) > image) continue;
        const uint8_t* p = bytes.data() + kOutputRecordSize + f.offset;
        d.fields.push_back({f.key, fieldText(f, p)});
        if (const auto why = impossibility(f, p); why && impossible.empty())
            impossible = std::string("an impossible certificate: its ") + f.key + " is " + *why;
    }

    const uint64_t first = (1 + kCertificateRecords) * kOutputRecordSize;
    if (bytes.size() < first) {
        d.problem = "the file ends inside the certificate: " + std::to_string(kCertificateRecords) +
                    " records named, " + std::to_string(bytes.size() / kOutputRecordSize - 1) +
                    " there";
        return d;
    }
    if (!impossible.empty()) {
        d.problem = impossible;
        return d;
    }
    const uint64_t events = (bytes.size() - first) / kOutputRecordSize;
    d.fields.push_back({"events", std::to_string(events)});
    d.recordCount = events;

    d.table.columns = {"event", "code", "cath1", "cath2", "cath3"};
    d.table.widths = {std::to_string(events).size(), 5, 4, 4, 4};
    if (sink != nullptr) sink->start(d);
    for (uint64_t i = range.from; i < events && !range.pastEnd(i); ++i) {
        const uint8_t* r = bytes.data() + first + i * kOutputRecordSize;
        take(d, sink,
             {std::to_string(i), std::to_string(littleEndian(r, 2)),
              characterText(static_cast<char>(r[2])), characterText(static_cast<char>(r[3])),
              characterText(static_cast<char>(r[4]))});
    }
    // The whole records are shown; a cut one makes the file no combined file.
    if (const uint64_t rest = (bytes.size() - first) % kOutputRecordSize; rest != 0)
        d.problem = "the file ends with a partial record of " + std::to_string(rest) + " bytes" +
                    ": its events are no whole number of " + std::to_string(kOutputRecordSize) +
                    "-byte records";
    return d;
}

}  // namespace zortan::dump
