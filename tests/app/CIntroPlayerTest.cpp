#include "app/CIntroPlayer.h"

#include "support/TempHome.h"
#include "support/ToneMp3.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

// The player on the real ALSA layer: the default device is a file plugin
// over the null device, so the decoded sound lands in a raw file.
TEST(CIntroPlayer, PlaysATuneThroughAlsaToTheEnd)
{
    TempHome home;
    const std::string tune = home.Path("Intro.mp3");
    const std::string raw = home.Path("played.raw");
    ASSERT_TRUE(WriteToneMp3(tune));
    const std::string config = home.Path("asound.conf");
    std::ofstream(config) << "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" << raw
                          << "\"\n format \"raw\"\n}\n";
    home.Set("ALSA_CONFIG_PATH", config);

    CIntroPlayer player;
    EXPECT_FALSE(player.Play()); // nothing open
    EXPECT_FALSE(player.Open(home.Path("missing.mp3")));
    ASSERT_TRUE(player.Open(tune));
    ASSERT_TRUE(player.Play());
    QElapsedTimer timer;
    timer.start();
    while (player.Status() == "playing" && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(player.Status(), "stopped");
    player.Close();

    // 16-bit stereo: at least the second of tone, and not silence.
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GE(bytes.size(), size_t(44100) * 4);
    EXPECT_TRUE(std::any_of(bytes.begin(), bytes.end(), [](char c) { return c != 0; }));
}
