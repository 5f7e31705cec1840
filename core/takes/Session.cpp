#include "Session.h"

#include <algorithm>
#include <cstdio>

#include "TapTime.h"

namespace {

constexpr char kLineEnd[] = "\r\n";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool ParseField(std::string_view text, size_t at, size_t digits, int low, int high, int& value)
{
    value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (!IsDigit(text[i]))
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return value >= low && value <= high;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

void AppendNumber64(std::string& out, uint64_t value)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        out.push_back(digits[--n]);
}

void AppendNumber(std::string& out, uint32_t value)
{
    AppendNumber64(out, value);
}


// A decimal number that 64 bits hold; false for anything else.
bool ParseNumber64(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool ParseHex64(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.size() > 16)
        return false;
    value = 0;
    for (char c : text) {
        int digit = 0;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return true;
}

void AppendTake(std::string& out, const SessionTake& take, bool anchored)
{
    out += "take ";
    out += take.ListedAt;
    out += ' ';
    AppendNumber(out, static_cast<uint32_t>(take.Taps.size()));
    if (!take.Checked)
        out += " checked=0";
    if (!take.Source.empty()) {
        out += " source=";
        out += EncodeSourceField(take.Source);
    }
    if (anchored && take.Anchor >= 0) {
        out += " anchor=";
        AppendNumber64(out, static_cast<uint64_t>(take.Anchor));
    }
    out += kLineEnd;
    for (uint32_t time : take.Taps) {
        AppendNumber(out, time);
        out += kLineEnd;
    }
}

// Walks the text line by line; a last line without its line end counts.
class LineReader {
public:
    explicit LineReader(std::string_view all) : text(all) {}

    // The next line without its line end; false at the end of the text, and
    // at a line longer than MaxSessionLineLength, which is then `line` and
    // TooLong, and where the reading stops.
    bool Next(std::string_view& line)
    {
        if (pos >= text.size() || tooLong)
            return false;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (line.size() > MaxSessionLineLength) {
            tooLong = true;
            return false;
        }
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }
    size_t Number() const { return number; }
    size_t Remaining() const { return pos < text.size() ? text.size() - pos : 0; }
    bool TooLong() const { return tooLong; }

private:
    std::string_view text;
    size_t pos = 0;
    size_t number = 0;
    bool tooLong = false;
};

std::string Excerpt(std::string_view line)
{
    std::string out;
    for (char c : line.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

bool Fail(TakeFileError& error, TakeFileProblem problem, size_t line, std::string_view text,
          const std::string& what)
{
    error.Problem = problem;
    error.Line = line;
    error.Excerpt = Excerpt(text);
    error.Message = "line " + std::to_string(line) + ": " + what;
    return false;
}

// "name=value": lower-case letters, "=", a value without blanks.
bool IsField(std::string_view word)
{
    const size_t equals = word.find('=');
    if (equals == 0 || equals == std::string_view::npos || equals + 1 == word.size())
        return false;
    for (size_t i = 0; i < equals; ++i) {
        if (word[i] < 'a' || word[i] > 'z')
            return false;
    }
    return true;
}

// Splits at single spaces; false for a doubled, leading or trailing blank.
bool SplitWords(std::string_view line, std::vector<std::string_view>& words)
{
    words.clear();
    size_t start = 0;
    for (;;) {
        const size_t space = line.find(' ', start);
        const std::string_view word = line.substr(start, space == std::string_view::npos ? line.npos : space - start);
        if (word.empty())
            return false;
        words.push_back(word);
        if (space == std::string_view::npos)
            return true;
        start = space + 1;
    }
}

// "recording size=N hash=HEX path=ENCODED", the fields in any order, each
// of the three once; fields a later version adds are skipped.
bool ReadRecordingLine(const std::vector<std::string_view>& words, SessionRecording& recording)
{
    bool size = false, hash = false, path = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (!IsField(word))
            return false;
        const size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const std::string_view value = word.substr(equals + 1);
        if (name == "size") {
            if (size || !ParseNumber64(value, recording.Size))
                return false;
            size = true;
        } else if (name == "hash") {
            if (hash || !ParseHex64(value, recording.Hash))
                return false;
            hash = true;
        } else if (name == "path") {
            if (path || !DecodeSourceField(value, recording.Path) || recording.Path.empty())
                return false;
            path = true;
        }
    }
    return size && hash && path;
}

bool ReadSessionLines(std::string_view text, std::vector<SessionTake>& takes, SessionRecording& recording,
                      TakeFileError& error, size_t& repeatsDropped)
{
    LineReader lines(text);
    std::string_view line;
    auto tooLong = [&]() {
        return Fail(error, TakeFileProblem::LineTooLong, lines.Number(), line,
                    "more than " + std::to_string(MaxSessionLineLength / 1024) + " KiB long: not a Metrova session");
    };
    const bool first = lines.Next(line);
    if (lines.TooLong())
        return tooLong();
    if (!first || !LooksLikeSession(line))
        return Fail(error, TakeFileProblem::BadSessionLine, 1, line, "not a Metrova session");
    const std::string_view version = line.substr(sizeof SessionMagic);
    uint32_t number = 0;
    if (!ParseTapTime(version, number))
        return Fail(error, TakeFileProblem::BadSessionLine, 1, line, "not a Metrova session");
    if (number != SessionVersion && number != RecordingSessionVersion)
        return Fail(error, TakeFileProblem::NewerSession, 1, line,
                    "session version " + std::string(version) + " is not supported (only 1 and 2)");

    std::vector<std::string_view> words;
    bool named = false;  // a recording line has been read
    for (;;) {
        if (!lines.Next(line))
            return lines.TooLong() ? tooLong()
                                   : Fail(error, TakeFileProblem::SessionCutOff, lines.Number() + 1, "",
                                          "the session ends before its \"end\" line");
        // Version 2 names its recording on its second line.
        if (number == RecordingSessionVersion && lines.Number() == 2) {
            if (!SplitWords(line, words) || words[0] != "recording" || !ReadRecordingLine(words, recording))
                return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                            "expected \"recording size=BYTES hash=HEX path=NAME\"");
            named = true;
            continue;
        }
        if (line == "end")
            break;
        // The beats moved by hand on the recording, before the takes.
        if (named && takes.empty() && SplitWords(line, words) && words[0] == "edit") {
            uint64_t at = 0, to = 0;
            constexpr std::string_view atField = "at=", toField = "to=";
            if (words.size() != 3 || words[1].substr(0, atField.size()) != atField ||
                words[2].substr(0, toField.size()) != toField ||
                !ParseNumber64(words[1].substr(atField.size()), at) ||
                !ParseNumber64(words[2].substr(toField.size()), to) || at > INT64_MAX || to > INT64_MAX)
                return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                            "expected \"edit at=MICROSECONDS to=MICROSECONDS\"");
            recording.Edits.push_back(BeatEdit{static_cast<int64_t>(at), static_cast<int64_t>(to)});
            continue;
        }
        if (!SplitWords(line, words) || words.size() < 3 || words[0] != "take")
            return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                        "expected \"take TIME COUNT\" or \"end\"");
        SessionTake take;
        ListedTime listed;
        uint32_t count = 0;
        if (!ParseListedTime(words[1], listed) || !ParseTapTime(words[2], count) || count < 2)
            return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                        "expected \"take YYYY-MM-DDTHH:MM:SS COUNT\" with a count of 2 or more");
        for (size_t i = 3; i < words.size(); ++i) {
            if (!IsField(words[i]))
                return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                            "'" + std::string(words[i]) + "' is not a field name=value");
            // Only an explicit 0 leaves a take out; any other value is the
            // default, as for a field a later version may add.
            if (words[i] == "checked=0")
                take.Checked = false;
            // A source that is no encoding of a name is left out: the takes
            // matter, their file names only help.
            constexpr std::string_view sourceField = "source=";
            if (words[i].substr(0, sourceField.size()) == sourceField &&
                !DecodeSourceField(words[i].substr(sourceField.size()), take.Source))
                take.Source.clear();
            // An anchor means something only on the session's recording; one
            // that is no number leaves the take unanchored, as a take read
            // from a file is.
            constexpr std::string_view anchorField = "anchor=";
            uint64_t anchor = 0;
            if (named && words[i].substr(0, anchorField.size()) == anchorField &&
                ParseNumber64(words[i].substr(anchorField.size()), anchor) && anchor <= UINT32_MAX)
                take.Anchor = static_cast<int64_t>(anchor);
        }
        take.ListedAt.assign(words[1]);
        // Each tap needs at least two bytes: a hostile count must not
        // reserve more than the file can hold.
        take.Taps.reserve(std::min<size_t>(count, lines.Remaining() / 2));
        for (uint32_t i = 0; i < count; ++i) {
            if (!lines.Next(line))
                return lines.TooLong() ? tooLong()
                                       : Fail(error, TakeFileProblem::SessionCutOff, lines.Number() + 1, "",
                                              "the session ends inside a take");
            uint32_t time = 0;
            if (!ParseTapTime(line, time))
                return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                            "'" + Excerpt(line) + "' is not a tap time (milliseconds, 0 to 4294967295)");
            const TapStep order = NextTapStep(take.Taps, time);
            if (order == TapStep::Earlier)
                return Fail(error, TakeFileProblem::TapGoesBack, lines.Number(), line,
                            "this tap time lies before the one on the line above");
            if (order == TapStep::Repeated)
                ++repeatsDropped;
            else
                take.Taps.push_back(time);
        }
        if (take.Taps.size() < 2)
            continue;  // all its taps were one beat: nothing to list
        take.WrittenFrom = take.Taps.front();
        NormalizeTake(take.Taps);
        takes.push_back(std::move(take));
    }
    while (lines.Next(line)) {
        if (!line.empty())
            return Fail(error, TakeFileProblem::BadSessionLine, lines.Number(), line,
                        "nothing may follow the \"end\" line");
    }
    return lines.TooLong() ? tooLong() : true;
}

}  // namespace

std::string EncodeSourceField(std::string_view name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                           byte == '.' || byte == '_' || byte == '-';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

bool DecodeSourceField(std::string_view field, std::string& name)
{
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return false;  // a "%" without its two digits
        const int high = digit(field[i + 1]);
        const int low = digit(field[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    name = std::move(out);
    return true;
}

std::string FormatListedTime(const ListedTime& time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.Year, time.Month, time.Day, time.Hour,
                  time.Minute, time.Second);
    return text;
}

bool ParseListedTime(std::string_view text, ListedTime& time)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':')
        return false;
    ListedTime t;
    if (!ParseField(text, 0, 4, 1601, 9999, t.Year) || !ParseField(text, 5, 2, 1, 12, t.Month) ||
        !ParseField(text, 8, 2, 1, 31, t.Day) || !ParseField(text, 11, 2, 0, 23, t.Hour) ||
        !ParseField(text, 14, 2, 0, 59, t.Minute) || !ParseField(text, 17, 2, 0, 59, t.Second))
        return false;
    if (t.Day > DaysInMonth(t.Year, t.Month))
        return false;
    time = t;
    return true;
}

uint64_t HashRecordingHead(const void* data, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string FormatSession(const std::vector<const SessionTake*>& takes)
{
    return FormatSession(takes, nullptr);
}

std::string FormatSession(const std::vector<const SessionTake*>& takes, const SessionRecording* recording)
{
    const bool named = recording && !recording->Path.empty();
    size_t size = 32;
    for (const SessionTake* take : takes)
        size += 48 + take->Taps.size() * 12;
    std::string out;
    out.reserve(size);
    out += SessionMagic;
    out += ' ';
    AppendNumber(out, named ? RecordingSessionVersion : SessionVersion);
    out += kLineEnd;
    if (named) {
        static const char hex[] = "0123456789ABCDEF";
        out += "recording size=";
        AppendNumber64(out, recording->Size);
        out += " hash=";
        for (int shift = 60; shift >= 0; shift -= 4)
            out += hex[(recording->Hash >> shift) & 15];
        out += " path=";
        out += EncodeSourceField(recording->Path);
        out += kLineEnd;
        for (const BeatEdit& edit : recording->Edits) {
            if (edit.AtUs < 0 || edit.ToUs < 0)
                continue;
            out += "edit at=";
            AppendNumber64(out, static_cast<uint64_t>(edit.AtUs));
            out += " to=";
            AppendNumber64(out, static_cast<uint64_t>(edit.ToUs));
            out += kLineEnd;
        }
    }
    for (const SessionTake* take : takes)
        AppendTake(out, *take, named);
    out += "end";
    out += kLineEnd;
    return out;
}

std::string FormatSession(const std::vector<SessionTake>& takes)
{
    std::vector<const SessionTake*> pointers;
    pointers.reserve(takes.size());
    for (const SessionTake& take : takes)
        pointers.push_back(&take);
    return FormatSession(pointers);
}

bool LooksLikeSession(std::string_view text)
{
    const std::string_view magic(SessionMagic);
    return text.size() > magic.size() && text.substr(0, magic.size()) == magic && text[magic.size()] == ' ';
}

bool ReadSession(std::string_view text, std::vector<SessionTake>& takes, TakeFileError& error,
                 size_t* repeatsDropped)
{
    SessionRecording recording;
    return ReadSession(text, takes, recording, error, repeatsDropped);
}

bool ReadSession(std::string_view text, std::vector<SessionTake>& takes, SessionRecording& recording,
                 TakeFileError& error, size_t* repeatsDropped)
{
    takes.clear();
    recording = SessionRecording();
    error = TakeFileError();
    size_t repeats = 0;
    const bool ok = ReadSessionLines(text, takes, recording, error, repeats);
    if (repeatsDropped)
        *repeatsDropped = ok ? repeats : 0;
    if (ok)
        return true;
    takes.clear();
    recording = SessionRecording();
    return false;
}
