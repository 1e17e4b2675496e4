// The toolkit's own floor for bench_program: the smallest Qt Widgets program
// that shows what TavDJ's first window shows, a 760x320 window with one
// Korean label, and nothing else. Whatever TavDJ takes beyond this program
// to show its window is the program's own.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Qt floor"));
    window.setFixedSize(760, 320);
    auto* pLayout = new QVBoxLayout(&window);
    pLayout->addWidget(new QLabel(QStringLiteral("방송 준비 완료")), 0, Qt::AlignCenter);
    window.show();
    return QApplication::exec();
}
