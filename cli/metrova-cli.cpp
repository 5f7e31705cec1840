// metrova-cli: the tempo engine from the command line, for checking tempo
// maps and for users on other systems.
//
//   metrova-cli export [--interp Q] [--base B] [--out FILE] TAKEFILE...
//   metrova-cli import [--base B] FILE.mid
//
// Exit status: 0 done, 1 a file was refused or could not be read or written,
// 2 bad arguments.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "FileReplace.h"
#include "Take.h"
#include "TempoExport.h"
#include "TempoImport.h"
#include "TempoMap.h"

namespace {

const char kUsage[] =
    "usage: metrova-cli export [--interp Q] [--base B] [--out FILE] TAKEFILE...\n"
    "       metrova-cli import [--base B] FILE.mid\n"
    "       metrova-cli --help\n";

const char kHelp[] =
    "\n"
    "export  Averages the takes beat by beat and writes the tempo map as a\n"
    "        Standard MIDI File (format 0, 2520 ticks per quarter note) to FILE,\n"
    "        or to standard output. Each TAKEFILE holds one take: tap times in\n"
    "        milliseconds, separated by white space. Takes with fewer than two\n"
    "        taps are dropped; takes of different tap counts are averaged with a\n"
    "        warning. FILE is replaced only when it has been written completely.\n"
    "import  Prints the beat times of a MIDI file's tempo map, one per line, in\n"
    "        milliseconds from the first beat; nothing when it has fewer than two.\n"
    "\n"
    "  --interp Q  tempo points interpolated inside each beat, 0 to 10 (default 0)\n"
    "  --base B    one tap is a 1/2^B note, 0 (whole) to 5 (32nd) (default 2)\n";

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "metrova-cli: %s\n%s", message.c_str(), kUsage);
    return ExitUsage;
}

int FileError(const std::string& path, const std::string& message)
{
    std::fprintf(stderr, "metrova-cli: '%s': %s\n", path.c_str(), message.c_str());
    return ExitFailed;
}

// A whole decimal number in [low, high], nothing else.
bool ParseNumber(const std::string& text, long long low, long long high, long long& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    value = std::stoll(text);
    return value >= low && value <= high;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return true;
}

bool ReadTakeFile(const std::string& path, Take& take, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error))
        return false;
    std::string word;
    int line = 1;
    auto flush = [&]() {
        if (word.empty())
            return true;
        long long value = 0;
        if (!ParseNumber(word, 0, UINT32_MAX, value)) {
            error = "line " + std::to_string(line) + ": '" + word +
                    "' is not a tap time (milliseconds, 0 to 4294967295)";
            return false;
        }
        take.push_back(static_cast<uint32_t>(value));
        word.clear();
        return true;
    };
    for (uint8_t byte : bytes) {
        if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' || byte == '\v') {
            if (!flush())
                return false;
            if (byte == '\n')
                ++line;
        } else {
            word += static_cast<char>(byte);
        }
    }
    return flush();
}

// Options shared by both commands. Returns -1 when parsing went fine,
// otherwise the exit status.
struct Options {
    int interpCount = 0;
    int timeSigBase = 2;
    std::string outPath;
    bool hasOut = false;
    std::vector<std::string> files;
};

int ParseOptions(int argc, char** argv, bool isExport, Options& options)
{
    bool endOfOptions = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        const bool takesValue = arg == "--base" || (isExport && (arg == "--interp" || arg == "--out"));
        if (!takesValue)
            return UsageError("unknown option '" + arg + "'");
        if (i + 1 >= argc)
            return UsageError("option '" + arg + "' needs a value");
        const std::string value = argv[++i];
        long long number = 0;
        if (arg == "--base") {
            if (!ParseNumber(value, 0, MaxTimeSigBase, number))
                return UsageError("--base must be a whole number from 0 to 5, not '" + value + "'");
            options.timeSigBase = static_cast<int>(number);
        } else if (arg == "--interp") {
            if (!ParseNumber(value, 0, MaxInterpCount, number))
                return UsageError("--interp must be a whole number from 0 to 10, not '" + value + "'");
            options.interpCount = static_cast<int>(number);
        } else {
            if (value.empty())
                return UsageError("--out needs a file name");
            options.outPath = value;
            options.hasOut = true;
        }
    }
    return -1;
}

int RunExport(const Options& options)
{
    if (options.files.empty())
        return UsageError("export needs at least one take file");

    std::vector<Take> takes;
    for (const std::string& path : options.files) {
        Take take;
        std::string error;
        if (!ReadTakeFile(path, take, error))
            return FileError(path, error);
        if (take.size() < 2) {
            std::fprintf(stderr, "metrova-cli: '%s': fewer than two taps, take left out\n", path.c_str());
            continue;
        }
        NormalizeTake(take);
        takes.push_back(std::move(take));
    }
    if (takes.empty()) {
        std::fprintf(stderr, "metrova-cli: no take has two or more taps; nothing written\n");
        return ExitFailed;
    }

    TakeList list;
    for (const Take& take : takes)
        list.push_back(&take);
    if (!TakesAreUniform(list))
        std::fprintf(stderr, "metrova-cli: warning: the takes have different tap counts; averaged anyway\n");

    const std::vector<uint8_t> bytes = ExportTempoBytes(list, options.interpCount, options.timeSigBase);
    if (options.hasOut) {
        if (!WriteFileReplacing(options.outPath, bytes.data(), bytes.size()))
            return FileError(options.outPath, "cannot be written; any previous file is unchanged");
        return ExitOk;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

int RunImport(const Options& options)
{
    if (options.files.size() != 1)
        return UsageError("import needs exactly one MIDI file");
    const std::string& path = options.files[0];
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, error))
        return FileError(path, error);
    if (bytes.size() > UINT32_MAX)
        return FileError(path, "this file format is not supported");
    bytes.reserve(1);  // a real block, also for an empty file

    Take take;
    if (ConvertTempoFile(bytes.data(), static_cast<uint32_t>(bytes.size()), options.timeSigBase, take) !=
        ImportResult::Converted)
        return FileError(path, "this file format is not supported");
    if (take.size() < 2)
        return ExitOk;
    NormalizeTake(take);
    for (uint32_t time : take)
        std::printf("%u\n", static_cast<unsigned>(time));
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return UsageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s%s", kUsage, kHelp);
        return ExitOk;
    }
    const bool isExport = command == "export";
    if (!isExport && command != "import")
        return UsageError("unknown command '" + command + "'");

    Options options;
    const int status = ParseOptions(argc, argv, isExport, options);
    if (status >= 0)
        return status;
    return isExport ? RunExport(options) : RunImport(options);
}
