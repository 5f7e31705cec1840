#include "TakeFile.h"

#include <cstdint>
#include <string>

#include "TapTime.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A byte order mark some tools put first; it is no part of the first word.
std::string_view SkipByteOrderMark(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return bytes;
}

std::string_view FirstWord(std::string_view bytes)
{
    size_t start = 0;
    while (start < bytes.size() && IsBlank(bytes[start]))
        ++start;
    size_t end = start;
    while (end < bytes.size() && !IsBlank(bytes[end]))
        ++end;
    return bytes.substr(start, end - start);
}

// How much of a word that is no tap time the messages quote; a word longer
// than that can be no tap time either, and is kept only that far.
constexpr size_t QuotedWordLength = 40;

std::string Printable(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, QuotedWordLength))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

}  // namespace

bool ReadTapTimes(std::string_view bytes, Take& take, TakeFileError& error, size_t* repeatsDropped)
{
    // The word so far, kept to one byte past the quoted length: enough to
    // tell a cut word from a whole one.
    std::string word;
    size_t line = 1;
    size_t repeats = 0;
    size_t lineStart = 0;
    auto flush = [&]() {
        if (word.empty())
            return true;
        uint32_t value = 0;
        if (!ParseTapTime(word, value)) {
            const bool cut = word.size() > QuotedWordLength;
            error.Problem = TakeFileProblem::BadTapTime;
            error.Line = line;
            error.Excerpt = Printable(word);
            error.Message = "line " + std::to_string(line) + ": '" + word.substr(0, QuotedWordLength) +
                            (cut ? "..." : "") + "' is not a tap time (milliseconds, 0 to 4294967295)";
            return false;
        }
        const TapStep order = NextTapStep(take, value);
        if (order == TapStep::Earlier) {
            error.Problem = TakeFileProblem::TapGoesBack;
            error.Line = line;
            error.Excerpt = Printable(word);
            error.Message = "line " + std::to_string(line) + ": the tap time " + word +
                            " lies before the one above it";
            return false;
        }
        if (order == TapStep::Repeated)
            ++repeats;
        else
            take.push_back(value);
        word.clear();
        return true;
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (i - lineStart >= MaxTapTimesLineLength && byte != '\n') {
            error.Problem = TakeFileProblem::LineTooLong;
            error.Line = line;
            error.Excerpt = Printable(bytes.substr(lineStart));
            error.Message = "line " + std::to_string(line) + ": more than " +
                            std::to_string(MaxTapTimesLineLength / (1024 * 1024)) + " MiB long: not a take file";
            return false;
        }
        if (IsBlank(byte)) {
            if (!flush())
                return false;
            if (byte == '\n') {
                ++line;
                lineStart = i + 1;
            }
        } else if (word.size() <= QuotedWordLength) {
            word += byte;
        }
    }
    if (!flush())
        return false;
    if (repeatsDropped)
        *repeatsDropped += repeats;
    return true;
}

namespace {

// "S.F", "S." or ".F" in seconds, as milliseconds to the nearest (halves
// up). The digits are taken exactly, without a detour through binary
// fractions, so 0.0005 is 1 and 1.2345 is 1235 on every build.
bool ParseSeconds(std::string_view text, size_t& used, uint32_t& ms)
{
    size_t i = 0;
    uint64_t whole = 0;
    size_t wholeDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (++wholeDigits > 10)
            return false;
        whole = whole * 10 + static_cast<uint64_t>(text[i++] - '0');
    }
    if (i >= text.size() || text[i] != '.')
        return false;
    ++i;
    uint64_t fraction = 0;  // the first three digits: milliseconds
    size_t fractionDigits = 0;
    bool roundUp = false;
    while (i < text.size() && IsDigit(text[i])) {
        if (fractionDigits < 3)
            fraction = fraction * 10 + static_cast<uint64_t>(text[i] - '0');
        else if (fractionDigits == 3)
            roundUp = text[i] >= '5';
        ++fractionDigits;
        ++i;
    }
    if (wholeDigits == 0 && fractionDigits == 0)
        return false;
    for (size_t d = fractionDigits; d < 3; ++d)
        fraction *= 10;
    const uint64_t total = whole * 1000 + fraction + (roundUp ? 1 : 0);
    if (total > UINT32_MAX)
        return false;
    used = i;
    ms = static_cast<uint32_t>(total);
    return true;
}

bool ReadBeatList(std::string_view bytes, Take& take, TakeFileError& error, size_t& repeatsDropped)
{
    size_t pos = 0;
    size_t line = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view text = bytes.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        if (text.size() > MaxBeatListLineLength) {
            error.Problem = TakeFileProblem::LineTooLong;
            error.Line = line;
            error.Excerpt = Printable(text);
            error.Message = "line " + std::to_string(line) + ": more than " +
                            std::to_string(MaxBeatListLineLength / 1024) + " KiB long: not a beat list";
            return false;
        }
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        size_t start = 0;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
            ++start;
        if (start == text.size())
            continue;  // an empty line
        const std::string_view rest = text.substr(start);

        // The excerpt is made first: the messages quote it.
        std::string excerpt;
        for (char c : rest.substr(0, 40))
            excerpt += (c >= 0x20 && c < 0x7F) ? c : '?';
        auto fail = [&](TakeFileProblem problem, const std::string& what) {
            error.Problem = problem;
            error.Line = line;
            error.Excerpt = excerpt;
            error.Message = "line " + std::to_string(line) + ": " + what;
            return false;
        };
        size_t used = 0;
        uint32_t ms = 0;
        if (!ParseSeconds(rest, used, ms) ||
            (used < rest.size() && rest[used] != ',' && rest[used] != '\t' && rest[used] != ' '))
            return fail(TakeFileProblem::BadBeatTime,
                        "'" + excerpt + "' does not start with a time in seconds (like 1.250)");
        if (!take.empty() && ms < take.back())
            return fail(TakeFileProblem::BeatGoesBack, "this time lies before the time on the line above");
        // Two times within the same millisecond are one beat.
        if (!take.empty() && ms == take.back())
            ++repeatsDropped;
        else
            take.push_back(ms);
    }
    return true;
}

}  // namespace

bool ReadTakeFileBytes(std::string_view bytes, std::vector<SessionTake>& takes, TakeFileError& error,
                       TakeFileKind* kind, size_t* repeatsDropped)
{
    takes.clear();
    error = TakeFileError();
    if (repeatsDropped)
        *repeatsDropped = 0;

    if (LooksLikeSession(bytes)) {
        if (kind)
            *kind = TakeFileKind::Session;
        return ReadSession(bytes, takes, error, repeatsDropped);
    }

    const std::string_view unmarked = SkipByteOrderMark(bytes);
    SessionTake take;
    bool ok = false;
    size_t repeats = 0;
    if (FirstWord(unmarked).find('.') != std::string_view::npos) {
        if (kind)
            *kind = TakeFileKind::BeatList;
        ok = ReadBeatList(unmarked, take.Taps, error, repeats);
    } else {
        if (kind)
            *kind = TakeFileKind::TapTimes;
        ok = ReadTapTimes(bytes, take.Taps, error, &repeats);
    }
    if (!ok)
        return false;
    if (repeatsDropped)
        *repeatsDropped = repeats;
    if (!take.Taps.empty())
        take.WrittenFrom = take.Taps.front();
    NormalizeTake(take.Taps);
    takes.push_back(std::move(take));
    return true;
}
