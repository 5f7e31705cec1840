// Fuzz target over the SMF parser.
//
// Any input must end in true or false without a crash, sanitizer report,
// leak or hang. Every image that parses must survive a round trip: written
// with and without running status and parsed again, it gives the same format,
// division, tracks and events.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "round trip mismatch: %s\n", what);
    std::abort();
}

void ExpectSame(const mkSmfSequence& a, const mkSmfSequence& b)
{
    if (a.Format != b.Format)
        Fail("format");
    if (a.Division != b.Division)
        Fail("division");
    if (a.GetTrackCount() != b.GetTrackCount())
        Fail("track count");
    for (size_t t = 0; t < a.GetTrackCount(); ++t) {
        const mkSmfTrack& ta = a.GetTrack(t);
        const mkSmfTrack& tb = b.GetTrack(t);
        if (ta.GetEventCount() != tb.GetEventCount())
            Fail("event count");
        auto ea = ta.begin();
        auto eb = tb.begin();
        for (; ea != ta.end(); ++ea, ++eb) {
            if (ea->GetTime() != eb->GetTime())
                Fail("event time");
            if (ea->GetMessageCount() != eb->GetMessageCount() ||
                std::memcmp(ea->GetMessageData(), eb->GetMessageData(), ea->GetMessageCount()) != 0)
                Fail("event bytes");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    // The parser wants a real block, also for an empty file.
    std::vector<uint8_t> image(data, data + size);
    image.reserve(1);

    mkSmfSequence sequence;
    mkSmfParser parser;
    if (!parser.Parse(sequence, image.data(), static_cast<uint32_t>(size), true))
        return 0;

    for (bool runningStatus : {false, true}) {
        mkByteBuffer written;
        const uint32_t n = sequence.Write(written, runningStatus);
        if (n != written.GetSize())
            Fail("written size");
        mkSmfSequence reread;
        mkSmfParser second;
        if (!second.Parse(reread, written.GetData(), n, false))
            Fail("written image does not parse");
        ExpectSame(sequence, reread);
    }
    return 0;
}
