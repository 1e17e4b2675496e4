#include "app/CSettingDlg.h"

#include "app/CAboutDlg.h"
#include "app/CExternalReachability.h"
#include "app/CKeptClientSettings.h"
#include "app/COption.h"
#include "app/CSetBroadCastDlg.h"
#include "app/CSetSoundQualityDlg.h"
#include "app/CSettingDlgHost.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/CSysSoundOff2.h"
#include "foundation/AppRegistry.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"

#include "fakes/FakeMixer.h"
#include "fakes/FakeWaveIn.h"
#include "fakes/FakeWaveOut.h"
#include "support/EditSettings.h"
#include "support/MessageDlgRecorder.h"
#include "support/TempHome.h"
#include "support/ToneMp3.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace platform::mixer;

bool WaitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class FakeSettingHost final : public CSettingDlgHost {
public:
    void ReinitEngine() override { ++reinits; }
    Reachability TestReachability() override
    {
        ++tests;
        testCaptionDuring = pTest ? pTest->text().toStdString() : "";
        return answer;
    }
    CKeptClientSettings& KeptClientSettings() override { return *pKept; }

    std::unique_ptr<CKeptClientSettings> pKept;
    int reinits = 0;
    int tests = 0;
    Reachability answer = Reachability::Reachable;
    QPushButton* pTest = nullptr;
    std::string testCaptionDuring;
};

// The settings dialog on a scripted sound card, a counting playback device
// and a stand-in main window; boxes are answered by the recorder.
class SettingDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeMixerCard& card = m_mixer.AddCard("Scripted Card");
        const int rec = card.AddDestination(kDstWaveIn, "Recording", 2);
        card.AddControl(rec, -1, kCtlVolume, 1000, false);
        for (const char* name : { "Mic", "Line In", "Stereo Mix" }) {
            const int s = card.AddSource(rec, kSrcMicrophone, name, 2);
            card.AddControl(rec, s, kCtlVolume, 1000, false);
        }
        m_option = std::make_unique<COption>(m_home.Path("SETTING.ini"));
        DJDataManSystems systems;
        systems.pMixer = &m_mixer;
        systems.pWaveIn = &m_waveIn;
        m_dj = std::make_unique<CDJDataMan>(m_home.Path("SETTING.ini"), systems);
        m_host.pKept = std::make_unique<CKeptClientSettings>(*m_dj);
    }

    void TearDown() override
    {
        m_dlg.reset();
        m_host.pKept.reset();
        m_dj.reset();
        RestoreSystemSounds();
    }

    // A fresh dialog, shown as the main window opens it.
    CSettingDlg& Open(int page = CSettingDlg::kBroadcastPage, bool editable = true)
    {
        m_dlg.reset();
        m_dlg = std::make_unique<CSettingDlg>(*m_option, *m_dj, &m_host, m_output);
        m_dlg->SetStartPage(page);
        m_dlg->SetEditable(editable);
        m_dlg->show();
        m_host.pTest = Get<QPushButton>("1066");
        return *m_dlg;
    }

    template <typename T = QWidget> T* Get(const char* id)
    {
        T* pWidget = m_dlg->findChild<T*>(id);
        EXPECT_NE(pWidget, nullptr) << id;
        return pWidget;
    }
    void Type(const char* id, const QString& text) { Get<QLineEdit>(id)->setText(text); }
    std::string Stored(const char* section, const char* key)
    {
        return IniGetString(section, key, m_home.Path("SETTING.ini"), "(none)");
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& call : m_messages.Calls())
            texts.push_back(call.text);
        return texts;
    }

    TempHome m_home;
    FakeMixerSystem m_mixer;
    FakeWaveInBackend m_waveIn;
    FakeWaveOutBackend m_output;
    FakeSettingHost m_host;
    MessageDlgRecorder m_messages;
    std::unique_ptr<COption> m_option;
    std::unique_ptr<CDJDataMan> m_dj;
    std::unique_ptr<CSettingDlg> m_dlg;
};

TEST_F(SettingDlgTest, ConfirmTrimsChecksAndSavesTheStationFields)
{
    struct Row {
        const char* listenUrl;
        const char* homepage;
        const char* name;
        bool accepted;
        const char* storedListenUrl;
        const char* storedHomepage;
        const char* storedName;
    };
    const Row rows[] = {
        { " HTTP://a/b.PLS ", "x.exe.bin", "", true, "HTTP://a/b.PLS", "x", "TavDJ 방송국" },
        { "", "http://h/x.EXE", "우리 방송", true, "", "http://h/x", "우리 방송" },
        { "http://a/b.m3u", "http://h", "우리 방송", false, "", "http://h/x", "우리 방송" },
        { "ftp://a/b.pls", "http://h", "우리 방송", false, "", "http://h/x", "우리 방송" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listenUrl);
        const size_t before = m_messages.Calls().size();
        Open(CSettingDlg::kSoundPage);
        Get<QRadioButton>("1053")->click();
        Type("1028", "  stream.example  ");
        Type("1004", " secret ");
        Type("1007", row.listenUrl);
        Type("1006", row.homepage);
        Type("1005", row.name);
        Get<QPushButton>("1051")->click();

        EXPECT_EQ(!m_dlg->isVisible(), row.accepted);
        EXPECT_EQ(Stored("SHOUTcast", "ListenUrl"), row.storedListenUrl);
        EXPECT_EQ(Stored("SHOUTcast", "Url"), row.storedHomepage);
        EXPECT_EQ(Stored("SHOUTcast", "Name"), row.storedName);
        EXPECT_EQ(Get<QLineEdit>("1005")->text().toStdString(), row.name[0] ? row.name : "TavDJ 방송국");
        EXPECT_EQ(Get<QLineEdit>("1028")->text(), "stream.example");
        if (row.accepted) {
            EXPECT_EQ(m_messages.Calls().size(), before);
            EXPECT_EQ(Stored("Network", "Address"), "stream.example");
            EXPECT_EQ(Stored("Network", "Passwd"), "secret");
            EXPECT_EQ(m_option->m_strNationalAddress, "stream.example");
            EXPECT_EQ(m_option->m_nLocalServ, 0);
            continue;
        }
        ASSERT_EQ(m_messages.Calls().size(), before + 1);
        EXPECT_EQ(m_messages.Last().text, "방송주소가 잘못 되었습니다.");
        EXPECT_EQ(m_messages.Last().caption, "TavDJ");
        EXPECT_EQ(Get<QTabWidget>("1000")->currentIndex(), CSettingDlg::kBroadcastPage);
        EXPECT_EQ(m_dlg->focusWidget(), Get("1007"));
        // Closing the window applies the same way and closes all the same.
        m_dlg->reject();
        EXPECT_FALSE(m_dlg->isVisible());
    }
}

TEST_F(SettingDlgTest, ListenerLimitOutsideOneToHundredIsPutBackToFifty)
{
    Open();
    QLineEdit* pAudience = Get<QLineEdit>("1054");
    for (const char* text : { "0", "101", "", "100", "1" }) {
        SCOPED_TRACE(text);
        const size_t before = m_messages.Calls().size();
        pAudience->setText(text);
        const bool valid = QString(text).toInt() >= 1 && QString(text).toInt() <= 100;
        EXPECT_EQ(pAudience->text(), valid ? QString(text) : QString("50"));
        EXPECT_EQ(m_messages.Calls().size(), before + (valid ? 0 : 1));
        if (!valid) {
            EXPECT_EQ(m_messages.Last().text, "최대 접속자 수를 확인하세요.");
            EXPECT_EQ(pAudience->selectedText(), "50");
        }
    }
    Get<QPushButton>("1051")->click();
    EXPECT_EQ(m_option->m_nAudience, 1);
}

TEST_F(SettingDlgTest, OnAirLocksTheStationAndServerButNotTheListenerLimit)
{
    for (bool editable : { true, false }) {
        SCOPED_TRACE(editable);
        Open(CSettingDlg::kBroadcastPage, editable);
        for (const char* id : { "1052", "1053", "1029", "1005", "1070", "1006", "1007", "1063", "1066", "1065" })
            EXPECT_EQ(Get(id)->isEnabled(), editable) << id;
        EXPECT_TRUE(Get("1054")->isEnabled());
        EXPECT_EQ(Get<QLineEdit>("1005")->maxLength(), editable ? CSetBroadCastDlg::kMaxText : 32767);
    }
}

TEST_F(SettingDlgTest, TypingPastTheLimitIsRefusedWithAMessage)
{
    Open();
    QLineEdit* pName = Get<QLineEdit>("1005");
    pName->setText(QString(CSetBroadCastDlg::kMaxText - 1, 'a'));
    pName->setCursorPosition(0);
    // A key that still fits, then a syllable committed by the input method.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
    QApplication::sendEvent(pName, &press);
    EXPECT_TRUE(m_messages.Calls().empty());
    QInputMethodEvent compose;
    compose.setCommitString(QStringLiteral("방"));
    QApplication::sendEvent(pName, &compose);
    EXPECT_EQ(pName->text().size(), CSetBroadCastDlg::kMaxText);
    EXPECT_EQ(Texts(), std::vector<std::string> { "문자열의 길이가 범위를 초과하였습니다." });
    EXPECT_EQ(pName->cursorPosition(), CSetBroadCastDlg::kMaxText);
}

TEST_F(SettingDlgTest, IcecastServerTakesAMountAndUserAndRefusesAnEmptyMount)
{
    struct Row {
        int type; // the 1072 row
        const char* mount;
        const char* user;
        bool accepted;
        const char* storedType; // "(none)": nothing saved
        const char* storedMount;
        const char* storedUser;
        const char* refusal = nullptr; // the box, and the field given the focus
        const char* focus = nullptr;
    };
    const Row rows[] = {
        { 1, "radio", " dj ", true, "1", "/radio", "dj" },
        { 1, "  ", "dj", false, "(none)", "(none)", "(none)", CSetBroadCastDlg::kNoMountText, "1073" },
        { 1, "/a b", "", true, "1", "/a b", "source" },
        // Basic credentials cannot carry a ':' in the user name.
        { 1, "radio", "dj:1", false, "(none)", "(none)", "(none)", CSetBroadCastDlg::kColonUserText, "1074" },
        // For SHOUTcast the mount means nothing: an empty one is not saved,
        // nor a user name that could never log in.
        { 0, "", "dj", true, "0", "/live", "dj" },
        { 0, "", "a:b", true, "0", "/live", "source" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.mount) + " / " + row.user);
        std::remove(m_home.Path("SETTING.ini").c_str());
        m_dj->ResetSettings();
        const size_t before = m_messages.Calls().size();
        Open(CSettingDlg::kSoundPage);
        Get<QRadioButton>("1053")->click();
        Get<QComboBox>("1072")->setCurrentIndex(row.type);
        for (const char* id : { "1073", "1074" })
            EXPECT_EQ(Get(id)->isEnabled(), row.type == 1) << id;
        Type("1073", row.mount);
        Type("1074", row.user);
        Get<QPushButton>("1051")->click();

        EXPECT_EQ(!m_dlg->isVisible(), row.accepted);
        EXPECT_EQ(Stored("Network", "ServerType"), row.storedType);
        EXPECT_EQ(Stored("Network", "Mount"), row.storedMount);
        EXPECT_EQ(Stored("Network", "User"), row.storedUser);
        if (row.accepted) {
            EXPECT_EQ(m_messages.Calls().size(), before);
            continue;
        }
        EXPECT_EQ(Texts().back(), row.refusal);
        EXPECT_EQ(Get<QTabWidget>("1000")->currentIndex(), CSettingDlg::kBroadcastPage);
        EXPECT_EQ(m_dlg->focusWidget(), Get(row.focus));
        // What was refused is not kept in memory either.
        if (row.refusal == CSetBroadCastDlg::kNoMountText)
            EXPECT_EQ(m_dj->Settings().m_strMount, "/live");
        else
            EXPECT_EQ(m_dj->Settings().m_strUser, "source");
        m_dlg->reject();
    }

    // Own-server mode and a locked page leave the whole choice alone.
    Open();
    Get<QComboBox>("1072")->setCurrentIndex(1);
    Get<QRadioButton>("1052")->click();
    for (const char* id : { "1072", "1073", "1074" })
        EXPECT_FALSE(Get(id)->isEnabled()) << id;
    Open(CSettingDlg::kBroadcastPage, false);
    for (const char* id : { "1072", "1073", "1074" })
        EXPECT_FALSE(Get(id)->isEnabled()) << id;
}

TEST_F(SettingDlgTest, ServerTestReportsEachOutcomeAndRestoresTheButton)
{
    const std::string success = "테스트에 성공하였습니다. \n\n외부에서 이 서버로의 연결이 가능합니다.";
    const std::string failure = "방화벽, 혹은 공유기 등 네트워크 환경으로 인해\n\n외부에서 이 서버로의 연결이 "
                                "불가능합니다.\n\n외부 청취자 접속을 원하시면 네트워크 환경을\n\n수정하거나, "
                                "외부서버를 이용하시기 바랍니다.";
    const std::string noPort = "8000~8100사이에 이용 가능한 포트가 없어\r\n\"내 컴퓨터 방송\"을 진행할 수 없습니다.";
    using R = CSettingDlgHost::Reachability;
    const std::pair<R, std::vector<std::string>> rows[]
        = { { R::Reachable, { success } }, { R::Unreachable, { failure } }, { R::NoFreePort, { noPort, failure } },
              // Without a test service nothing was tested: neither outcome is told.
              { R::Skipped, { CExternalReachability::kSkippedText } } };
    Open();
    for (const auto& [answer, texts] : rows) {
        const size_t before = m_messages.Calls().size();
        m_host.answer = answer;
        Get<QPushButton>("1066")->click();
        EXPECT_EQ(m_host.testCaptionDuring, "테스트중...");
        const std::vector<std::string> shown = Texts();
        EXPECT_EQ(std::vector<std::string>(shown.begin() + long(before), shown.end()), texts);
        EXPECT_EQ(m_messages.Last().flags, kMdIconTop);
        EXPECT_EQ(Get<QPushButton>("1066")->text(), "서버테스트");
        EXPECT_TRUE(Get("1066")->isEnabled());
    }
}

TEST_F(SettingDlgTest, ResetSavesTheDefaultsAndTheMainWindowSetsUpAgain)
{
    m_option->m_nAudience = 7;
    m_option->m_nLocalServ = 0;
    Open();
    Type("1005", "다른 방송");
    Get<QPushButton>("1051")->click();
    ASSERT_EQ(Stored("SHOUTcast", "Name"), "다른 방송");

    Open();
    Get<QPushButton>("1065")->click();
    EXPECT_EQ(Stored("SHOUTcast", "Name"), "TavDJ 방송국");
    EXPECT_EQ(Stored("SystemSoundOff", "SystemSoundOff"), "1");
    EXPECT_EQ(m_option->m_nAudience, 50);
    EXPECT_EQ(m_host.reinits, 1);
    EXPECT_TRUE(m_dlg->IsResetDone());
    EXPECT_EQ(Get<QLineEdit>("1005")->text(), "TavDJ 방송국");
    EXPECT_EQ(Get<QLineEdit>("1054")->text(), "50");
    EXPECT_TRUE(Get<QRadioButton>("1052")->isChecked());
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(SettingDlgTest, SoundPageChoosesTheStereoMixAndMutesSystemSoundsAtOnce)
{
    platform::Registry registry = GetAppRegistry();
    const std::string mail = std::string(CSysSoundOff2::kEventSoundsKey) + "\\.Default\\MailBeep\\.Current";
    ASSERT_TRUE(
        registry.SetValue(platform::RegRoot::CurrentUser, mail, "", { platform::RegType::String, "mail.wav", 0 }));
    const auto sound = [&] {
        platform::RegValue value;
        return registry.GetValue(platform::RegRoot::CurrentUser, mail, "", &value) ? value.text : "(none)";
    };
    m_dj->ResetSettings(); // no source chosen yet, sounds muted
    RestoreSystemSounds();
    ASSERT_EQ(m_dj->Settings().m_nSource, -1);

    Open(CSettingDlg::kSoundPage);
    EXPECT_EQ(Get<QTabWidget>("1000")->currentIndex(), CSettingDlg::kSoundPage);
    EXPECT_EQ(Get<QComboBox>("1008")->currentText(), "Scripted Card");
    EXPECT_EQ(Get<QComboBox>("1011")->currentText(), "Stereo Mix");
    EXPECT_EQ(m_dj->Settings().m_nSource, Get<QComboBox>("1011")->currentIndex());
    EXPECT_EQ(Get<QComboBox>("1012")->itemText(0), "고음질 코덱");
    EXPECT_EQ(Get<QComboBox>("1013")->currentText(), "128kbps, 44100Hz, STEREO");

    QCheckBox* pMute = Get<QCheckBox>("1015");
    ASSERT_TRUE(pMute->isChecked());
    for (bool on : { false, true, false }) {
        pMute->click();
        EXPECT_EQ(sound(), on ? "" : "mail.wav");
        EXPECT_EQ(m_dj->Settings().m_nSystemSoundOff, on ? 1 : 0);
    }

    // The request board follows the directory registration.
    Get<QCheckBox>("1067")->click();
    EXPECT_FALSE(Get("1068")->isEnabled());
    Get<QPushButton>("1051")->click();
    EXPECT_EQ(Stored("AddYP", "AddYP"), "0");
    EXPECT_EQ(Stored("SystemSoundOff", "SystemSoundOff"), "0");
}

// The sound page opened again after the card went away (unplugged, its
// driver gone) shows none of the card's lines.
TEST_F(SettingDlgTest, SoundPageOpenedAgainWithoutTheCardShowsNoLines)
{
    Open(CSettingDlg::kSoundPage);
    ASSERT_EQ(Get<QComboBox>("1011")->currentText(), "Stereo Mix");
    Get<QPushButton>("1051")->click();

    m_mixer.cards.clear();
    Open(CSettingDlg::kSoundPage);
    for (const char* id : { "1010", "1011" }) {
        EXPECT_EQ(Get<QComboBox>(id)->count(), 0) << id;
        EXPECT_FALSE(Get(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(Get("1008")->isEnabled());
    EXPECT_EQ(m_dj->Settings().m_nDevice, 0);
}

TEST_F(SettingDlgTest, IntroPageButtonNeedsTheMakersSite)
{
    const std::string file = JoinPath(GetAppDataFolder(), "SETTING.ini");
    for (const char* root : { "", "http://site.example/" }) {
        SCOPED_TRACE(root);
        ASSERT_TRUE(IniWriteString("Network", "SiteRoot", root, file));
        Open();
        EXPECT_EQ(Get("1064.IntroPage")->isEnabled(), root[0] != 0);
        EXPECT_EQ(CAboutDlg::IntroPageUrl().empty(), root[0] == 0);
    }
}

// The folder button asks with the folder picker's own title, starting in
// the recording folder, and takes the folder chosen.
TEST_F(SettingDlgTest, FolderButtonAsksWhereRecordingsAreSaved)
{
    const QString start = QString::fromStdString(m_home.Path("docs"));
    const QString chosen = QString::fromStdString(m_home.Path("tmp"));
    EditSettings(*m_dj, [&](DJSettings& s) { s.m_strPath = start.toStdString(); });
    Open(CSettingDlg::kSoundPage);
    QString title;
    QString shownFolder;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* pPicker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!pPicker || !pPicker->isVisible())
            return;
        answer.stop();
        title = pPicker->windowTitle();
        shownFolder = pPicker->directory().absolutePath();
        // Typed as a person types a folder's name: selecting it in the list
        // depends on the picker's model having read the folder by then.
        auto* pName = pPicker->findChild<QLineEdit*>("fileNameEdit");
        if (pName)
            pName->setText(chosen);
        else
            pPicker->selectFile(chosen);
        static_cast<QDialog*>(pPicker)->accept();
    });
    answer.start(10);
    Get<QPushButton>("1009")->click();
    EXPECT_EQ(title.toStdString(), kBrowseForFolderTitle);
    EXPECT_EQ(shownFolder, QDir(start).absolutePath());
    EXPECT_EQ(QDir(Get<QLineEdit>("1002")->text()).absolutePath(), QDir(chosen).absolutePath());
    EXPECT_EQ(QDir(QString::fromStdString(m_dj->Settings().m_strPath)).absolutePath(), QDir(chosen).absolutePath());
}

TEST_F(SettingDlgTest, IntroPreviewPlaysAndStops)
{
    const std::string tune = m_home.Path("program") + "/Intro.mp3";
    ASSERT_TRUE(WriteToneMp3(tune));
    m_option->m_nLocalServ = 1;
    m_option->m_nUseIntroSound = 1;
    m_option->m_strIntroSound = tune;
    Open();
    auto* pPlay = m_dlg->BroadcastPage().findChild<QPushButton*>("1064");
    ASSERT_TRUE(pPlay && pPlay->isEnabled());
    CIntroPlayer& player = m_dlg->BroadcastPage().IntroPlayer();

    // Stopped by the button in the middle of the tune.
    m_output.Hold(true);
    pPlay->click();
    EXPECT_EQ(pPlay->text(), "■");
    ASSERT_TRUE(m_output.WaitForFrames(1, std::chrono::seconds(10)));
    EXPECT_EQ(player.Status(), "playing");
    EXPECT_EQ(m_output.Format().rate, 44100);
    EXPECT_EQ(m_output.Format().channels, 2);
    pPlay->click();
    EXPECT_EQ(pPlay->text(), "▶");
    EXPECT_EQ(player.Status(), "stopped");

    // Played to the end, the status check turns the button back.
    m_output.Hold(false);
    const long before = m_output.Frames();
    pPlay->click();
    EXPECT_TRUE(WaitUntil([&] { return pPlay->text() == "▶"; }));
    EXPECT_GE(m_output.Frames() - before, 44100);

    // Clearing the intro stops and disables the preview.
    Get<QCheckBox>("1063")->click();
    EXPECT_FALSE(pPlay->isEnabled());
}

TEST_F(SettingDlgTest, BothPagesDrawnForAPerson)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString folder = QString(TAVDJ_BINARY_DIR "/test-artifacts/%1.%2").arg(info->test_suite_name(), info->name());
    QDir().mkpath(folder);
    Open();
    for (int page : { CSettingDlg::kBroadcastPage, CSettingDlg::kSoundPage }) {
        Get<QTabWidget>("1000")->setCurrentIndex(page);
        QCoreApplication::processEvents();
        const QString file = QString("%1/page%2.png").arg(folder).arg(page);
        EXPECT_TRUE(m_dlg->grab().save(file)) << file.toStdString();
    }
}

} // namespace
