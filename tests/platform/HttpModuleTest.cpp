// Downloads run in the module the build makes beside the program, loaded by
// the first transfer; without it every transfer fails, and nothing else.
#include "platform/HttpClient.h"

#include "support/LocalHttpServer.h"
#include "support/RequireTool.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

class BodySink final : public platform::HttpGetSink {
public:
    bool OnResponse(int status, long long) override
    {
        m_nStatus = status;
        return true;
    }
    platform::HttpChunkVerdict OnChunk(const char* data, size_t len) override
    {
        m_body.append(data, len);
        return platform::HttpChunkVerdict::Continue;
    }

    int m_nStatus = -1;
    std::string m_body;
};

bool Mapped(const std::string& part)
{
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return text.find(part) != std::string::npos;
}

class HttpModule : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
        ASSERT_TRUE(m_server.Start());
    }
    void TearDown() override { platform::SetHttpModule(TAVDJ_HTTP_MODULE); }

    platform::HttpGetResult Get(BodySink* pSink)
    {
        platform::HttpGetRequest request;
        request.url = m_server.Url("/len?n=3000");
        return platform::HttpGet(request, *pSink);
    }

    testutil::LocalHttpServer m_server;
};

TEST_F(HttpModule, LibcurlComesWithTheFirstTransfer)
{
    if (dlopen(TAVDJ_HTTP_MODULE, RTLD_NOW | RTLD_NOLOAD) != nullptr)
        GTEST_SKIP() << "an earlier test in this process downloaded; ctest runs each test alone";
    EXPECT_FALSE(Mapped("libcurl")) << "libcurl was loaded with the program";
    BodySink sink;
    ASSERT_EQ(Get(&sink), platform::HttpGetResult::Completed);
    EXPECT_EQ(sink.m_nStatus, 200);
    EXPECT_EQ(sink.m_body.size(), 3000u);
    EXPECT_TRUE(Mapped("libcurl"));
}

TEST_F(HttpModule, WithoutTheModuleEveryTransferFailsAndAnotherModuleStillServes)
{
    struct SCase {
        const char* name;
        std::string path;
    };
    const SCase cases[] = {
        { "no module named", "" },
        { "no such file", std::string(TAVDJ_HTTP_MODULE) + ".missing" },
        { "a library without the entry", "libz.so.1" },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SetHttpModule(c.path);
        for (int attempt = 0; attempt < 2; ++attempt) {
            BodySink sink;
            EXPECT_EQ(Get(&sink), platform::HttpGetResult::Failed);
            EXPECT_EQ(sink.m_nStatus, -1) << "a transfer ran without the module";
        }
    }
    platform::SetHttpModule(TAVDJ_HTTP_MODULE);
    BodySink sink;
    ASSERT_EQ(Get(&sink), platform::HttpGetResult::Completed);
    EXPECT_EQ(sink.m_body.size(), 3000u);
}

} // namespace
