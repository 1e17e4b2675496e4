// The offscreen platform draws text with the fonts the set-up installs.
#include <QFontDatabase>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

TEST(QtSetUp, DrawsKoreanTextOffscreen)
{
    EXPECT_TRUE(QFontDatabase::families().contains("NanumGothic"));
    QImage image(64, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(QFont("NanumGothic", 12));
        painter.drawText(image.rect(), Qt::AlignCenter, QString::fromUtf8("방송"));
    }
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(dark, 20);
}
