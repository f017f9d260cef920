#include "bench/common/BenchSupport.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/server/AsfMedia.h"

namespace larkspan::bench {

namespace {

constexpr size_t kFilePropertiesFileSize = 40;  // from the object's GUID
constexpr size_t kFilePropertiesPreroll = 80;

uint64_t Get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

constexpr size_t kChunk = 1 << 20;

// Reads up to n bytes; the count read.
size_t ReadSome(std::ifstream& in, std::vector<uint8_t>& buffer, size_t n) {
    buffer.resize(n);
    in.read(reinterpret_cast<char*>(buffer.data()), std::streamsize(n));
    return size_t(in.gcount());
}

// The bytes of a play of media repeated `repeat` times, piece by piece: the
// header, then every packet of every round. Like the loopback server, later
// rounds have their times moved on by one round's span (first to last send
// time plus one packet interval), so that times keep rising.
template <typename Sink>
bool ForEachPiece(const testserver::AsfMedia& media, uint32_t repeat, Sink&& sink) {
    if (!sink(media.header.data(), media.header.size())) return false;
    uint32_t first = 0, last = 0;
    bool haveFirst = false;
    for (const auto& p : media.packets) {
        auto f = testserver::WalkPacket(p.data(), p.size(), media.packetSize);
        if (!f) continue;
        if (!haveFirst) first = f->sendTime, haveFirst = true;
        last = f->sendTime;
    }
    const uint32_t range = last - first;
    const uint32_t step = media.packets.size() > 1 ? range / uint32_t(media.packets.size() - 1) : 0;
    const uint32_t span = range + (step ? step : 1);
    std::vector<uint8_t> shifted;
    for (uint32_t round = 0; round < repeat; ++round) {
        for (const auto& p : media.packets) {
            if (round == 0) {
                if (!sink(p.data(), p.size())) return false;
                continue;
            }
            shifted = p;
            testserver::ShiftPacketTimes(shifted, media.packetSize, round * span);
            if (!sink(shifted.data(), shifted.size())) return false;
        }
    }
    return true;
}

}  // namespace

bool ExpectedRecording::Prepare(const std::string& asfPath, const std::string& expectedFile, uint32_t repeat,
                                std::string* error) {
    if (repeat == 0) repeat = 1;
    {
        testserver::AsfMedia media;
        if (!testserver::AsfMedia::LoadFile(asfPath, media, error)) return false;
        headerSize = media.header.size();
        packetSize = media.packetSize;
        packetCount = media.packets.size() * repeat;
        fileSizeField = media.filePropertiesOffset + kFilePropertiesFileSize;
        if (fileSizeField + 8 > headerSize || media.filePropertiesOffset + kFilePropertiesPreroll + 8 > headerSize) {
            if (error) *error = asfPath + ": File Properties cut short";
            return false;
        }
        const double prerollMs =
            double(Get64(media.header.data() + media.filePropertiesOffset + kFilePropertiesPreroll));
        durationSeconds = (double(media.playDuration) / 1e7 - prerollMs / 1000.0) * repeat;
        size = headerSize + uint64_t(packetCount) * packetSize;
        bitrate = durationSeconds > 0 ? double(size) / durationSeconds : 0;

        // Written only when the file on disk is not already exactly this.
        bool same = FileSize(expectedFile) == size;
        if (same) {
            std::ifstream in(expectedFile, std::ios::binary);
            std::vector<uint8_t> buffer;
            same = ForEachPiece(media, repeat, [&](const uint8_t* data, size_t n) {
                return ReadSome(in, buffer, n) == n && std::memcmp(buffer.data(), data, n) == 0;
            });
        }
        if (!same) {
            const std::string part = expectedFile + ".part";
            std::ofstream out(part, std::ios::binary | std::ios::trunc);
            ForEachPiece(media, repeat, [&](const uint8_t* data, size_t n) {
                out.write(reinterpret_cast<const char*>(data), std::streamsize(n));
                return bool(out);
            });
            out.close();
            if (!out || std::rename(part.c_str(), expectedFile.c_str()) != 0) {
                if (error) *error = "cannot write " + expectedFile;
                return false;
            }
        }
    }
    file = expectedFile;
    // Hand the freed heap back, so children forked later start small.
    malloc_trim(0);
    return true;
}

std::string CheckRecording(const std::string& path, const ExpectedRecording& expected, RecordedVia via,
                           bool complete) {
    const uint64_t n = FileSize(path);
    if (complete && n != expected.size) {
        return "size " + std::to_string(n) + ", expected " + std::to_string(expected.size);
    }
    if (n > expected.size) return "longer than the stream (" + std::to_string(n) + " bytes)";
    if (n < expected.headerSize) return "shorter than the header (" + std::to_string(n) + " bytes)";
    if ((n - expected.headerSize) % expected.packetSize != 0) {
        return "ends inside a packet (" + std::to_string(n) + " bytes)";
    }
    std::ifstream got(path, std::ios::binary), want(expected.file, std::ios::binary);
    if (!got || !want) return "cannot read " + (got ? expected.file : path);
    std::vector<uint8_t> a, b;
    for (uint64_t at = 0; at < n;) {
        const size_t step = size_t(std::min<uint64_t>(kChunk, n - at));
        if (ReadSome(got, a, step) != step || ReadSome(want, b, step) != step) return "cannot read the files";
        const uint64_t field = expected.fileSizeField;
        if (via == RecordedVia::Mms && field >= at && field + 8 <= at + step) {
            // The MMS recorder puts the file's real length here.
            if (Get64(a.data() + (field - at)) != n) {
                return "File Size field holds " + std::to_string(Get64(a.data() + (field - at))) + ", file has " +
                       std::to_string(n) + " bytes";
            }
            Put64(b.data() + (field - at), n);
        }
        if (std::memcmp(a.data(), b.data(), step) != 0) {
            size_t i = 0;
            while (i < step && a[i] == b[i]) ++i;
            return "differs at byte " + std::to_string(at + i);
        }
        at += step;
    }
    return "";
}

uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

bool MakeDirectories(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string Table::Render() const {
    std::vector<size_t> width(header_.size(), 0);
    auto measure = [&](const std::vector<std::string>& row) {
        for (size_t i = 0; i < row.size() && i < width.size(); ++i) width[i] = std::max(width[i], row[i].size());
    };
    measure(header_);
    for (const auto& r : rows_) measure(r);
    auto numeric = [](const std::string& s) {
        return !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-' || s[0] == '+') &&
               s.find_first_not_of("0123456789.+-x%") == std::string::npos;
    };
    std::string out;
    auto emit = [&](const std::vector<std::string>& row) {
        for (size_t i = 0; i < width.size(); ++i) {
            const std::string cell = i < row.size() ? row[i] : "";
            const std::string pad(width[i] - cell.size(), ' ');
            out += i == 0 ? "" : "  ";
            out += numeric(cell) ? pad + cell : cell + pad;
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += '\n';
    };
    emit(header_);
    size_t total = 0;
    for (size_t w : width) total += w;
    out += std::string(total + 2 * (width.size() - 1), '-') + '\n';
    for (const auto& r : rows_) emit(r);
    return out;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void AppendSummary(const std::string& path, const std::vector<std::string>& cells) {
    if (path.empty()) return;
    std::ofstream out(path, std::ios::app);
    for (size_t i = 0; i < cells.size(); ++i) out << (i ? "\t" : "") << (cells[i].empty() ? "-" : cells[i]);
    out << '\n';
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

Args::Args(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            args_.push_back(a.substr(0, eq));
            args_.push_back(a.substr(eq + 1));
        } else {
            args_.push_back(a);
        }
    }
    used_.assign(args_.size(), false);
}

std::string Args::Get(const std::string& name, const std::string& fallback) {
    for (size_t i = 0; i + 1 < args_.size(); ++i) {
        if (args_[i] == name) {
            used_[i] = used_[i + 1] = true;
            return args_[i + 1];
        }
    }
    return fallback;
}

int Args::GetInt(const std::string& name, int fallback) {
    std::string v = Get(name);
    return v.empty() ? fallback : std::atoi(v.c_str());
}

double Args::GetDouble(const std::string& name, double fallback) {
    std::string v = Get(name);
    return v.empty() ? fallback : std::atof(v.c_str());
}

bool Args::Flag(const std::string& name) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == name) {
            used_[i] = true;
            return true;
        }
    }
    return false;
}

std::string Args::Unknown() const {
    for (size_t i = 0; i < args_.size(); ++i)
        if (!used_[i]) return args_[i];
    return "";
}

}  // namespace larkspan::bench
