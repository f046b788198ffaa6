// The combined output files (*.zrt) with their certificate, output naming,
// the per-event writes to every output, closing and the finish message.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "output/Outputs.h"
#include "run/CodingRun.h"

namespace zortan {

struct Program;

// The 6 bytes of a record, little-endian.
std::array<uint8_t, kOutputRecordSize> encodeOutputRecord(const TOutputRecord& record);

// The certificate image as it would be written now.
std::array<uint8_t, kCertificateSize> buildCertificate(Program& program,
                                                       const std::string& description);

// The name part of an event file's path, cut before its first "." (empty
// when the name has no ".").
std::string outputStemOf(const std::string& eventFilePath);

// Sets the ten output paths from the folder of `path` and `stem`. The folder
// ends at the last "\", "/" or ":"; names are joined to it with the separator
// it uses ("\" when it has none), and a root folder such as "C:\" or "/"
// is not given a second separator.
void BuildOutputNames(Program& program, const std::string& stem, const std::string& path);

bool OpenCombinedOutput(Program& program, std::string& fileName, OutFile& file,
                        const std::string& description);
void WriteCertificate(Program& program, OutFile& file, const std::string& fileName,
                      const std::string& description);

void OpenTeachOutputs(Program& program);
void OpenRecogOutputs(Program& program);
void WriteTeachRecord(Program& program);
void WriteRecogRecord(Program& program);
void CloseOutputs(Program& program);
void ShowFinishMessage(Program& program);

}  // namespace zortan
