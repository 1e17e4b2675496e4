#include "app/CKeptClientSettings.h"

#include "engine/stream/CDJDataMan.h"
#include "fakes/FakeMixer.h"
#include "fakes/FakeWaveIn.h"
#include "foundation/Ini.h"
#include "support/EditSettings.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>

namespace {

auto Server(const DJSettings& s)
{
    return std::make_tuple(s.m_strAddress, s.m_nPort, s.m_strPasswd);
}

} // namespace

// However own-server mode ends, the controller saves the user's server, not
// the built-in one, and keeps what else changed meanwhile.
TEST(KeptClientSettings, EveryWayOutSavesTheUsersServer)
{
    struct Case {
        const char* name;
        // Ends own-server mode; the keeper is reset to end its scope.
        std::function<void(std::optional<CKeptClientSettings>&)> end;
    };
    const Case cases[] = {
        { "stop", [](auto& kept) { kept->Restore(); } },
        { "window destroyed without a stop", [](auto& kept) { kept.reset(); } },
        { "second start before a stop",
            [](auto& kept) {
                kept->Replace("other.example", 8004, "second-secret");
                kept.reset();
            } },
        { "stop, then the window goes",
            [](auto& kept) {
                kept->Restore();
                kept.reset();
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        FakeWaveInBackend waveIn;
        FakeMixerSystem mixer;
        DJDataManSystems systems;
        systems.pWaveIn = &waveIn;
        systems.pMixer = &mixer;
        CDJDataMan controller(home.Path("SETTING.ini"), systems);
        EditSettings(controller, [](DJSettings& s) {
            s.m_strAddress = "stale.example";
            s.m_nPort = 9100;
            s.m_strPasswd = "사용자 암호";
            s.m_nServerType = 1;
        });

        std::optional<CKeptClientSettings> kept(std::in_place, controller);
        kept->Replace("radio.example", 8002, "run-secret");
        EXPECT_TRUE(kept->IsKept());
        EXPECT_EQ(
            Server(controller.Settings()), std::make_tuple(std::string("localhost"), 8002, std::string("run-secret")));
        // The built-in server speaks SHOUTcast whatever the user's server is.
        EXPECT_EQ(controller.Settings().m_nServerType, 0);
        EXPECT_EQ(kept->UserServer("").serverType, 1);
        EditSettings(controller, [](DJSettings& s) { s.m_strName = "새 방송국"; });

        c.end(kept);
        ASSERT_TRUE(controller.SaveSettings());
        const std::string file = home.Path("SETTING.ini");
        EXPECT_EQ(std::make_tuple(IniGetString("Network", "Address", file, ""), IniGetInt("Network", "Port", 0, file),
                      IniGetString("Network", "Passwd", file, "")),
            std::make_tuple(std::string("radio.example"), 9100, std::string("사용자 암호")));
        EXPECT_EQ(IniGetString("SHOUTcast", "Name", file, ""), "새 방송국");
        EXPECT_EQ(IniGetInt("Network", "ServerType", -1, file), 1);
    }
}
