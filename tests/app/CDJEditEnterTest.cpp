#include "app/CDJEditEnter.h"

#include "fakes/FakeClock.h"

#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

class EnterCounter final : public platform::MessageTarget {
public:
    int count = 0;

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam lParam) override
    {
        count += msg == WmCdjEditEnter() && wParam == 0 && lParam == 0;
        return 0;
    }
};

void Press(QWidget& widget, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(CDJEditEnter, EnterReportsAtMostOnceASecondFromCreation)
{
    const struct {
        const char* name;
        std::vector<uint64_t> gapsMs; // before each Enter, the first from creation
        int reports;
    } cases[] = {
        { "500 ms apart", { 1500, 500 }, 1 },
        { "1100 ms apart", { 1500, 1100 }, 2 },
        { "within a second of creation", { 900 }, 0 },
        { "exactly a second", { 1000, 1000, 1 }, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        EnterCounter target;
        CDJEditEnter edit(nullptr, target.Handle(), &clock);
        edit.setText("노래 제목");
        for (uint64_t gap : c.gapsMs) {
            clock.Advance(gap);
            Press(edit, Qt::Key_Return);
        }
        target.DispatchPending();
        EXPECT_EQ(target.count, c.reports);
        EXPECT_EQ(edit.text(), "노래 제목");
    }
}

// What is typed or pasted past the byte limit is cut at a character; the
// caret stays at the end of what was kept.
TEST(CDJEditEnter, LimitCutsInsertionsAtACharacter)
{
    const QString a125(125, 'a');
    const struct {
        QString before;
        int cursor;
        QString inserted;
        QString after;
    } cases[] = {
        { a125, 125, "가", a125 + "가" },
        { a125 + "b", 126, "가", a125 + "b" },
        { QString(122, 'a'), 122, "가나다", QString(122, 'a') + "가나" },
        { a125, 125, QString::fromUtf8("😀"), a125 },
        { "xy" + QString(120, 'a'), 1, "가나다", "x가나y" + QString(120, 'a') },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after.toStdString());
        CDJEditEnter edit(nullptr, platform::kNoTarget);
        edit.setText(c.before);
        edit.LimitText(CDJEditEnter::kTitleLimitBytes);
        edit.setCursorPosition(c.cursor);
        edit.insert(c.inserted);
        EXPECT_EQ(edit.text(), c.after);
        EXPECT_EQ(edit.cursorPosition(), c.cursor + edit.text().size() - c.before.size());
    }
    CDJEditEnter edit(nullptr, platform::kNoTarget);
    edit.LimitText(4);
    edit.setText("가나"); // the program's text is not cut
    Press(edit, Qt::Key_A, "a");
    EXPECT_EQ(edit.text(), "가나");
}
