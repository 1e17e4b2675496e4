#pragma once

#include <array>
#include <cstdint>

// Thread: one feeding thread (the pump's) calls everything; no allocation,
// no lock, work bounded by the bytes taken.
// Finds where a stream of MP3 bytes that was joined at an arbitrary point
// begins its first whole frame, and passes on the stream from there. A
// server that decodes its source holds a stream that opens in the middle
// of a frame for seconds before its output starts, so what goes on air
// begins with a frame header.
// A header counts once the next header stands where its frame length puts
// it: the sync pattern alone also occurs inside frame data.
class CMp3FrameSync {
public:
    using Output = void (*)(void* pUser, const char* pData, int nBytes);

    static constexpr int kHeaderBytes = 4;
    // The longest Layer III frame: 320 kbit/s at 32 kHz (MPEG-1), or
    // 160 kbit/s at 8 kHz (MPEG-2.5), with its padding byte.
    static constexpr int kMaxFrameBytes = 1441;
    // Room for a candidate frame and the header after it, with space to
    // take more bytes while one waits.
    static constexpr int kHoldBytes = 2048;

    // Forgets the header found: the next bytes are searched again.
    void Reset()
    {
        m_bInStep = false;
        m_nHeld = 0;
    }

    // Hands output the bytes from the first confirmed frame header on, in
    // order; those before it are dropped. Once in step, everything passes.
    void Take(const char* pData, int nBytes, Output output, void* pUser);

    [[nodiscard]] bool IsInStep() const { return m_bInStep; }

    // The length of the frame the four bytes at p open, padding included;
    // 0 when they are no Layer III header (a reserved version, sample rate
    // or emphasis, a free or bad bit-rate index).
    [[nodiscard]] static int FrameBytes(const unsigned char* p);

private:
    // Where the held bytes' first confirmed header starts, or -1; *pKeep is
    // then the first held byte that may still begin one.
    [[nodiscard]] int FindConfirmedHeader(int* pKeep) const;

    bool m_bInStep = false;
    int m_nHeld = 0;
    std::array<unsigned char, kHoldBytes> m_held {};
};
