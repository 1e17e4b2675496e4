#pragma once

#include <array>

class GXConBase;
class GXConButton;
class GXConMarquee;
class GXConSlider;
class GXConStatic;
class GXWindowChild;

// The skin controls the main window drives, found by id in the loaded skin
// and kept only when they have the class the window expects: a control of
// another class under an id counts as absent, and every use tolerates a
// null pointer. Arrays run in id order; the three effect rows are reverb,
// echo and pitch.
struct SMainControls {
    GXConStatic* pBackground = nullptr; // 2000
    GXConButton* pSidePanelButton = nullptr; // 2001
    GXConStatic* pSidePanel = nullptr; // 2002
    GXConSlider* pLevelMeter = nullptr; // 2003, range 0 to 256
    GXConButton* pStartButton = nullptr; // 2004
    std::array<GXConSlider*, 3> effectLevels {}; // 2005-2007
    GXConMarquee* pStatus = nullptr; // 2008
    GXConStatic* pBitrate = nullptr; // 2009, "%dkbps"
    GXConStatic* pRecordingLamp = nullptr; // 2010
    std::array<GXConStatic*, 3> panels {}; // 2011-2013
    GXConButton* pCopyAddress = nullptr; // 2014, shows the station name
    GXConStatic* pChannels = nullptr; // 2016, "MONO" / "STEREO"
    GXConStatic* pListeners = nullptr; // 2017, "%d/%d"
    std::array<GXConButton*, 3> tabs {}; // 2018-2020
    std::array<GXConSlider*, 4> volumes {}; // 2021-2024: volumes and fade time
    GXConButton* pLineInFade = nullptr; // 2025
    GXConButton* pAutoTitle = nullptr; // 2027
    GXConButton* pSendTitle = nullptr; // 2029
    std::array<GXConButton*, 3> effectResets {}; // 2030-2032
    GXConButton* pMinimise = nullptr; // 2033
    GXConButton* pClose = nullptr; // 2034
    std::array<GXConButton*, 3> effectToggles {}; // 2035-2037
    GXConButton* pTalkLock = nullptr; // 2038
    GXConButton* pRecord = nullptr; // 2039
    GXConButton* pTalk = nullptr; // 2040, push-to-talk area
    GXWindowChild* pMiniBrowser = nullptr; // 2041
    GXConBase* pBrowser = nullptr; // 2042, inside the mini browser
    std::array<GXConStatic*, 3> elapsed {}; // 10343-10345: hours, minutes, seconds
};
