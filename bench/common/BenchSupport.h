#pragma once
// What the recording benchmarks share: the bytes a correct recording holds,
// checks of recorded files against them, a plain text table, and the small
// bits of argument handling every bench main needs.
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan::bench {

// A correct recording of an on-demand stream from the loopback server: the
// header as served, then every data packet at full packet size. MMS
// recordings additionally carry the file's real length in the File
// Properties' File Size field (the recorder rewrites it at the end).
struct ExpectedRecording {
    std::string file;                // the MMSH form, on disk
    uint64_t size = 0;
    size_t headerSize = 0;           // header as served (Header Object + 50 bytes of Data Object)
    uint32_t packetSize = 0;
    size_t packetCount = 0;
    size_t fileSizeField = 0;        // offset of File Size
    double durationSeconds = 0;      // play duration minus preroll, times the repeats
    double bitrate = 0;              // bytes per second of stream time

    // Reads an ASF file as the loopback server serves it (played `repeat`
    // times over, as with its --repeat) and writes what a recording of it
    // holds to expectedFile (left alone when it already does). Nothing large
    // stays in memory: a bench that forks must stay small (see ForkFloorKb).
    bool Prepare(const std::string& asfPath, const std::string& expectedFile, uint32_t repeat, std::string* error);
};

enum class RecordedVia { Mmsh, Mms };

// Checks a recorded file against expected.file. A complete recording must match exactly; a stopped
// one (complete == false) must be a packet-aligned prefix. Returns "" when
// the file is right, else what is wrong.
std::string CheckRecording(const std::string& path, const ExpectedRecording& expected, RecordedVia via,
                           bool complete);

uint64_t FileSize(const std::string& path);  // 0 when missing
void RemoveFile(const std::string& path);
bool MakeDirectories(const std::string& path);
std::string AbsolutePath(const std::string& path);
// The first program of that name on PATH, or "".
std::string FindProgram(const std::string& name);

// A text table with a header row, columns as wide as their widest cell;
// numbers right-aligned.
class Table {
public:
    explicit Table(std::vector<std::string> header) : header_(std::move(header)) {}
    void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    std::string Render() const;

private:
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
};

std::string Fixed(double value, int decimals);
// Appends one tab-separated line (bench, figure, value, goal, verdict) to
// path; nothing when path is empty.
void AppendSummary(const std::string& path, const std::vector<std::string>& cells);
double Median(std::vector<double> values);

// "--name value" / "--name=value" option reading for the bench mains.
class Args {
public:
    Args(int argc, char** argv);
    // Value of --name, or fallback. Marks the option as used.
    std::string Get(const std::string& name, const std::string& fallback = "");
    int GetInt(const std::string& name, int fallback);
    double GetDouble(const std::string& name, double fallback);
    bool Flag(const std::string& name);
    // Options given but never asked for; "" when none.
    std::string Unknown() const;

private:
    std::vector<std::string> args_;
    std::vector<bool> used_;
};

}  // namespace larkspan::bench
