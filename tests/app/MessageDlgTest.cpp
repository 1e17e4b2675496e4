#include "app/MessageDlg.h"
#include "app/GMessageBox.h"

#include "fakes/FakeClock.h"
#include "support/MessageDlgRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

namespace {

// Runs the event loop until the condition holds; false after ten seconds.
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

QPushButton* Button(QWidget& box, int n)
{
    return box.findChild<QPushButton*>(QString("BTN%1").arg(n));
}

QStringList VisibleCaptions(QWidget& box)
{
    QStringList captions;
    for (int n = 1; n <= 3; ++n)
        if (!Button(box, n)->isHidden())
            captions << Button(box, n)->text();
    return captions;
}

void PressEscape(QWidget& box)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&box, &press);
}

GMessageBox* FindBox(platform::TargetHandle handle)
{
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        if (auto* pBox = dynamic_cast<GMessageBox*>(pWidget); pBox && pBox->Handle() == handle)
            return pBox;
    return nullptr;
}

// The test's folder for files a person looks at afterwards.
QString ArtifactsFolder()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString folder = QString(TAVDJ_BINARY_DIR "/test-artifacts/%1.%2").arg(info->test_suite_name(), info->name());
    QDir().mkpath(folder);
    return folder;
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea)); }
    void TearDown() override { QLocale::setDefault(m_locale); }

    // Shows a modal box and lets drive act on it from inside its loop;
    // returns MessageDlg's answer. A box drive leaves open is ended with
    // 0 after ten seconds, which fails the test instead of hanging it.
    int RunModal(const std::function<void(GMessageBox&)>& drive, const std::string& text, int type, int flags = 0,
        const MessageDlgExtras& extras = {})
    {
        QTimer::singleShot(0, [drive] {
            auto* pBox = dynamic_cast<GMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(pBox, nullptr);
            QPointer<GMessageBox> guard(pBox);
            QTimer::singleShot(10000, pBox, [guard] {
                if (guard)
                    guard->done(0);
            });
            drive(*pBox);
        });
        return MessageDlg(nullptr, text, "TavDJ", type, flags, extras);
    }

private:
    QLocale m_locale;
};

} // namespace

TEST_F(MessageBoxTest, EachButtonSetAnswersAndIsDrawn)
{
    struct Case {
        const char* name;
        int type;
        int flags;
        QStringList captions;
        int press; // button 1 to 3, 0 for Escape
        int answer;
    };
    const Case cases[] = {
        { "ok", kMbOk, 0, { "확인" }, 0, kIdOk },
        { "okcancel", kMbOkCancel, 0, { "확인", "취소" }, 0, kIdCancel },
        { "okcancel-ok", kMbOkCancel, 0, { "확인", "취소" }, 1, kIdOk },
        { "yesno", kMbYesNo, kMdIconTop, { "예(&Y)", "아니요(&N)" }, 0, kIdNo },
        { "yesno-yes", kMbYesNo, 0, { "예(&Y)", "아니요(&N)" }, 1, kIdYes },
        { "yesnocancel", kMbYesNoCancel, 0, { "예(&Y)", "아니요(&N)", "취소" }, 2, kIdNo },
        { "yesnocancel-esc", kMbYesNoCancel, 0, { "예(&Y)", "아니요(&N)", "취소" }, 0, kIdCancel },
        { "custom", kMbYesNoCancel, kMdCustomCaptions, { "보내기", "", "닫기" }, 3, kIdCancel },
        // Sets without answers of their own report the button.
        { "custom-noset", 2, kMdCustomCaptions, {}, 0, kIdCancel },
    };
    const QString folder = ArtifactsFolder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageDlgExtras extras;
        extras.captions = "보내기,,닫기";
        const int answer = RunModal(
            [&](GMessageBox& box) {
                EXPECT_EQ(VisibleCaptions(box), c.captions);
                // The screenshot shows the title of the box in front.
                box.activateWindow();
                EXPECT_TRUE(WaitUntil([&] { return box.isActiveWindow(); }));
                EXPECT_TRUE(box.grab().save(folder + "/" + c.name + ".png"));
                if (c.press == 0)
                    PressEscape(box);
                else
                    Button(box, c.press)->click();
            },
            "방송을 시작할까요?\n연결 상태: 좋음 (128kbps)", c.type, c.flags, extras);
        EXPECT_EQ(answer, c.answer);
    }
}

TEST_F(MessageBoxTest, CheckBoxReportsToTheCaller)
{
    int checked = -1;
    MessageDlgExtras extras;
    extras.checkText = "다시 묻지 않기";
    extras.pCheckResult = &checked;
    const int answer = RunModal(
        [&](GMessageBox& box) {
            auto* pCheck = box.findChild<QCheckBox*>("check");
            EXPECT_TRUE(pCheck->isVisible());
            EXPECT_TRUE(pCheck->isChecked());
            EXPECT_EQ(checked, 1);
            pCheck->click();
            EXPECT_EQ(checked, 0);
            Button(box, 1)->click();
        },
        "저장할까요?", kMbYesNo, kMdCheckSet, extras);
    EXPECT_EQ(answer, kIdYes);
    EXPECT_EQ(checked, 0);
}

TEST_F(MessageBoxTest, LayoutGrowsWithTheText)
{
    struct Case {
        std::string text;
        int flags;
        int lines;
    };
    const Case cases[] = {
        { "한 줄", 0, 1 },
        { "첫째 줄\n둘째 줄\n셋째 줄", 0, 3 },
        { "첫째 줄\n둘째 줄\n셋째 줄", kMdIconTop, 3 },
        { "버튼 없음", kMdNoButtons, 1 },
        { std::string(120, 'W'), 0, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MessageDlgRequest request;
        request.text = c.text;
        request.type = kMbYesNo;
        request.flags = c.flags;
        GMessageBox box(nullptr, request);
        const QFontMetrics fm(box.font());
        const int textHeight = c.lines * fm.height();
        const int h = std::max(textHeight, 32);
        const int w = std::max(230, fm.horizontalAdvance(QString::fromStdString(c.text).split('\n').first()) + 70);
        const bool noButtons = c.flags & kMdNoButtons;
        EXPECT_EQ(box.size(), QSize(w + 20, h + (noButtons ? 85 : 110)));
        EXPECT_EQ(
            box.findChild<QLabel*>("text")->geometry(), QRect(59, 30 + (h + 40 - textHeight) / 2, w - 62, textHeight));
        const int iconY = ((c.flags & kMdIconTop) && textHeight > 32) ? 50 : 30 + (h + 8) / 2;
        EXPECT_EQ(box.findChild<QLabel*>("icon")->geometry(), QRect(17, iconY, 32, 32));
        EXPECT_EQ(box.TitleRect(), QRect(5, 5, w + 5, 20));
        // Buttons end at the right, 5 pixels apart, below the frame.
        const QRect yes = Button(box, 1)->geometry();
        const QRect no = Button(box, 2)->geometry();
        EXPECT_EQ(no.right() + 1, w + 2);
        EXPECT_EQ(yes.right() + 1, no.left() - 5);
        EXPECT_EQ(yes.top(), h + 75);
        EXPECT_EQ(VisibleCaptions(box).size(), noButtons ? 0 : 2);
    }
}

TEST_F(MessageBoxTest, EmptyCaptionTitlesTheBoxApp)
{
    const auto title = [](const std::string& caption) {
        MessageDlgRequest request;
        request.caption = caption;
        GMessageBox box(nullptr, request);
        return box.grab(box.TitleRect()).toImage();
    };
    EXPECT_EQ(title(""), title("APP"));
    EXPECT_NE(title(""), title("TavDJ"));
}

TEST_F(MessageBoxTest, DraggedByItsBackground)
{
    MessageDlgRequest request;
    request.text = "끌어서 옮기기";
    GMessageBox box(nullptr, request);
    box.show();
    const QPoint start = box.pos();
    const QPointF grip(120, 60);
    const auto send = [&](QEvent::Type type, QPointF global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, box.mapFromGlobal(global), global, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&box, &event);
    };
    send(QEvent::MouseButtonPress, box.mapToGlobal(grip), Qt::LeftButton);
    send(QEvent::MouseMove, box.mapToGlobal(grip) + QPointF(30, 20), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, box.mapToGlobal(grip), Qt::NoButton);
    EXPECT_EQ(box.pos(), start + QPoint(30, 20));
}

TEST_F(MessageBoxTest, CaptionsFollowTheUserLanguage)
{
    struct Case {
        QLocale::Language language;
        QStringList captions;
    };
    const Case cases[] = {
        { QLocale::Korean, { "예(&Y)", "아니요(&N)", "취소" } },
        { QLocale::Japanese, { "はい", "いいえ", "キャンセル" } },
        { QLocale::English, { "&Yes", "&No", "&Cancel" } },
        { QLocale::German, { "&Yes", "&No", "&Cancel" } },
    };
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale(c.language));
        MessageDlgRequest request;
        request.type = kMbYesNoCancel;
        GMessageBox box(nullptr, request);
        EXPECT_EQ(VisibleCaptions(box), c.captions) << QLocale::languageToString(c.language).toStdString();
    }
}

TEST_F(MessageBoxTest, CountdownPressesTheDefaultButtonAfterItsSeconds)
{
    FakeClock clock;
    MessageDlgExtras extras;
    extras.nSeconds = 5;
    extras.pClock = &clock;
    // The text may come from a server: only the first "%d" is the number.
    const std::string text = "100% 전송 %s %d초 후 닫힘 %d";
    const auto shown = [](int n) { return QString::fromUtf8("100% 전송 %s %1초 후 닫힘 %d").arg(n); };
    std::vector<QString> seen;
    const int answer = RunModal(
        [&](GMessageBox& box) {
            seen.push_back(box.ShownText());
            for (int n = 4; n >= 1; --n) {
                clock.Advance(1000);
                EXPECT_TRUE(WaitUntil([&] { return box.ShownText() == shown(n); }));
                seen.push_back(box.ShownText());
            }
            clock.Advance(1000);
        },
        text, kMbYesNo | kMbDefButton2, kMdCountdown, extras);
    EXPECT_EQ(answer, kIdNo);
    EXPECT_EQ(seen, (std::vector<QString> { shown(5), shown(4), shown(3), shown(2), shown(1) }));
}

TEST_F(MessageBoxTest, BoxWithoutButtonsEndsOnlyByItsCloseMessageOrCountdown)
{
    struct Case {
        const char* name;
        int seconds;
    };
    const QString folder = ArtifactsFolder();
    for (const Case& c : { Case { "close-message", 0 }, Case { "countdown", 3 } }) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        const platform::TargetHandle handle = MessageDlgThreaded(nullptr,
            "서버에 연결할 수 없습니다.\n\n%d초 후 다시 시도합니다.", "TavDJ - 방송서버 접속 실패", c.seconds, &clock);
        QPointer<GMessageBox> box = FindBox(handle);
        ASSERT_TRUE(box);
        int answer = 0;
        QObject::connect(box, &QDialog::finished, [&](int result) { answer = result; });
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal());
        EXPECT_TRUE(VisibleCaptions(*box).isEmpty());
        EXPECT_TRUE(box->grab().save(folder + "/" + c.name + ".png"));

        // The user cannot end it.
        PressEscape(*box);
        box->close();
        if (c.seconds > 0) {
            clock.Advance(c.seconds * 1000 - 1);
            // Let the countdown look at the clock a few times.
            QTimer wait;
            wait.start(20);
            int polls = 0;
            QObject::connect(&wait, &QTimer::timeout, [&] { ++polls; });
            EXPECT_TRUE(WaitUntil([&] { return polls >= 5; }));
        }
        ASSERT_TRUE(box);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(answer, 0);

        if (c.seconds == 0) {
            std::jthread([handle] { EXPECT_TRUE(platform::PostMessage(handle, WmGMessageBoxClose(), 0, 0)); });
        } else {
            clock.Advance(1);
        }
        EXPECT_TRUE(WaitUntil([&] { return box.isNull(); }));
        EXPECT_EQ(answer, kIdOk);
        EXPECT_FALSE(platform::IsTarget(handle));
    }
}

TEST(MessageDlgResponder, RecordsEveryCallAndShowsNothing)
{
    MessageDlgRecorder recorder;
    recorder.QueueAnswers({ kIdNo });
    recorder.SetAnswer(kIdYes);
    QWidget owner;
    int checked = -1;
    MessageDlgExtras extras;
    extras.checkText = "다시 묻지 않기";
    extras.pCheckResult = &checked;
    EXPECT_EQ(MessageDlg(&owner, "종료할까요?", "TavDJ", kMbYesNo, kMdIconTop | kMdCheckClear, extras), kIdNo);
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(MessageDlg(nullptr, "두 번째", "", kMbOk), kIdYes);
    const platform::TargetHandle handle = MessageDlgThreaded(&owner, "재시도", "TavDJ", 3);
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));

    ASSERT_EQ(recorder.Calls().size(), 3u);
    const MessageDlgRequest& first = recorder.Calls()[0];
    EXPECT_EQ(first.pOwner, &owner);
    EXPECT_EQ(first.text, "종료할까요?");
    EXPECT_EQ(first.caption, "TavDJ");
    EXPECT_EQ(first.type, kMbYesNo);
    EXPECT_EQ(first.flags, kMdIconTop | kMdCheckClear);
    EXPECT_EQ(first.extras.checkText, "다시 묻지 않기");
    const MessageDlgRequest& threaded = recorder.Last();
    EXPECT_TRUE(threaded.bThreaded);
    EXPECT_EQ(threaded.flags, kMdNoButtons | kMdCountdown);
    EXPECT_EQ(threaded.extras.nSeconds, 3);

    EXPECT_FALSE(recorder.Closed(0));
    EXPECT_TRUE(platform::PostMessage(handle, WmGMessageBoxClose(), 0, 0));
    EXPECT_TRUE(recorder.Closed(0));
}
