// metrova-cli: the tempo engine from the command line, for checking tempo
// maps and for users on other systems.
//
//   metrova-cli export [--audio FILE] [--interp Q] [--base B] [--repair] [--smooth S|auto] [--out FILE] TAKEFILE...
//   metrova-cli beats [--audio FILE] [--repair] [--smooth S|auto] [--base B] TAKEFILE...
//   metrova-cli analyze [--audio FILE] [--base B] TAKEFILE...
//   metrova-cli repair [--audio FILE] [--base B] --out-dir DIR TAKEFILE...
//   metrova-cli import [--base B] FILE.mid
//   metrova-cli info RECORDING
//   metrova-cli onsets RECORDING
//
// Exit status: 0 done, 1 a file was refused or could not be read or written,
// 2 bad arguments.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "AppSettings.h"
#include "AudioDecoder.h"
#include "FileRead.h"
#include "FileReplace.h"
#include "OnsetStrength.h"
#include "RecordingOnsets.h"
#include "Take.h"
#include "TakeFile.h"
#include "TapAnalysis.h"
#include "TapTime.h"
#include "TempoExport.h"
#include "TempoImport.h"
#include "TempoMap.h"
#include "TempoPipeline.h"

// The options take what the program's settings take.
static_assert(kMaxTempoInterpCount == MaxInterpCount && kMaxTimeSigBase == MaxTimeSigBase,
              "the settings' interpolation count and base note follow the tempo engine");
static_assert(kSmoothingAuto == SmoothingAuto && kMaxSmoothing == MaxSmoothing,
              "the settings' smoothing strengths follow the tempo engine");

namespace {

const char kUsage[] =
    "usage: metrova-cli export [--audio FILE [--snap]] [--interp Q] [--base B] [--repair] [--smooth S|auto]\n"
    "                          [--out FILE] TAKEFILE...\n"
    "       metrova-cli beats [--audio FILE [--snap]] [--repair] [--smooth S|auto] [--base B] TAKEFILE...\n"
    "       metrova-cli analyze [--audio FILE [--snap]] [--base B] TAKEFILE...\n"
    "       metrova-cli repair [--audio FILE] [--base B] --out-dir DIR TAKEFILE...\n"
    "       metrova-cli import [--base B] FILE.mid\n"
    "       metrova-cli info RECORDING\n"
    "       metrova-cli onsets RECORDING\n"
    "       metrova-cli --help\n";

const char kHelp[] =
    "\n"
    "export   Averages the takes beat by beat and writes the tempo map as a\n"
    "         Standard MIDI File (format 0, 2520 ticks per quarter note) to FILE,\n"
    "         or to standard output. Takes with fewer than two taps are dropped;\n"
    "         takes of different tap counts are averaged with a warning. FILE is\n"
    "         replaced only when it has been written completely.\n"
    "beats    Prints the beat times the export's spline runs through, in\n"
    "         milliseconds, one per line: from 0 at the first beat, or with\n"
    "         --audio on the recording's timeline, lead-in beats included.\n"
    "analyze  Finds slips in the takes and prints one finding per line:\n"
    "         take<TAB>kind<TAB>tap<TAB>time_ms. take counts from 1 in the order\n"
    "         the takes are read; kind is missed (beats missing after the tap),\n"
    "         extra (a tap that is no beat), start (the take's first tap falls on\n"
    "         that beat of the takes' common grid: positive when it came in late,\n"
    "         negative when early; tap is then that beat) or outlier (a tap far off\n"
    "         its beat: advice only). tap counts from 0 in its file; time_ms is\n"
    "         the tap's time as the file gives it. With --snap, also one line\n"
    "         map<TAB>unsure<TAB>beat<TAB>time_ms per beat of the map that no clear\n"
    "         onset was found for (beat counts from 0 at the first tapped beat;\n"
    "         time_ms on the recording, to a tenth).\n"
    "repair   Writes every take repaired onto the common beat grid to DIR, under\n"
    "         its file's name (a file of several takes: NAME.1, NAME.2, ...), as a\n"
    "         take file that export reads as it is: missed beats filled in, extra\n"
    "         taps dropped, a late start filled in from the other takes, taps\n"
    "         before the others' first beat dropped. Outliers are left as they are.\n"
    "         (--base is accepted for symmetry: the analysis works in taps.)\n"
    "import   Prints the beat times of a MIDI file's tempo map, one per line, in\n"
    "         milliseconds from the first beat; nothing when it has fewer than two.\n"
    "info     Prints what a recording is, one name<TAB>value per line: format,\n"
    "         rate (samples per second), channels, frames (samples per channel)\n"
    "         and length_ms (rounded to the nearest millisecond). It reads WAV\n"
    "         (PCM of 8 to 32 bits, float, up to 2 GB) and Ogg Vorbis.\n"
    "onsets   Prints where sounds begin in a recording, one per line:\n"
    "         time_ms<TAB>strength, the time in milliseconds from its first sample\n"
    "         (to a tenth) where the sound's note starts, 4.5 ms before the sound\n"
    "         itself, the strength from 0 to 1 (1: as strong as the strongest\n"
    "         onset of the second and a half around it).\n"
    "\n"
    "A TAKEFILE is a take file (tap times in milliseconds, separated by white\n"
    "space: one take), a session of takes saved by Metrova (its checked takes),\n"
    "or a beat or label list (per line a time in seconds with a decimal point,\n"
    "optionally followed by a comma, tab or space and any text: one take).\n"
    "\n"
    "  --interp Q    tempo points interpolated inside each beat, 0 to 10 (default 0)\n"
    "  --base B      one tap is a 1/2^B note, 0 (whole) to 5 (32nd) (default 2)\n"
    "  --repair      repair the takes before averaging; they are then averaged by\n"
    "                their beat on the common grid, robustly from three takes on\n"
    "  --smooth S    smooth the averaged beat times so the tempo follows the music\n"
    "                rather than the jitter of the taps: 0 none (default), 1 to 10\n"
    "                a fixed strength, auto a strength from the takes' own scatter\n"
    "  --out FILE    write the tempo map to FILE instead of standard output\n"
    "  --out-dir DIR the folder the repaired takes are written to (it must exist)\n"
    "  --snap        with --audio: move the beats of the map onto the recording's\n"
    "                onsets; a beat with no clear onset keeps its neighbours' shift.\n"
    "                A session's beats moved by hand in Metrova win over it. Where\n"
    "                no beat finds a clear onset, none moves, and a warning says so.\n"
    "  --audio FILE  the takes were tapped along this recording (WAV or Ogg Vorbis):\n"
    "                a take file's times are read as times on it (not moved to its\n"
    "                first tap), as are a beat or label list's and the takes a\n"
    "                session saved with it; takes are placed against each other by\n"
    "                those times, export and beats line the map up with the\n"
    "                recording's first sample (whole lead-in beats before the first\n"
    "                tapped one), and analyze and repair give times on it. A take\n"
    "                that starts after the recording ends is refused\n";

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

// A whole decimal number in [low, high], nothing else: the digits a tap
// time may have.
bool ParseNumber(const std::string& text, long long low, long long high, long long& value)
{
    uint32_t number = 0;
    if (!ParseTapTime(text, number))
        return false;
    value = number;
    return value >= low && value <= high;
}

// The whole file at `path`, at most `maxBytes` of it; `error` says why not.
bool ReadInput(const std::string& path, std::string& bytes, size_t maxBytes, std::string& error)
{
    unsigned long code = 0;
    const FileReadResult result = ReadWholeFile(path, bytes, maxBytes, &code);
    if (result == FileReadResult::Read)
        return true;
    if (IsFolder(path))
        error = "a folder, not a file";
    else if (result == FileReadResult::TooLarge)
        error = "larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB: not read";
#ifdef _WIN32
    // The code is the system's (GetLastError), not an errno.
    else if (result == FileReadResult::Missing)
        error = "no such file";
    else
        error = "cannot be read (system error " + std::to_string(code) + ")";
#else
    else
        error = std::strerror(static_cast<int>(code));
#endif
    return false;
}

// Writes the whole of `data` to `path` (replacing it only when complete), or
// says why not and returns the exit status.
int WriteOutput(const std::string& path, const void* data, size_t size)
{
    unsigned long code = 0;
    if (WriteFileReplacing(path, data, size, &code))
        return ExitOk;
    if (IsFolder(path))
        return FileError(path, "a folder, not a file; nothing written there");
#ifdef _WIN32
    const std::string reason = "system error " + std::to_string(code);
#else
    const std::string reason = std::strerror(static_cast<int>(code));
#endif
    return FileError(path, "cannot be written (" + reason + "); any previous file is unchanged");
}

// One take as read from its file: the times as the file gives them (a take
// file's are raw; a session's and a beat list's start at 0) and where it
// came from.
struct LoadedTake {
    Take Times;
    // The recording time of the first tap: a take file's first time, or the
    // anchor a session saved with its recording; -1 for none.
    int64_t Anchor = -1;
    std::string Path;
    size_t IndexInFile = 0;  // 0-based
    size_t TakesInFile = 1;
};

// All takes of a file of any kind: a session (all its takes), a take file
// (one, read exactly as always) or a beat or label list (one).
bool ReadTakes(const std::string& path, std::vector<LoadedTake>& loaded, std::string& error,
               std::vector<BeatEdit>* edits = nullptr)
{
    std::string bytes;
    if (!ReadInput(path, bytes, MaxTakeFileSize, error))
        return false;
    std::vector<SessionTake> takes;
    TakeFileError problem;
    TakeFileKind kind = TakeFileKind::TapTimes;
    const std::string_view text(bytes);
    size_t repeats = 0;
    const bool read = ReadTakeFileBytes(text, takes, problem, &kind, &repeats);
    // Two keys struck together give one time twice: the same beat.
    const auto reportRepeats = [&path, &repeats]() {
        if (repeats > 0)
            std::fprintf(stderr, "metrova-cli: '%s': %zu repeated tap time%s dropped (the same beat)\n", path.c_str(),
                         repeats, repeats == 1 ? "" : "s");
    };
    if (kind == TakeFileKind::TapTimes) {
        LoadedTake take;
        take.Path = path;
        // The times as the file gives them, not made relative.
        repeats = 0;
        if (!ReadTapTimes(text, take.Times, problem, &repeats)) {
            error = problem.Message;
            return false;
        }
        if (!take.Times.empty())
            take.Anchor = take.Times[0];
        reportRepeats();
        loaded.push_back(std::move(take));
        return true;
    }
    if (!read) {
        error = problem.Message;
        return false;
    }
    reportRepeats();
    // A session saved along its recording keeps the beats moved by hand on it.
    if (edits && LooksLikeSession(text)) {
        std::vector<SessionTake> again;
        SessionRecording recording;
        TakeFileError ignored;
        if (ReadSession(text, again, recording, ignored))
            edits->insert(edits->end(), recording.Edits.begin(), recording.Edits.end());
    }
    for (size_t i = 0; i < takes.size(); ++i) {
        // A take the musician unchecked in Metrova is not exported there,
        // and not here either.
        if (!takes[i].Checked)
            continue;
        LoadedTake take;
        take.Times = std::move(takes[i].Taps);
        // A session names its recording and the anchors; a take saved along
        // one without it was written from its time on the recording, and a
        // beat or label list gives its times on it (as exported from an
        // editor that shows the recording).
        take.Anchor = takes[i].Anchor >= 0 ? takes[i].Anchor
                      : kind == TakeFileKind::BeatList || takes[i].WrittenFrom > 0
                          ? static_cast<int64_t>(takes[i].WrittenFrom)
                          : -1;
        take.Path = path;
        take.IndexInFile = i;
        take.TakesInFile = takes.size();
        loaded.push_back(std::move(take));
    }
    return true;
}

// Options of all commands. ParseOptions returns -1 when parsing went fine,
// otherwise the exit status.
enum class Command { Export, Beats, Analyze, Repair, Import, Info, Onsets };

struct Options {
    Command command = Command::Export;
    int interpCount = 0;
    int timeSigBase = DefaultTimeSigBase;
    AnalysisOptions analysis;
    std::string outPath;
    bool hasOut = false;
    std::string outDir;
    std::string audioPath;
    bool hasAudio = false;
    bool snap = false;
    std::vector<std::string> files;
};

int ParseOptions(int argc, char** argv, Options& options)
{
    const bool isExport = options.command == Command::Export;
    const bool makesMap = isExport || options.command == Command::Beats;
    const bool readsRecording = options.command == Command::Info || options.command == Command::Onsets;
    const bool readsTakes = options.command != Command::Import && !readsRecording;
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
        if (makesMap && arg == "--repair") {
            options.analysis.Repair = true;
            continue;
        }
        if ((makesMap || options.command == Command::Analyze) && arg == "--snap") {
            options.snap = true;
            continue;
        }
        const bool takesValue = (arg == "--base" && !readsRecording) ||
                                (isExport && (arg == "--interp" || arg == "--out")) ||
                                (makesMap && arg == "--smooth") || (readsTakes && arg == "--audio") ||
                                (options.command == Command::Repair && arg == "--out-dir");
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
        } else if (arg == "--smooth") {
            if (value == "auto")
                options.analysis.Smoothing = SmoothingAuto;
            else if (ParseNumber(value, 0, MaxSmoothing, number))
                options.analysis.Smoothing = static_cast<int>(number);
            else
                return UsageError("--smooth must be auto or a whole number from 0 to 10, not '" + value + "'");
        } else if (arg == "--audio") {
            if (value.empty())
                return UsageError("--audio needs a recording");
            options.audioPath = value;
            options.hasAudio = true;
        } else if (arg == "--out-dir") {
            if (value.empty())
                return UsageError("--out-dir needs a folder");
            options.outDir = value;
        } else {
            if (value.empty())
                return UsageError("--out needs a file name");
            options.outPath = value;
            options.hasOut = true;
        }
    }
    if (options.snap && !options.hasAudio)
        return UsageError("--snap needs --audio FILE: the onsets are the recording's");
    return -1;
}

// The recording's onset strength as the snapping takes it, or null with the
// user told why.
std::shared_ptr<const OnsetCurve> RecordingOnsets(const std::string& path)
{
    AudioOpenResult opened = OpenAudioFile(path);
    if (!opened.decoder) {
        std::fprintf(stderr, "metrova-cli: %s\n", opened.message.c_str());
        return nullptr;
    }
    OnsetStrength strength;
    const ScanOutcome outcome = BuildOnsetStrength(*opened.decoder, strength);
    if (outcome.result != ScanResult::Done) {
        std::fprintf(stderr, "metrova-cli: '%s': %s\n", path.c_str(), outcome.error.c_str());
        return nullptr;
    }
    return std::make_shared<const OnsetCurve>(OnsetCurveOf(std::move(strength)));
}

// The takes of all files in argument order, or the exit status. With
// --audio the recording must be one that can be read: the takes' times are
// on its timeline.
int LoadAll(const Options& options, std::vector<LoadedTake>& loaded, std::vector<BeatEdit>* edits = nullptr)
{
    uint64_t lengthMs = 0;
    if (options.hasAudio) {
        const AudioOpenResult opened = OpenAudioFile(options.audioPath);
        if (!opened.decoder) {
            std::fprintf(stderr, "metrova-cli: %s\n", opened.message.c_str());
            return ExitFailed;
        }
        const AudioFormat& format = opened.decoder->Format();
        lengthMs = format.frames * 1000 / format.sampleRate;
    }
    for (const std::string& path : options.files) {
        const size_t before = loaded.size();
        std::string error;
        if (!ReadTakes(path, loaded, error, edits))
            return FileError(path, error);
        // A take that starts after the recording has ended was tapped along
        // another one (or its times are not on a recording at all): its map
        // would need a lead-in of the whole recording and more.
        for (size_t i = before; options.hasAudio && i < loaded.size(); ++i)
            if (loaded[i].Anchor >= 0 && static_cast<uint64_t>(loaded[i].Anchor) > lengthMs)
                return FileError(path, "its first tap (" + std::to_string(loaded[i].Anchor) +
                                           " ms) lies after the end of the recording (" + std::to_string(lengthMs) +
                                           " ms): its times are not on this recording");
    }
    return -1;
}

// The takes of two or more taps, relative to their first tap, with the
// options that make their map (anchors when --audio is given), or the exit
// status.
int LoadForMap(const Options& options, std::vector<Take>& takes, AnalysisOptions& analysis)
{
    std::vector<LoadedTake> loaded;
    std::vector<BeatEdit> edits;
    const int status = LoadAll(options, loaded, &edits);
    if (status >= 0)
        return status;
    analysis = options.analysis;
    analysis.AlignToRecording = options.hasAudio;
    if (options.hasAudio)
        analysis.Edits = std::move(edits);
    if (options.snap) {
        analysis.Snap = true;
        analysis.Onsets = RecordingOnsets(options.audioPath);
        if (!analysis.Onsets)
            return ExitFailed;
    }
    for (LoadedTake& take : loaded) {
        if (take.Times.size() < 2) {
            std::fprintf(stderr, "metrova-cli: '%s': fewer than two taps, take left out\n", take.Path.c_str());
            continue;
        }
        NormalizeTake(take.Times);
        takes.push_back(std::move(take.Times));
        analysis.Anchors.push_back(options.hasAudio ? take.Anchor : -1);
    }
    if (takes.empty()) {
        std::fprintf(stderr, "metrova-cli: no take has two or more taps; nothing written\n");
        return ExitFailed;
    }
    return -1;
}

// With --snap: says so when not one beat of the map found a clear onset,
// where the map is then the takes' own (a pad or strings swelling slower
// than a beat, a wash of sound, or takes tapped along another recording);
// the snapping is not to fail silently.
void WarnWhenNothingSnapped(const Options& options, const TakeList& list, const AnalysisOptions& analysis)
{
    if (!options.snap)
        return;
    const std::vector<BeatOrigin> origins = BeatsOnRecordingInDetail(list, analysis).Origins;
    if (!origins.empty() && std::find(origins.begin(), origins.end(), BeatOrigin::Snapped) == origins.end())
        std::fprintf(stderr, "metrova-cli: warning: no beat found a clear onset in the recording (its sounds swell "
                             "too slowly, or the takes were not tapped along it); none was moved onto one\n");
}

int RunBeats(const Options& options)
{
    if (options.files.empty())
        return UsageError("beats needs at least one take file");
    std::vector<Take> takes;
    AnalysisOptions analysis;
    const int status = LoadForMap(options, takes, analysis);
    if (status >= 0)
        return status;
    const TakeList list = TakeListOf(takes);
    const std::vector<double> beats = BeatTimesForExport(list, analysis);
    WarnWhenNothingSnapped(options, list, analysis);
    // Without a recording the map starts at its first beat.
    const double origin = options.hasAudio || beats.empty() ? 0.0 : beats[0];
    for (const double beat : beats)
        std::printf("%.3f\n", beat - origin);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

int RunExport(const Options& options)
{
    if (options.files.empty())
        return UsageError("export needs at least one take file");
    // Before the takes are read and the map is made, which for long takes
    // takes a while.
    if (options.hasOut && IsFolder(options.outPath))
        return FileError(options.outPath, "a folder, not a file; nothing written there");

    std::vector<Take> takes;
    AnalysisOptions analysis;
    const int status = LoadForMap(options, takes, analysis);
    if (status >= 0)
        return status;

    TakeList list = TakeListOf(takes);
    // Repair brings the takes onto one grid; only without it do unequal tap
    // counts mean the average is taken by tap index across different beats.
    if (!options.analysis.Repair && !TakesAreUniform(list) && !options.hasAudio)
        std::fprintf(stderr, "metrova-cli: warning: the takes have different tap counts; averaged anyway\n");

    const std::vector<uint8_t> bytes = ExportTempoBytes(list, options.interpCount, options.timeSigBase, analysis);
    WarnWhenNothingSnapped(options, list, analysis);
    // Every map has at least its file's frame; no bytes at all means a track
    // longer than a Standard MIDI File can say.
    if (bytes.empty()) {
        std::fprintf(stderr, "metrova-cli: the tempo map would be a track of more than 4 GiB, more than a MIDI "
                             "file can hold; nothing written\n");
        return ExitFailed;
    }
    if (options.hasOut)
        return WriteOutput(options.outPath, bytes.data(), bytes.size());
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

// The takes of all files and their analysis: the takes of two or more taps,
// relative to their first tap, are analysed; use[t] is the loaded take that
// analysed take t came from. Filled in place (list points into relative).
struct AnalysedFiles {
    std::vector<LoadedTake> loaded;
    std::vector<Take> relative;
    std::vector<size_t> use;
    std::vector<int64_t> anchors;  // per analysed take, -1 without --audio
    TakeList list;
    Analysis analysis;
};

// The exit status when a file could not be read, -1 otherwise.
int LoadAndAnalyze(const Options& options, AnalysedFiles& files)
{
    const int status = LoadAll(options, files.loaded);
    if (status >= 0)
        return status;
    for (size_t i = 0; i < files.loaded.size(); ++i)
        if (files.loaded[i].Times.size() >= 2) {
            files.relative.push_back(files.loaded[i].Times);
            NormalizeTake(files.relative.back());
            files.use.push_back(i);
            files.anchors.push_back(options.hasAudio ? files.loaded[i].Anchor : -1);
        }
    for (const Take& take : files.relative)
        files.list.push_back(&take);
    files.analysis = AnalyzeTakes(files.list, files.anchors);
    return -1;
}

int RunAnalyze(const Options& options)
{
    if (options.files.empty())
        return UsageError("analyze needs at least one take file");
    AnalysedFiles files;
    const int status = LoadAndAnalyze(options, files);
    if (status >= 0)
        return status;
    const std::vector<LoadedTake>& loaded = files.loaded;
    const std::vector<size_t>& use = files.use;
    const TakeList& list = files.list;
    const Analysis& analysis = files.analysis;
    for (size_t t = 0; t < list.size(); ++t) {
        // As the file gives them; a session's anchored take on the recording.
        const Take& times = loaded[use[t]].Times;
        const bool shift = files.anchors[t] >= 0 && !times.empty() && times[0] == 0;
        const long long base = shift ? static_cast<long long>(files.anchors[t]) : 0;
        for (const Finding& finding : analysis.Takes[t].Findings) {
            const bool start = finding.Kind == FindingKind::Start;
            const uint32_t time = times[start ? 0 : static_cast<size_t>(finding.Tap)];
            std::printf("%zu\t%s\t%lld\t%lld\n", use[t] + 1, FindingKindName(finding.Kind),
                        static_cast<long long>(finding.Tap), base + static_cast<long long>(time));
        }
    }
    // The map's beats that no clear onset was found for.
    if (options.snap) {
        std::vector<Take> takes;
        AnalysisOptions mapOptions;
        const int loadStatus = LoadForMap(options, takes, mapOptions);
        if (loadStatus >= 0)
            return loadStatus;
        const BeatsOnRecording detail = BeatsOnRecordingInDetail(TakeListOf(takes), mapOptions);
        for (size_t beat = 0; beat < detail.Origins.size(); ++beat)
            if (detail.Origins[beat] == BeatOrigin::Unsure)
                std::printf("map\tunsure\t%zu\t%.1f\n", beat, detail.Final[beat]);
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RunRepair(const Options& options)
{
    if (options.outDir.empty())
        return UsageError("repair needs --out-dir DIR");
    if (options.files.empty())
        return UsageError("repair needs at least one take file");
    if (!IsFolder(options.outDir))
        return FileError(options.outDir,
                         "not an existing folder (--out-dir names the folder to write into); nothing written");
    AnalysedFiles files;
    const int status = LoadAndAnalyze(options, files);
    if (status >= 0)
        return status;
    const std::vector<LoadedTake>& loaded = files.loaded;
    const std::vector<size_t>& use = files.use;
    const TakeList& list = files.list;
    const Analysis& analysis = files.analysis;
    // Every name first: two takes that would land in one file write nothing.
    std::vector<std::string> names;
    for (const LoadedTake& take : loaded) {
        std::string name = BaseName(take.Path);
        if (take.TakesInFile > 1)
            name += "." + std::to_string(take.IndexInFile + 1);
        const std::string out = options.outDir + "/" + name;
        for (const std::string& other : names)
            if (other == out)
                return FileError(out, "two takes would be written to the same file; nothing written");
        names.push_back(out);
    }
    size_t next = 0;  // into list
    for (size_t i = 0; i < loaded.size(); ++i) {
        const LoadedTake& take = loaded[i];
        // A take too short to analyse is written as it was read.
        Take repaired = take.Times;
        // With --audio an anchored take is written on the recording's
        // timeline: from where its first kept tap was tapped.
        long long base = 0;
        if (next < use.size() && use[next] == i) {
            std::vector<int64_t> place;
            repaired = RepairTake(list, analysis, next, nullptr, &place);
            if (files.anchors[next] >= 0) {
                size_t kept = 0;
                while (kept < place.size() && place[kept] < 0)
                    ++kept;
                base = files.anchors[next] + (kept < place.size() ? static_cast<long long>((*list[next])[kept]) : 0);
            }
            ++next;
        }
        const std::string& out = names[i];
        std::string text;
        text.reserve(repaired.size() * 8);
        for (const uint32_t time : repaired)
            text += std::to_string(base + static_cast<long long>(time)) + "\n";
        const int written = WriteOutput(out, text.data(), text.size());
        if (written != ExitOk)
            return written;
    }
    return ExitOk;
}

// What a recording is, from its header (Ogg Vorbis: and its last page);
// nothing of it is decoded.
int RunInfo(const Options& options)
{
    if (options.files.size() != 1)
        return UsageError("info needs exactly one recording");
    const std::string& path = options.files[0];
    const AudioOpenResult opened = OpenAudioFile(path);
    if (!opened.decoder) {
        std::fprintf(stderr, "metrova-cli: %s\n", opened.message.c_str());
        return ExitFailed;
    }
    const AudioFormat& format = opened.decoder->Format();
    const unsigned long long lengthMs =
        (static_cast<unsigned long long>(format.frames) * 1000 + format.sampleRate / 2) / format.sampleRate;
    std::printf("format\t%s\nrate\t%u\nchannels\t%u\nframes\t%llu\nlength_ms\t%llu\n", format.description.c_str(),
                static_cast<unsigned>(format.sampleRate), static_cast<unsigned>(format.channels),
                static_cast<unsigned long long>(format.frames), lengthMs);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "metrova-cli: cannot write to standard output\n");
        return ExitFailed;
    }
    return ExitOk;
}

// The onsets of a recording, from one decode pass over it.
int RunOnsets(const Options& options)
{
    if (options.files.size() != 1)
        return UsageError("onsets needs exactly one recording");
    const std::string& path = options.files[0];
    const AudioOpenResult opened = OpenAudioFile(path);
    if (!opened.decoder) {
        std::fprintf(stderr, "metrova-cli: %s\n", opened.message.c_str());
        return ExitFailed;
    }
    OnsetStrength strength;
    const ScanOutcome outcome = BuildOnsetStrength(*opened.decoder, strength);
    if (outcome.result != ScanResult::Done)
        return FileError(path, outcome.error);
    std::string text;
    for (const Onset& onset : PickOnsets(strength)) {
        char line[64];
        std::snprintf(line, sizeof line, "%.1f\t%.3f\n", onset.TimeMs, static_cast<double>(onset.Strength));
        text += line;
    }
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
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
    std::string bytes;
    std::string error;
    if (!ReadInput(path, bytes, MaxImportFileSize, error))
        return FileError(path, error);

    Take take;
    // data() points to a block, also for an empty file.
    if (ConvertTempoFile(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                         options.timeSigBase, take) !=
        ImportResult::Converted)
        return FileError(path, "this file format is not supported");
    // Beats closer than a millisecond are one: a zero interval would ask a
    // map made from them for an infinite tempo.
    DropRepeatedTimes(take);
    if (take.size() < 2)
        return FileError(path, "the tempo map gives no take (it needs two beats or more)");
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
    Options options;
    if (command == "export")
        options.command = Command::Export;
    else if (command == "beats")
        options.command = Command::Beats;
    else if (command == "analyze")
        options.command = Command::Analyze;
    else if (command == "repair")
        options.command = Command::Repair;
    else if (command == "import")
        options.command = Command::Import;
    else if (command == "info")
        options.command = Command::Info;
    else if (command == "onsets")
        options.command = Command::Onsets;
    else
        return UsageError("unknown command '" + command + "'");

    const int status = ParseOptions(argc, argv, options);
    if (status >= 0)
        return status;
    switch (options.command) {
    case Command::Export:
        return RunExport(options);
    case Command::Beats:
        return RunBeats(options);
    case Command::Analyze:
        return RunAnalyze(options);
    case Command::Repair:
        return RunRepair(options);
    case Command::Info:
        return RunInfo(options);
    case Command::Onsets:
        return RunOnsets(options);
    case Command::Import:
        break;
    }
    return RunImport(options);
}
