#pragma once

// A controller on a scripted mixer and capture device, the test's thread
// playing the main window that records its log lines.

#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"

#include "fakes/FakeMainWindow.h"
#include "fakes/FakeMediaPlayerBus.h"
#include "fakes/FakeMixer.h"
#include "fakes/FakeWaveIn.h"
#include "fakes/FakeWindowFinder.h"
#include "support/EditSettings.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

class DJDataManFixture : public ::testing::Test {
protected:
    // Once the test has put its cards into m_mixer.
    void CreateController()
    {
        m_window.RecordTextOf(CDJDataMan::WmWriteLog());
        m_window.SetHandler([this](platform::MessageId msg, platform::WParam wParam, platform::LParam) {
            if (m_dj)
                m_dj->OnPumpMessage(msg, wParam);
            return platform::LParam(0);
        });
        DJDataManSystems systems;
        systems.pWaveIn = &m_waveIn;
        systems.pMixer = &m_mixer;
        systems.pClock = m_pClock;
        systems.pWindows = &m_windows;
        systems.pPlayers = &m_players;
        m_dj = std::make_unique<CDJDataMan>(m_home.Path("SETTING.ini"), systems);
    }

    void TearDown() override
    {
        m_dj.reset();
        RestoreSystemSounds();
    }

    bool Logged(const std::string& line) const
    {
        const auto& texts = m_window.Texts();
        return std::find(texts.begin(), texts.end(), line) != texts.end();
    }

    TempHome m_home;
    FakeMixerSystem m_mixer;
    FakeWaveInBackend m_waveIn;
    FakeMainWindow m_window;
    // The desktop's players: no window and no bus player unless a test
    // shows one.
    FakeWindowFinder m_windows;
    FakeMediaPlayerBus m_players;
    // Set before CreateController to run the controller on another clock.
    platform::Clock* m_pClock = nullptr;
    std::unique_ptr<CDJDataMan> m_dj;
};
