#pragma once

#include "platform/MessageRegistry.h"
#include "platform/MessageTarget.h"

// Notices when an audio pump reports WM_ARWMAN_END. Thread: the bench's.
class EndWaiter final : public platform::MessageTarget {
public:
    ~EndWaiter() override { Detach(); }
    bool ended = false;

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam, platform::LParam) override
    {
        ended = ended || msg == platform::RegisterMessage("WM_ARWMAN_END");
        return 0;
    }
};
