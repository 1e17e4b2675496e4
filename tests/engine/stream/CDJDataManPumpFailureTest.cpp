// The controller on the air when its capture device goes away, and with a
// stored preset row that is not in the table: scripted capture, mixer and
// SHOUTcast server, the test's thread playing the main window.
#include "engine/stream/DJDataManFixture.h"

#include "fakes/FakeShoutcastServer.h"

namespace {

using namespace platform::mixer;

class DJDataManOnAir : public DJDataManFixture {
protected:
    void SetUp() override
    {
        FakeMixerCard& card = m_mixer.AddCard("Scripted Card");
        card.AddDestination(kDstSpeakers, "Speakers", 2);
        card.AddSource(0, kSrcWaveOut, "Wave", 2);
        card.AddControl(0, 0, kCtlVolume, 65536, false);
        CreateController();
        ASSERT_TRUE(m_server.Start());
        ASSERT_EQ(m_dj->Init("녹음", m_window.Handle()), 1);
        EditSettings(*m_dj, [&](DJSettings& s) {
            s.m_strAddress = "127.0.0.1";
            s.m_nPort = m_server.Port();
        });
    }

    FakeShoutcastServer m_server;
};

} // namespace

TEST_F(DJDataManOnAir, CaptureEndingMidBroadcastIsLoggedAndTakesTheStationOffAir)
{
    std::string text;
    int code = 0;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << text;
    ASSERT_TRUE(m_dj->IsOnAir());

    m_waveIn.Vanish();
    ASSERT_TRUE(m_window.RunUntil([&] { return Logged("오디오 입력이 끝났습니다."); }, 5000));
    EXPECT_TRUE(m_window.RunUntil([&] { return !m_dj->IsOnAir() && m_dj->IsConnected() == 0; }, 5000))
        << "still on air with nothing to send";
    EXPECT_EQ(m_window.Count(CDJDataMan::WmErrorInitInput()), 0u);
}

TEST_F(DJDataManOnAir, AStoredRowOutsideThePresetTableBroadcastsTheDefaultRow)
{
    for (int row : { 12, -7 }) {
        SCOPED_TRACE(row);
        EditSettings(*m_dj, [&](DJSettings& s) {
            s.m_nCodecN = 0;
            s.m_nFormatN = row;
        });
        std::string text;
        int code = -9;
        ASSERT_EQ(m_dj->Connect(&text, &code), 1) << text;
        EXPECT_EQ(code, 0);
        EXPECT_EQ(m_dj->GetBitrate(), 128);
        m_dj->Disconnect();
    }
}
