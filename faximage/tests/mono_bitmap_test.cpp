#include "faximage/mono_bitmap.h"

#include <gtest/gtest.h>

using namespace faximage;

TEST(MonoBitmap, PixelsFollowTheSenseAndMsbIsLeftmost) {
    MonoBitmap fax(10, 2, PixelSense::OneIsBlack);
    EXPECT_EQ(fax.stride(), 2u);
    fax.setBlack(0, 0, true);
    fax.setBlack(9, 1, true);
    EXPECT_EQ(fax.row(0)[0], 0x80);
    EXPECT_EQ(fax.row(1)[1], 0x40);

    MonoBitmap win(10, 2, PixelSense::OneIsWhite);
    EXPECT_EQ(win.row(0)[0], 0xFF); // white everywhere
    win.setBlack(0, 0, true);
    EXPECT_EQ(win.row(0)[0], 0x7F);
    EXPECT_TRUE(win.isBlack(0, 0));
    EXPECT_FALSE(win.isBlack(1, 0));
}

TEST(MonoBitmap, ConvertKeepsThePictureInvertMakesANegative) {
    MonoBitmap a(13, 3, PixelSense::OneIsBlack, 4); // padded stride
    a.setBlack(12, 2, true);
    a.setBlack(3, 0, true);
    MonoBitmap b = a;
    b.convertTo(PixelSense::OneIsWhite);
    EXPECT_EQ(b.sense(), PixelSense::OneIsWhite);
    EXPECT_TRUE(b.isBlack(12, 2));
    EXPECT_TRUE(a.samePixels(b));

    b.invertPixels();
    EXPECT_FALSE(b.isBlack(12, 2));
    EXPECT_TRUE(b.isBlack(0, 0));
    EXPECT_FALSE(a.samePixels(b));

    // Padding bits never count.
    MonoBitmap c = a;
    c.row(1)[1] |= 0x07;
    c.row(1)[3] = 0xFF;
    EXPECT_TRUE(a.samePixels(c));
}

TEST(MonoBitmap, RejectsImpossibleGeometry) {
    EXPECT_THROW(MonoBitmap(17, 1, PixelSense::OneIsBlack, 2), std::invalid_argument);
    EXPECT_THROW(MonoBitmap(-1, 1), std::invalid_argument);
    EXPECT_TRUE(MonoBitmap(0, 5).empty());
}
