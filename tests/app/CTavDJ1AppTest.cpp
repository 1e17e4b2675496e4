#include "app/CTavDJ1App.h"
#include "app/CInstanceLock.h"
#include "app/COption.h"
#include "engine/stream/DJSettings.h"

#include "support/TestSandbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SParseCase {
    const char* name;
    std::vector<std::string> words;
    // What the settings read afterwards.
    std::string address;
    int nPort;
    std::string password;
    std::string homepage;
    std::string listenUrl;
    int nLocalServ;
};

class CommandLineOptions : public testing::TestWithParam<SParseCase> { };

TEST_P(CommandLineOptions, LandInTheSettings)
{
    const SParseCase& c = GetParam();
    DJSettings settings;
    settings.m_nPort = 8000;
    settings.m_strListenUrl = "http://kept/listen.pls";
    COption option("/nonexistent/SETTING.ini");
    option.m_nLocalServ = 1;
    std::vector<std::string> words { "tavdj" };
    words.insert(words.end(), c.words.begin(), c.words.end());
    CTavDJ1App::ParseCommandLine(words, &settings, &option);
    EXPECT_EQ(settings.m_strAddress, c.address);
    EXPECT_EQ(option.m_strNationalAddress, c.address == "localhost" ? "" : c.address);
    EXPECT_EQ(settings.m_nPort, c.nPort);
    EXPECT_EQ(settings.m_strPasswd, c.password);
    EXPECT_EQ(settings.m_strUrl, c.homepage);
    EXPECT_EQ(settings.m_strListenUrl, c.listenUrl);
    EXPECT_EQ(option.m_nLocalServ, c.nLocalServ);
}

const DJSettings kDefaults;
const std::string kKeptListen = "http://kept/listen.pls";

INSTANTIATE_TEST_SUITE_P(App, CommandLineOptions,
    testing::Values(
        SParseCase { "NoOptions", {}, "localhost", 8000, kDefaults.m_strPasswd, kDefaults.m_strUrl, kKeptListen, 1 },
        SParseCase { "UnknownWordsIgnored", { "hello", "/serv_portx", "1" }, "localhost", 8000, kDefaults.m_strPasswd,
            kDefaults.m_strUrl, kKeptListen, 1 },
        SParseCase { "TrimmedAddressAnyCase", { "/SERV_ADDR", "  radio.example  " }, "radio.example", 8000,
            kDefaults.m_strPasswd, kDefaults.m_strUrl, kKeptListen, 0 },
        SParseCase { "PortAndPassword", { "/serv_port", "9000", "/serv_pwd", " secret " }, "localhost", 9000, "secret",
            kDefaults.m_strUrl, kKeptListen, 0 },
        // A port TCP cannot carry keeps the stored one; no number gives 0.
        SParseCase { "PortAboveRangeKept", { "/serv_port", "70000" }, "localhost", 8000, kDefaults.m_strPasswd,
            kDefaults.m_strUrl, kKeptListen, 0 },
        SParseCase { "NonNumericPortIsZero", { "/serv_port", "abc" }, "localhost", 0, kDefaults.m_strPasswd,
            kDefaults.m_strUrl, kKeptListen, 0 },
        SParseCase { "PasswordLastHasNoValue", { "/serv_pwd" }, "localhost", 8000, kDefaults.m_strPasswd,
            kDefaults.m_strUrl, kKeptListen, 1 },
        SParseCase { "HomepageLosesProgramEnding", { "/cast_homepage", "http://site/setup.EXE" }, "localhost", 8000,
            kDefaults.m_strPasswd, "http://site/setup", kKeptListen, 0 },
        SParseCase { "ListenUrlInCapitalsStays", { "/cast_url", " HTTP://host/LISTEN.PLS " }, "localhost", 8000,
            kDefaults.m_strPasswd, kDefaults.m_strUrl, "HTTP://host/LISTEN.PLS", 0 },
        SParseCase { "ListenUrlWithoutPlaylistEmptied", { "/cast_url", "http://host/listen.m3u" }, "localhost", 8000,
            kDefaults.m_strPasswd, kDefaults.m_strUrl, "", 0 },
        // A value is never read as an option: "/serv_port" here is the password.
        SParseCase { "ValueLooksLikeOption", { "/serv_pwd", "/serv_port", "9100" }, "localhost", 8000, "/serv_port",
            kDefaults.m_strUrl, kKeptListen, 0 }),
    [](const testing::TestParamInfo<SParseCase>& testInfo) { return std::string(testInfo.param.name); });

TEST(App, UninstallInAnyCaseOnlyAsFirstArgument)
{
    EXPECT_TRUE(CTavDJ1App::IsUninstall({ "tavdj", "/UNINSTALL" }));
    EXPECT_TRUE(CTavDJ1App::IsUninstall({ "tavdj", "/uninstall", "x" }));
    EXPECT_FALSE(CTavDJ1App::IsUninstall({ "tavdj", "x", "/uninstall" }));
    EXPECT_FALSE(CTavDJ1App::IsUninstall({ "tavdj" }));
}

template <class Done> bool ProcessEventsUntil(Done done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

TEST(App, SecondInstanceEndsAndRaisesTheFirstOnlyWithoutArguments)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-instance"));
    sandbox.SetEnv(CInstanceLock::kAllowEnv, std::nullopt);
    const std::string folder = sandbox.Dir().string();

    auto pFirst = std::make_unique<CInstanceLock>(folder);
    ASSERT_EQ(pFirst->CheckSingleInstance(""), 0);
    QWidget window;
    ASSERT_TRUE(pFirst->PublishWindow(&window));

    // With an argument the first window is left where it is; without one it
    // comes forward. The first instance answers in order, so once the
    // second request has shown the window the first one had its turn.
    CInstanceLock withArgument(folder);
    EXPECT_EQ(withArgument.CheckSingleInstance("/serv_addr"), 1);
    CInstanceLock plain(folder);
    EXPECT_EQ(plain.CheckSingleInstance(""), 1);
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.isVisible(); }));

    // The lock goes with its holder: the next start is a first instance.
    pFirst.reset();
    CInstanceLock next(folder);
    EXPECT_EQ(next.CheckSingleInstance(""), 0);

    // The switch for tests lets every start run beside it.
    sandbox.SetEnv(CInstanceLock::kAllowEnv, "1");
    CInstanceLock allowed(folder);
    EXPECT_EQ(allowed.CheckSingleInstance(""), 0);
}

} // namespace
