// The options file Init.txt: the last used path of every file the program
// reads or writes, and the kind of each of the two event inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zortan {

struct InitFileOptions {
    uint8_t reservedFlag = 0;
    uint8_t data1IsFvs = 0;
    uint8_t data2IsFvs = 0;

    std::string waveFileDir = "C:\\wkd\\Plimo\\Results\\*.wav";
    std::string treeTrainingFileDir = "C:\\wkd\\ondrix\\Results\\*.fvs";
    std::string treeFileDir = "C:\\wkd\\TRB\\Results\\*.vq*";
    std::string waveFileDir1 = "C:\\WKD\\Plimo\\results\\*.wav";
    std::string waveFileDir2 = "C:\\WKD\\Plimo\\results\\*.wav";
    std::string fvsEventsFileDir1 = "C:\\WKD\\Ondrix\\results\\*.fvs";
    std::string txtEventsFileDir1 = "C:\\WKD\\TRB\\data\\*.txt";
    std::string fvsEventsFileDir2 = "C:\\WKD\\Ondrix\\results\\*.fvs";
    std::string txtEventsFileDir2 = "C:\\WKD\\TRB\\data\\*.txt";
    std::string errorFileName = "C:\\wkd\\Zortan\\Results\\Error.txt";
    std::string codeFileName = "C:\\wkd\\Zortan\\Results\\code.txt";
    std::string teachFileName = "C:\\wkd\\Zortan\\Results\\_Teach.zrt";
    std::string teachCath1FileName = "C:\\wkd\\Zortan\\Results\\_teach_Y1.txt";
    std::string teachCath2FileName = "C:\\wkd\\Zortan\\Results\\_teach_Y2.txt";
    std::string teachCath3FileName = "C:\\wkd\\Zortan\\Results\\_teach_Y3.txt";
    std::string recogFileName = "C:\\wkd\\Zortan\\Results\\_recog.zrt";
    std::string recogCath1FileName = "C:\\wkd\\Zortan\\Results\\_recog_Y1.txt";
    std::string recogCath2FileName = "C:\\wkd\\Zortan\\Results\\_recog_Y2.txt";
    std::string recogCath3FileName = "C:\\wkd\\Zortan\\Results\\_recog_Y3.txt";

    // Where the file lives; set by ReadInitFile.
    std::string initFilePath;
};

// Builds the file's path from the program's folder (or, when that folder
// cannot be written, from the user's configuration folder), reads the file
// when there is one and updates `options` in place. For a damaged file the
// message to show comes back.
std::optional<std::string> ReadInitFile(InitFileOptions& options, const std::string& programFolder);

// Replaces the file's whole content with `options`. Failures are
// input/output errors.
void WriteInitFile(const InitFileOptions& options);

}  // namespace zortan
