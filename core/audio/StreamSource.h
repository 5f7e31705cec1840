// 64-bit positions in a C stream, which each platform offers under its own
// names (StreamSource_posix.cpp, StreamSource_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

namespace audio_stream {

bool SeekTo(std::FILE* stream, uint64_t offset);
bool SeekToEnd(std::FILE* stream);
bool Tell(std::FILE* stream, uint64_t& offset);

}  // namespace audio_stream
