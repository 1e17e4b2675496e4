#pragma once

#include "platform/Mp3Encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// About one second (39 frames of 1152) of a 440 Hz tone as a 128 kbit/s
// stereo MP3, made with the program's own encoder.
inline bool WriteToneMp3(const std::string& path)
{
    auto encoder = platform::Mp3Encoder::Create();
    if (!encoder || !encoder->Configure(44100, 2, 128) || !encoder->InitParams())
        return false;
    std::vector<int16_t> pcm(size_t(1152) * 2);
    std::vector<unsigned char> out(platform::Mp3Encoder::kMinOutputBytes);
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (!pFile)
        return false;
    long frame = 0;
    for (int block = 0; block < 39; ++block) {
        for (size_t i = 0; i < 1152; ++i, ++frame)
            pcm[2 * i] = pcm[2 * i + 1] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(frame) / 44100));
        const int n = encoder->EncodeInterleaved(pcm.data(), 1152, out.data(), int(out.size()));
        std::fwrite(out.data(), 1, size_t(std::max(n, 0)), pFile);
    }
    const int n = encoder->Flush(out.data(), int(out.size()));
    std::fwrite(out.data(), 1, size_t(std::max(n, 0)), pFile);
    return std::fclose(pFile) == 0;
}
