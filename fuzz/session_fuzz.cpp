// Fuzz target over the take file reader: any bytes as a session, a take file
// or a beat list.
//
// What must hold:
//   - the reader returns, with takes or with an error naming a line of the
//     file (1 up to one past the last line), and never both;
//   - every take is relative to its first tap;
//   - a session read back from its own writing gives the same takes, and
//     writing those again gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Session.h"
#include "TakeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<SessionTake> takes;
    TakeFileError error;
    TakeFileKind kind = TakeFileKind::TapTimes;
    const bool ok = ReadTakeFileBytes(bytes, takes, error, &kind);
    if (!ok) {
        size_t lines = 1;
        for (char c : bytes)
            lines += c == '\n';
        if (!takes.empty() || error.Line < 1 || error.Line > lines + 1 || error.Message.empty())
            std::abort();
        return 0;
    }
    for (const SessionTake& take : takes) {
        if (!take.Taps.empty() && take.Taps[0] != 0)
            std::abort();
    }
    if (kind != TakeFileKind::Session) {
        if (takes.size() != 1)
            std::abort();
        return 0;
    }
    const std::string written = FormatSession(takes);
    std::vector<SessionTake> again;
    if (!ReadSession(written, again, error) || again.size() != takes.size())
        std::abort();
    for (size_t i = 0; i < takes.size(); ++i) {
        if (again[i].ListedAt != takes[i].ListedAt || again[i].Taps != takes[i].Taps)
            std::abort();
    }
    if (FormatSession(again) != written)
        std::abort();
    return 0;
}
