#pragma once
// The quality libwebp's encoder (1.2, default settings) was given for each base quantiser index
// of a lossy key frame: made by bench/webp_quality_table.cpp (encoding photo-like pictures at
// every quality 0..100 and reading the index back), whose output this is.
//
// The encoder gives its four segments their own quantisers around the quality, the base one
// being the segment of the flattest blocks; on photographs that segment sits at the far end
// and the table is exact within a step or two. Where the flattest blocks are close to the
// picture's average (a uniformly busy texture) the base index comes out lower and the table
// reads a higher quality than was used, never a lower one: the picture is encoded again with
// less loss, not more.
inline constexpr unsigned char VP8QualityByBaseQuant[128] = {
    100, 99, 98, 97, 96, 96, 95, 94, 93, 92, 92, 91, 90, 89, 89, 88,
    87, 87, 86, 85, 85, 84, 83, 83, 82, 81, 81, 80, 79, 79, 78, 77,
    77, 76, 76, 75, 75, 73, 71, 70, 68, 66, 65, 63, 62, 60, 59, 57,
    56, 54, 53, 51, 50, 48, 47, 46, 44, 43, 42, 41, 39, 38, 37, 36,
    35, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19,
    19, 18, 17, 16, 15, 15, 14, 13, 12, 12, 11, 10, 10, 9, 9, 8,
    8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 3, 2, 2, 2, 2,
    1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
};
