#pragma once

#include "platform/WaveIn.h"

#include <memory>
#include <thread>

namespace platform {

// Thread: made and ended on one thread; the stream is taken on any.
// Opens one capture device on a thread of its own while the program does
// other work: behind a sound server an opening connects to it and sets up
// a stream, which a start need not wait for. The backend's first
// OpenStream takes the stream when it asks for this device and format,
// waiting for the opening if need be; any other opening, or one that
// failed here, leaves the backend to open as it always does. A stream
// nobody took closes when this ends.
class WaveInAhead {
public:
    WaveInAhead(WaveInBackend& backend, int index, const WaveInFormat& format);
    ~WaveInAhead();
    WaveInAhead(const WaveInAhead&) = delete;
    WaveInAhead& operator=(const WaveInAhead&) = delete;

private:
    friend class WaveInBackend;

    // Called once, under the backend's lock: the stream when it is the one
    // asked for and it opened; null otherwise, with nothing left open.
    [[nodiscard]] std::unique_ptr<WaveInStream> Take(int index, const WaveInFormat& format);

    WaveInBackend& m_backend;
    const int m_nIndex;
    const WaveInFormat m_format;
    std::unique_ptr<WaveInStream> m_pStream;
    std::thread m_thread;
};

} // namespace platform
