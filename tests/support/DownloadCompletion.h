#pragma once

// A message target that waits for an HTTP download's completion message
// and keeps its result.

#include "foundation/HttpGetFile.h"
#include "platform/MessageTarget.h"

#include <chrono>

class DownloadCompletion final : public platform::MessageTarget {
public:
    ~DownloadCompletion() override { Detach(); }
    platform::LParam result = -1;
    bool Wait(int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (result == -1 && std::chrono::steady_clock::now() < end)
            WaitAndDispatch(50);
        return result != -1;
    }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam, platform::LParam l) override
    {
        if (msg == WmHttpGetFileComplete())
            result = l;
        return 0;
    }
};
