#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace platform {
class Clock;
class HostResolver;
class SocketApi;
} // namespace platform

// Thread: Run, Cancel and IsRunning on the user-interface thread; the
// exchange runs on a thread that Run owns and joins before it returns.
// The test whether a listener on the internet can reach this computer, run
// with the maker's test service: connect to it on port 31200 (or the port
// its host entry names), send "ip\n", read a reply that begins with
// "ip_rpl", listen on the first free port from the first listener port on
// (step 2, below first + 100), send "test,<port>,GG\n" and wait for the
// service to connect back. The reply is gathered across reads until its six
// bytes are there, however the network cuts it. Run keeps the user interface
// handling events while it waits; every wait is bounded.
class CExternalReachability {
public:
    enum class Result {
        Reachable,
        Unreachable, // no service, a wrong reply, no connect-back in time, cancelled
        NoFreePort, // nothing to listen on: the caller tells the user
        Skipped, // no test service configured: Run showed kSkippedText
        Busy, // a test is running already (a second start while it waits)
    };

    static constexpr int kServicePort = 31200;
    static constexpr int kFirstPort = 8000;
    static constexpr int kPortStep = 2;
    static constexpr int kPortSpan = 100;
    static constexpr const char* kReplyPrefix = "ip_rpl";
    static constexpr const char* kTestingText = "외부에서 접근 가능여부 테스트 중...";
    static constexpr const char* kSkippedText = "외부 접속 테스트 서버가 설정되지 않아 테스트를 건너뜁니다.";

    // The waits, in polls of pollMs each: up to replyPolls empty polls for
    // the reply (about ten seconds), acceptPolls for the connect-back (about
    // five). Tests shorten them.
    struct Limits {
        int replyPolls = 100;
        int acceptPolls = 50;
        int pollMs = 100;
    };

    // serviceHost is the settings object's ReachTestHost: "host" or
    // "host:port"; empty skips the test.
    explicit CExternalReachability(std::string serviceHost, int firstPort = kFirstPort);
    CExternalReachability(std::string serviceHost, int firstPort, Limits limits, platform::SocketApi& api,
        platform::HostResolver& resolver, platform::Clock& clock);
    ~CExternalReachability();
    CExternalReachability(const CExternalReachability&) = delete;
    CExternalReachability& operator=(const CExternalReachability&) = delete;

    // Runs the test and returns its result. status (may be empty) gets the
    // status-line texts on this thread: kTestingText while waiting for the
    // connect-back, then "" when done, or kSkippedText alone for a skipped
    // test. Events are handled meanwhile, so a handler may call Cancel.
    Result Run(const std::function<void(const std::string&)>& status = {});
    // Ends a running test at its next poll; Run then returns Unreachable.
    void Cancel();
    [[nodiscard]] bool IsRunning() const { return m_bRunning; }

private:
    // Exchange thread; listening is called once the test line is sent.
    Result Exchange(std::stop_token stop, const std::function<void()>& listening);

    std::string m_strServiceHost;
    int m_nFirstPort;
    Limits m_limits;
    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;
    bool m_bRunning = false;
    std::stop_source m_stop;
};
