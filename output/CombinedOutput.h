// The combined output files (*.zrt) with their certificate, output naming,
// the per-event writes to every output, closing and the finish message.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "output/Outputs.h"
#include "output/RunRecords.h"
#include "output/TextOutputs.h"

namespace zortan {

// The display names of the three categories (cathLabel1..3).
using CathLabels = std::array<const std::string*, 3>;

// What the outputs of a run are opened, written and closed with: the user,
// the output choices and status texts, the outputs' paths, files and
// records, the categories' value sets and names, and the certificate's and
// headers' sources.
struct OutputsDesk {
    Ui& ui;
    ShellState& shell;
    InitFileOptions& options;
    OutputState& outputs;
    CodingRun& run;
    const QuantizationTree& tree;
    CathLabels labels;
    HeaderSources sources;
};

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
// The desk's opening, with the window's dialogs as `chooser`.
OutputOpening openingOf(OutputsDesk& desk, OutputChooser& chooser);

// The open outputs of a run as they are written and closed: the output
// choices, the files and the run's records and active groups.
struct OutputFiles {
    const ShellState& choices;
    OutputState& outputs;
    const CodingRun& run;
};
OutputFiles outputFiles(OutputsDesk& desk);

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

bool OpenCombinedOutput(OutputsDesk& desk, std::string& fileName, OutFile& file,
                        const std::string& description);
// The count record and the certificate's 253 records.
void WriteCertificate(const HeaderSources& sources, OutFile& file, const std::string& description);


bool OpenCombinedOutput(OutputOpening& opening, std::string& fileName, OutFile& file,
                        const std::string& description);
// The teaching group's files (and the categories' value lists), then the
// recognition group's; the desk's forms ask the user through the window.
void OpenTeachOutputs(OutputOpening& opening);
void OpenRecogOutputs(OutputOpening& opening);
void OpenTeachOutputs(OutputsDesk& desk);
void OpenRecogOutputs(OutputsDesk& desk);
void WriteTeachRecord(OutputsDesk& desk);
void WriteRecogRecord(OutputsDesk& desk);
// The current event's records in every file of the active groups; a file
// that fails does not keep the event from the others (its error is raised
// after all were written).
void WriteEventRecords(OutputsDesk& desk);
void WriteEventRecords(const OutputFiles& files);
void CloseOutputs(OutputsDesk& desk);
void CloseOutputs(const OutputFiles& files);
void ShowFinishMessage(OutputsDesk& desk);
// A run stopped by an error: says where and why, and names the files that
// hold what was coded (`coded` events); no finish message.
void ShowStopMessage(OutputsDesk& desk, const std::string& where, const std::string& why,
                     int64_t coded);

}  // namespace zortan
