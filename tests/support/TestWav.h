// A 16-bit PCM WAV of a known signal, written by the Windows tests that
// play or open recordings: the sawtooth of Signal in every channel, or
// silence.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace test_wav {

// A different sawtooth in each channel, within ±10000 so that a click
// added to it never clips.
inline int16_t Signal(int64_t frame, uint32_t channel)
{
    return static_cast<int16_t>((frame * 37 + channel * 1001) % 20000 - 10000);
}

inline void Put16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

inline void WriteWav(const std::filesystem::path& path, uint32_t rate, uint32_t channels, uint32_t frames,
                     bool silent)
{
    const uint32_t dataBytes = frames * channels * 2;
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F'};
    Put32(bytes, 36 + dataBytes);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(bytes, 16);
    Put16(bytes, 1);
    Put16(bytes, channels);
    Put32(bytes, rate);
    Put32(bytes, rate * channels * 2);
    Put16(bytes, channels * 2);
    Put16(bytes, 16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    Put32(bytes, dataBytes);
    for (uint32_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c)
            Put16(bytes, silent ? 0 : static_cast<uint16_t>(Signal(f, c)));
    }
    FILE* file = _wfopen(path.wstring().c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

// A mono 16-bit PCM WAV of silence with a short click (a decaying burst,
// starting at its frame) at each of `clicks`.
inline void WriteClicksWav(const std::filesystem::path& path, uint32_t rate, uint32_t frames,
                           const std::vector<uint32_t>& clicks)
{
    std::vector<int16_t> samples(frames, 0);
    for (uint32_t at : clicks)
        for (uint32_t i = 0; i < rate / 200 && at + i < frames; ++i)
            samples[at + i] = static_cast<int16_t>((i % 2 == 0 ? 20000 : -20000) * static_cast<int>(rate / 200 - i) /
                                                   static_cast<int>(rate / 200));
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F'};
    Put32(bytes, 36 + frames * 2);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(bytes, 16);
    Put16(bytes, 1);
    Put16(bytes, 1);
    Put32(bytes, rate);
    Put32(bytes, rate * 2);
    Put16(bytes, 2);
    Put16(bytes, 16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    Put32(bytes, frames * 2);
    for (int16_t sample : samples)
        Put16(bytes, static_cast<uint16_t>(sample));
    FILE* file = _wfopen(path.wstring().c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

}  // namespace test_wav
