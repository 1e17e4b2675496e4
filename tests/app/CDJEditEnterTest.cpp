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
    struct Case {
        const char* name;
        std::vector<uint64_t> gapsMs; // time before each Enter, the first counted from creation
        int reports;
    };
    const Case cases[] = {
        { "500 ms apart", { 1500, 500 }, 1 },
        { "1100 ms apart", { 1500, 1100 }, 2 },
        { "within a second of creation", { 900 }, 0 },
        { "exactly a second", { 1000, 1000, 1 }, 1 },
        { "held key", { 2000, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100 }, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        EnterCounter target;
        CDJEditEnter edit(nullptr, target.Handle(), &clock);
        edit.setText("노래 제목");
        for (uint64_t gap : c.gapsMs) {
            clock.Advance(gap);
            Press(edit, Qt::Key_Return);
        }
        Press(edit, Qt::Key_Escape); // other keys are the field's own
        target.DispatchPending();
        EXPECT_EQ(target.count, c.reports);
        EXPECT_EQ(edit.text(), "노래 제목"); // Enter never edits
    }
}

// The limit counts UTF-8 bytes: what is typed or pasted past it is cut at a
// character, and the caret stays at the end of what was kept.
TEST(CDJEditEnter, LimitCutsInsertionsAtACharacter)
{
    struct Case {
        const char* name;
        QString before;
        int cursor;
        QString inserted;
        QString after;
    };
    const QString a125(125, 'a');
    const Case cases[] = {
        { "fits", a125, 125, "가", a125 + "가" },
        { "one byte over", a125 + "b", 126, "가", a125 + "b" },
        { "paste cut", QString(122, 'a'), 122, "가나다", QString(122, 'a') + "가나" },
        { "pair kept whole", a125, 125, QString::fromUtf8("😀"), a125 },
        { "in the middle", "xy" + QString(120, 'a'), 1, "가나다", "x가나y" + QString(120, 'a') },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EnterCounter target;
        CDJEditEnter edit(nullptr, target.Handle());
        edit.setText(c.before);
        edit.LimitText(CDJEditEnter::kTitleLimitBytes);
        edit.setCursorPosition(c.cursor);
        edit.insert(c.inserted);
        EXPECT_EQ(edit.text(), c.after);
        EXPECT_LE(edit.text().toUtf8().size(), 128);
        EXPECT_EQ(edit.cursorPosition(), c.cursor + edit.text().size() - c.before.size());
    }

    // Typing at the limit adds nothing; text the program sets is not cut.
    CDJEditEnter edit(nullptr, platform::kNoTarget);
    edit.LimitText(4);
    edit.setText("가나");
    Press(edit, Qt::Key_A, "a");
    EXPECT_EQ(edit.text(), "가나");
}
