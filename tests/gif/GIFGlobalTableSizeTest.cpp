// The global colour table size written in the header is that of the global table itself,
// whatever size the frames' local tables have.
#include "GIFTestUtil.h"

#include "gif/GIFImage.h"

#include <gtest/gtest.h>

using namespace giftest;

TEST(GIFStream, GlobalTableSizeIsItsOwnWhenALocalTableIsLarger)
{
    // A 4-entry global table, then a 2x2 frame with a 16-entry local table.
    Bytes data = Header(2, 2, 2);
    Append(data, Descriptor(0, 0, 2, 2, 0x83));
    for (int i = 0; i < 16; ++i)
        Append(data, {i * 16, 0, 255 - i});
    Append(data, ImageData(4, ExpectedCodes({15, 1, 2, 3}, 4)));
    data.push_back(0x3B);

    TGIFImage gif;
    LoadBytes(gif, data);
    const Bytes saved = SaveBytes(gif);
    ASSERT_GT(saved.size(), 13u);
    EXPECT_EQ(saved[10] & 0x87, 0x81);  // a global table of 4 entries follows

    TGIFImage again;
    LoadBytes(again, saved);
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.GlobalColorMap().Count(), 4);
    EXPECT_EQ(again.Image(0).ColorMap().Count(), 16);
    EXPECT_EQ(again.Image(0).Data()[0], 15);
}
