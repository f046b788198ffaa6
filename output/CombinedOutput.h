// The combined output files (*.zrt) with their certificate, output naming,
// the opening of a run's outputs, the per-event writes to every output,
// closing and the finish messages' texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "output/Outputs.h"
#include "output/RunRecords.h"
#include "output/TextOutputs.h"

namespace zortan {

// The display names of the three categories (cathLabel1..3).
using CathLabels = std::array<const std::string*, 3>;

// What a run's outputs are opened with: how each file is settled (the
// window asks, a run without one takes the names), the output choices, the
// outputs' paths, files and records, the categories' value sets and names,
// and the certificate's and headers' sources.
struct OutputOpening {
    OutputChooser& chooser;
    ShellState& shell;
    InitFileOptions& options;
    OutputState& outputs;
    CodingRun& run;
    const QuantizationTree& tree;
    CathLabels labels;
    HeaderSources sources;
};

// The open outputs of a run as they are written and closed: the output
// choices, the files and the run's records and active groups.
struct OutputFiles {
    const ShellState& choices;
    OutputState& outputs;
    const CodingRun& run;
};

// The 6 bytes of a record, little-endian.
std::array<uint8_t, kOutputRecordSize> encodeOutputRecord(const TOutputRecord& record);

// The certificate image as it would be written now.
std::array<uint8_t, kCertificateSize> buildCertificate(const HeaderSources& sources,
                                                       const std::string& description);

// The name part of an event file's path, cut before its first "." (empty
// when the name has no ".").
std::string outputStemOf(const std::string& eventFilePath);

// Sets the ten output paths from the folder of `path` and `stem`. The folder
// ends at the last "\", "/" or ":"; names are joined to it with the separator
// it uses ("\" when it has none), and a root folder such as "C:\" or "/"
// is not given a second separator.
void BuildOutputNames(InitFileOptions& options, const CathLabels& labels, const std::string& stem,
                      const std::string& path);

// The count record and the certificate's 253 records.
void WriteCertificate(const HeaderSources& sources, OutFile& file, const std::string& description);

bool OpenCombinedOutput(OutputOpening& opening, std::string& fileName, OutFile& file,
                        const std::string& description);
// The teaching group's files (and the categories' value lists), then the
// recognition group's.
void OpenTeachOutputs(OutputOpening& opening);
void OpenRecogOutputs(OutputOpening& opening);
void WriteTeachRecord(const OutputFiles& files);
void WriteRecogRecord(const OutputFiles& files);
// The current event's records in every file of the active groups; a file
// that fails does not keep the event from the others (its error is raised
// after all were written).
void WriteEventRecords(const OutputFiles& files);
void CloseOutputs(const OutputFiles& files);
// The messages that say where a finished run's results are, in order.
// `tableWritten` false: the run was halted, and its error file holds its
// heading alone, which the message says where it names the file.
std::vector<std::string> FinishMessages(const OutputFiles& files, const InitFileOptions& names,
                                        bool tableWritten = true);
// A run stopped by an error: where and why, and the files that hold what
// was coded (`coded` events).
std::string StopMessage(OutputState& outputs, const std::string& where, const std::string& why,
                        int64_t coded);

}  // namespace zortan
