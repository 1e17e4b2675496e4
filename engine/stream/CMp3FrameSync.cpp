#include "engine/stream/CMp3FrameSync.h"

#include "platform/Mp3BitRates.h"

#include <algorithm>
#include <cstring>

namespace {

// Sample rates of MPEG-1 by index; MPEG-2 halves them, MPEG-2.5 quarters.
constexpr int kMpeg1Hz[3] = { 44100, 48000, 32000 };

constexpr unsigned kVersionMpeg25 = 0;
constexpr unsigned kVersionReserved = 1;
constexpr unsigned kVersionMpeg1 = 3;
constexpr unsigned kLayer3 = 1;
constexpr unsigned kEmphasisReserved = 2;

// What every frame of one stream shares: sync, version, layer and sample
// rate. Bit rate and padding change from frame to frame.
bool SameStream(const unsigned char* a, const unsigned char* b)
{
    return a[0] == b[0] && (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

} // namespace

// header = 11 sync bits, version (2), layer (2), protection (1),
//          bit-rate index (4), sample-rate index (2), padding (1), private
//          (1), mode (2), mode extension (2), copyright (1), original (1),
//          emphasis (2)
int CMp3FrameSync::FrameBytes(const unsigned char* p)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return 0;
    const unsigned version = (p[1] >> 3) & 3;
    const unsigned layer = (p[1] >> 1) & 3;
    const unsigned rateIndex = p[2] >> 4;
    const unsigned hzIndex = (p[2] >> 2) & 3;
    const unsigned padding = (p[2] >> 1) & 1;
    if (version == kVersionReserved || layer != kLayer3 || hzIndex == 3 || (p[3] & 3) == kEmphasisReserved)
        return 0;
    const bool mpeg1 = version == kVersionMpeg1;
    // 0 for free format and the bad index: no stream the encoder makes.
    const int kbps = mpeg1 ? platform::kMpeg1Layer3Kbps[rateIndex] : platform::kMpeg2Layer3Kbps[rateIndex];
    if (kbps == 0)
        return 0;
    const int hz = kMpeg1Hz[hzIndex] / (mpeg1 ? 1 : version == kVersionMpeg25 ? 4 : 2);
    // 1152 samples a frame in MPEG-1, 576 in MPEG-2 and 2.5.
    const int samplesPerByte = mpeg1 ? 144 : 72;
    return samplesPerByte * kbps * 1000 / hz + static_cast<int>(padding);
}

int CMp3FrameSync::FindConfirmedHeader(int* pKeep) const
{
    const unsigned char* held = m_held.data();
    for (int i = 0; i + kHeaderBytes <= m_nHeld; ++i) {
        const int frame = FrameBytes(held + i);
        if (frame == 0)
            continue;
        if (i + frame + kHeaderBytes > m_nHeld) {
            // The frame is not all here yet: wait for the header after it.
            *pKeep = i;
            return -1;
        }
        const unsigned char* next = held + i + frame;
        if (FrameBytes(next) != 0 && SameStream(held + i, next))
            return i;
    }
    // A header may begin in the last three bytes and end in the next call.
    *pKeep = std::max(0, m_nHeld - (kHeaderBytes - 1));
    return -1;
}

void CMp3FrameSync::Take(const char* pData, int nBytes, Output output, void* pUser)
{
    static_assert(kMaxFrameBytes + kHeaderBytes < kHoldBytes, "a waiting frame must leave room to take more");
    while (nBytes > 0) {
        if (m_bInStep) {
            output(pUser, pData, nBytes);
            return;
        }
        const int take = std::min(nBytes, kHoldBytes - m_nHeld);
        std::memcpy(m_held.data() + m_nHeld, pData, static_cast<size_t>(take));
        m_nHeld += take;
        pData += take;
        nBytes -= take;
        int keep = 0;
        const int start = FindConfirmedHeader(&keep);
        if (start >= 0) {
            m_bInStep = true;
            output(pUser, reinterpret_cast<const char*>(m_held.data()) + start, m_nHeld - start);
            m_nHeld = 0;
            continue;
        }
        // Every byte before keep is dropped. A waiting frame is at most
        // kMaxFrameBytes long, so at least the rest of the hold is free
        // again for the next round.
        m_nHeld -= keep;
        std::memmove(m_held.data(), m_held.data() + keep, static_cast<size_t>(m_nHeld));
    }
}
