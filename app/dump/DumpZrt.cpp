// The combined output file: a count record, the certificate in 6-byte
// pieces, then one record per coded event; decoded field by field,
// little-endian, as the outputs write it.
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

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

}  // namespace

Dump dumpZrt(const std::string& path, const RecordRange& range, RecordSink* sink) {
    Dump d;
    const Bytes bytes = readWholeFile(path);
    if (bytes.size() < kOutputRecordSize) {
        d.problem = "no count record: the file holds " + std::to_string(bytes.size()) + " bytes";
        return d;
    }
    const uint64_t named = littleEndian(bytes.data(), 2);
    d.fields.push_back({"certificate records", std::to_string(named)});
    if (named != kCertificateRecords || littleEndian(bytes.data() + 2, 4) != 0)
        d.notes.push_back("the count record is not that of a certificate of " +
                          std::to_string(kCertificateRecords) + " records");

    // The image as far as the file and the count record hold it.
    const size_t image = std::min<size_t>(std::min<uint64_t>(named, kCertificateRecords),
                                          (bytes.size() / kOutputRecordSize) - 1) *
                         kOutputRecordSize;
    for (const CertificateField& f : kCertificate)
        if (f.offset + fieldSize(f.type) <= image)
            d.fields.push_back({f.key, fieldText(f, bytes.data() + kOutputRecordSize + f.offset)});

    const uint64_t first = (1 + named) * kOutputRecordSize;
    if (bytes.size() < first) {
        d.problem = "the file ends inside the certificate: " + std::to_string(named) +
                    " records named, " + std::to_string(bytes.size() / kOutputRecordSize - 1) +
                    " there";
        return d;
    }
    const uint64_t events = (bytes.size() - first) / kOutputRecordSize;
    d.fields.push_back({"events", std::to_string(events)});
    if ((bytes.size() - first) % kOutputRecordSize != 0)
        d.notes.push_back("the file ends with a partial record of " +
                          std::to_string((bytes.size() - first) % kOutputRecordSize) + " bytes");

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
    return d;
}

}  // namespace zortan::dump
