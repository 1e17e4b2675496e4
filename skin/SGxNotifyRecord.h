#pragma once

#include <cstdint>

// What a control tells the application: the message the application is to
// receive, with its two arguments. The record lives on the sending
// control's stack and is valid only during the call that carries it.
struct SGxNotifyRecord {
    // How the top skin window hands the message to the application: Send
    // runs the application's handler before the control goes on; Post
    // queues it, which is how commands travel so a handler that reloads the
    // skin never runs under the control that asked for it.
    enum class Delivery { Post = 0, Send = 1 };

    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    Delivery delivery = Delivery::Send;
};
