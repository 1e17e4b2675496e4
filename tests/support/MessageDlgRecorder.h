#pragma once

#include "app/MessageDlg.h"

#include <deque>
#include <memory>
#include <vector>

// Answers every message box while it lives, for shell tests: each call is
// recorded (owner, text, caption, type, flags, extras, threaded or not),
// nothing is shown, and the answer is the next queued one or the standing
// one. A threaded box gets the handle of a stand-in that notes the close
// message, so a test can see that the program closed its box.
// Thread: the test's user-interface thread, which also runs the stand-ins'
// messages (Closed dispatches them).
class MessageDlgRecorder final : public MessageDlgResponder {
public:
    MessageDlgRecorder() { m_pPrevious = SetMessageDlgResponder(this); }
    ~MessageDlgRecorder() override { SetMessageDlgResponder(m_pPrevious); }
    MessageDlgRecorder(const MessageDlgRecorder&) = delete;
    MessageDlgRecorder& operator=(const MessageDlgRecorder&) = delete;

    // The answer when none is queued; kIdOk at first.
    void SetAnswer(int answer) { m_nAnswer = answer; }
    // Answers for the next calls, in order.
    void QueueAnswers(std::initializer_list<int> answers) { m_queued.insert(m_queued.end(), answers); }

    [[nodiscard]] const std::vector<MessageDlgRequest>& Calls() const { return m_calls; }
    [[nodiscard]] const MessageDlgRequest& Last() const { return m_calls.back(); }

    // True once the close message reached the stand-in of the n-th
    // threaded box (counting from 0 among threaded boxes only).
    [[nodiscard]] bool Closed(size_t n)
    {
        if (n >= m_boxes.size())
            return false;
        m_boxes[n]->DispatchPending();
        return m_boxes[n]->m_bClosed;
    }

    int Answer(const MessageDlgRequest& request) override
    {
        m_calls.push_back(request);
        if (m_queued.empty())
            return m_nAnswer;
        const int answer = m_queued.front();
        m_queued.pop_front();
        return answer;
    }

    platform::TargetHandle Open(const MessageDlgRequest& request) override
    {
        m_calls.push_back(request);
        m_boxes.push_back(std::make_unique<StandIn>());
        return m_boxes.back()->Handle();
    }

private:
    class StandIn final : public platform::MessageTarget {
    public:
        bool m_bClosed = false;

    protected:
        platform::LParam OnMessage(platform::MessageId msg, platform::WParam, platform::LParam) override
        {
            m_bClosed |= msg == WmGMessageBoxClose();
            return 0;
        }
    };

    MessageDlgResponder* m_pPrevious = nullptr;
    int m_nAnswer = kIdOk;
    std::deque<int> m_queued;
    std::vector<MessageDlgRequest> m_calls;
    std::vector<std::unique_ptr<StandIn>> m_boxes;
};
