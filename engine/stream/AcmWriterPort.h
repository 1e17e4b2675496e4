#pragma once

#include "engine/audio/CAWriter.h"

// How the controller reaches the ACM-shaped MP3 writer (CodecN > 0): the
// writer itself, the choice of codec and format, and the chosen format's
// bit rate. A program built without that writer has no port, and the
// controller falls back to the LAME writer.
// Thread: main thread, while the pump is stopped.
class AcmWriterPort {
public:
    virtual ~AcmWriterPort() = default;

    [[nodiscard]] virtual CAWriter& Writer() = 0;
    // Selects codec and format by index; false when either no longer exists.
    [[nodiscard]] virtual bool Select(int codec, int format) = 0;
    // The selected format's bit rate in bit/s.
    [[nodiscard]] virtual int GetBitrate() = 0;
};
