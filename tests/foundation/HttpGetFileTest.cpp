#include "foundation/HttpGetFile.h"

#include "support/FreePorts.h"
#include "support/LocalHttpServer.h"
#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace platform;

namespace {

struct Seen {
    MessageId msg;
    WParam id;
    LParam value;
};

class Recorder final : public MessageTarget {
public:
    ~Recorder() override { Detach(); }
    std::vector<Seen> seen;

    // Dispatches until a completion arrives or the deadline passes.
    bool WaitComplete(int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            for (const Seen& s : seen) {
                if (s.msg == WmHttpGetFileComplete())
                    return true;
            }
            WaitAndDispatch(100);
        }
        return false;
    }
    LParam Completed() const { return seen.empty() ? -99 : seen.back().value; }

protected:
    LParam OnMessage(MessageId msg, WParam w, LParam l) override
    {
        seen.push_back({ msg, w, l });
        return 0;
    }
};

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

class HttpGetFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
        ASSERT_TRUE(m_server.Start());
    }
    void TearDown() override { HttpGetFileJoinAll(HttpDownloadWorkers::Cancel::Yes); }

    // Memory form, synchronous; returns the body or nullopt-ish via ok.
    bool Fetch(const std::string& path, std::string* body, int limit = -1, const HttpGetFileTimeouts& timeouts = {})
    {
        char* buffer = reinterpret_cast<char*>(1);
        int read = -1;
        const bool ok = HttpGetFile(&buffer, nullptr, m_server.Url(path).c_str(), m_target.Handle(), true, "TestAgent",
            limit, false, &read, timeouts);
        std::unique_ptr<char[]> owned(buffer);
        if (ok) {
            EXPECT_NE(buffer, nullptr);
            if (buffer) {
                EXPECT_EQ(buffer[read], '\0');
                body->assign(buffer, static_cast<size_t>(read));
            }
        } else {
            EXPECT_EQ(buffer, nullptr);
        }
        return ok;
    }

    testutil::LocalHttpServer m_server;
    Recorder m_target;
};

} // namespace

TEST_F(HttpGetFileTest, WholeBodiesArriveInEveryTransferForm)
{
    for (const char* path : { "/len?n=30000", "/nolen?n=30000", "/chunked?n=30000", "/redirect" }) {
        SCOPED_TRACE(path);
        std::string body;
        ASSERT_TRUE(Fetch(path, &body));
        EXPECT_EQ(body, Pattern(std::string(path) == "/redirect" ? 5000 : 30000));
    }
}

TEST_F(HttpGetFileTest, EmptyBodyAndBareBodyStillDeliverATerminatedBuffer)
{
    std::string body = "x";
    ASSERT_TRUE(Fetch("/empty", &body));
    EXPECT_EQ(body, "");
    ASSERT_TRUE(Fetch("/http09", &body));
    EXPECT_EQ(body, "Stream is up at 128 kbps with <B>3 of 50 listeners");
}

TEST_F(HttpGetFileTest, BrokenTransfersFail)
{
    std::string body;
    EXPECT_FALSE(Fetch("/missing", &body));
    EXPECT_FALSE(Fetch("/cut", &body)); // a cut-off body is never a success
    EXPECT_FALSE(Fetch("/loop", &body));
    m_target.DispatchPending();

    const auto started = std::chrono::steady_clock::now();
    HttpGetFileTimeouts quick;
    quick.connectMs = 1000;
    quick.stallMs = 1000;
    EXPECT_FALSE(Fetch("/silent", &body, -1, quick));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    // A byte every 0.2 s never stalls; only the bound on the whole transfer
    // ends it.
    const auto trickleStarted = std::chrono::steady_clock::now();
    HttpGetFileTimeouts bounded = quick;
    bounded.totalMs = 1000;
    EXPECT_FALSE(Fetch("/trickle", &body, -1, bounded));
    EXPECT_LT(std::chrono::steady_clock::now() - trickleStarted, std::chrono::seconds(5));

    // Nothing listens on a port that was free a moment ago.
    const std::string dead = "http://127.0.0.1:" + std::to_string(testutil::PickPortPair()) + "/x";
    char* buffer = nullptr;
    EXPECT_FALSE(HttpGetFile(&buffer, nullptr, dead.c_str(), kNoTarget, true, "a", -1, false, nullptr, quick));
    EXPECT_EQ(buffer, nullptr);
}

TEST_F(HttpGetFileTest, ByteLimitStopsAfterTheChunkThatReachesIt)
{
    std::string body;
    ASSERT_TRUE(Fetch("/len?n=30000", &body, 10240));
    EXPECT_GE(body.size(), 10240u);
    EXPECT_LT(body.size(), 30000u);
    EXPECT_EQ(body, Pattern(body.size()));

    ASSERT_TRUE(Fetch("/len?n=30000", &body, 0));
    EXPECT_GT(body.size(), 0u);
    EXPECT_LE(body.size(), 10240u);
}

TEST_F(HttpGetFileTest, RejectsBadArgumentsWithoutMessages)
{
    char* buffer = nullptr;
    const std::string longAgent(512, 'a');
    EXPECT_FALSE(HttpGetFile(&buffer, nullptr, "no scheme", m_target.Handle(), true, "a", -1, false, nullptr));
    EXPECT_FALSE(HttpGetFile(&buffer, nullptr, nullptr, m_target.Handle(), true, "a", -1, false, nullptr));
    EXPECT_FALSE(HttpGetFile(&buffer, nullptr, m_server.Url("/len").c_str(), m_target.Handle(), true, longAgent.c_str(),
        -1, false, nullptr));
    EXPECT_FALSE(HttpGetFile(
        nullptr, "/nonexistent-dir/x", m_server.Url("/len").c_str(), m_target.Handle(), true, "a", -1, true, nullptr));
    EXPECT_EQ(m_target.DispatchPending(), 0u);
    // Null output pointers are allowed.
    EXPECT_TRUE(
        HttpGetFile(nullptr, nullptr, m_server.Url("/len?n=10").c_str(), kNoTarget, true, "a", -1, false, nullptr));
}

TEST_F(HttpGetFileTest, FileFormWritesTheBodyAndTruncatesFirst)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-http"));
    const std::string path = (sandbox.Dir() / "out.bin").string();
    std::ofstream(path) << std::string(50000, 'z');
    int read = 0;
    ASSERT_TRUE(HttpGetFile(
        nullptr, path.c_str(), m_server.Url("/chunked?n=25000").c_str(), kNoTarget, true, "a", -1, true, &read));
    EXPECT_EQ(read, 25000);
    std::ifstream in(path, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, Pattern(25000));

    // A failed download still leaves the file truncated and closed.
    EXPECT_FALSE(
        HttpGetFile(nullptr, path.c_str(), m_server.Url("/missing").c_str(), kNoTarget, true, "a", -1, true, &read));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(HttpGetFileTest, AsyncMessagesCarryTheRequestIdInOrder)
{
    char* buffer = nullptr;
    int read = 0;
    ASSERT_TRUE(HttpGetFile(
        &buffer, nullptr, m_server.Url("/len?n=25000").c_str(), m_target.Handle(), false, "a", -1, false, &read));
    ASSERT_TRUE(m_target.WaitComplete(10000));
    std::unique_ptr<char[]> owned(buffer);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(read, 25000);

    const auto& seen = m_target.seen;
    ASSERT_GE(seen.size(), 3u);
    const WParam id = seen.front().id;
    EXPECT_GT(id, 0u);
    EXPECT_EQ(seen.front().msg, WmHttpGetFileStart());
    EXPECT_EQ(seen.front().value, 25000);
    LParam last = 0;
    for (size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].msg, WmHttpGetFileProgress());
        EXPECT_GT(seen[i].value, last);
        last = seen[i].value;
    }
    EXPECT_EQ(last, 25000);
    EXPECT_EQ(seen.back().msg, WmHttpGetFileComplete());
    EXPECT_EQ(seen.back().value, 1);
    for (const Seen& s : seen)
        EXPECT_EQ(s.id, id);

    // No Content-Length gives -1; a 404 sends START and COMPLETE(0), no progress;
    // the next request takes the next id.
    m_target.seen.clear();
    ASSERT_TRUE(HttpGetFile(
        nullptr, nullptr, m_server.Url("/nolen?n=10").c_str(), m_target.Handle(), false, "a", -1, false, nullptr));
    ASSERT_TRUE(m_target.WaitComplete(10000));
    EXPECT_EQ(m_target.seen.front().value, -1);
    EXPECT_EQ(m_target.seen.front().id, id + 1);

    m_target.seen.clear();
    ASSERT_TRUE(HttpGetFile(
        nullptr, nullptr, m_server.Url("/missing").c_str(), m_target.Handle(), false, "a", -1, false, nullptr));
    ASSERT_TRUE(m_target.WaitComplete(10000));
    ASSERT_EQ(m_target.seen.size(), 2u);
    EXPECT_EQ(m_target.seen[0].msg, WmHttpGetFileStart());
    EXPECT_EQ(m_target.seen[1].msg, WmHttpGetFileComplete());
    EXPECT_EQ(m_target.seen[1].value, 0);
}

TEST_F(HttpGetFileTest, ShutdownCancelsAHangingDownload)
{
    ASSERT_TRUE(HttpGetFile(
        nullptr, nullptr, m_server.Url("/silent").c_str(), m_target.Handle(), false, "a", -1, false, nullptr));
    const auto started = std::chrono::steady_clock::now();
    HttpGetFileJoinAll(HttpDownloadWorkers::Cancel::Yes);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    m_target.DispatchPending();
    EXPECT_EQ(m_target.Completed(), 0);
}
