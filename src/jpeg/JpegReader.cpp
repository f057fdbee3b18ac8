#include "jpeg/JpegReader.h"

#include "jpeg/JpegLibError.h"
#include "jpeg/JpegQuality.h"

#include <cstring>
#include <vector>

struct TJpegReader::TState {
    TJpegLibError Error;
    jpeg_decompress_struct Info{};
    bool Created = false;
    std::vector<JSAMPROW> Rows;
    ~TState()
    {
        if (Created) jpeg_destroy_decompress(&Info);
    }
};

namespace {

TJpegColourSpace ColourSpaceOf(J_COLOR_SPACE Space)
{
    switch (Space) {
    case JCS_GRAYSCALE: return TJpegColourSpace::Grey;
    case JCS_YCbCr: return TJpegColourSpace::YCbCr;
    case JCS_RGB: return TJpegColourSpace::Rgb;
    case JCS_CMYK: return TJpegColourSpace::Cmyk;
    case JCS_YCCK: return TJpegColourSpace::Ycck;
    default: return TJpegColourSpace::Other;
    }
}

std::vector<TJpegMarker> SavedMarkers(const jpeg_decompress_struct& Info)
{
    std::vector<TJpegMarker> markers;
    for (jpeg_saved_marker_ptr m = Info.marker_list; m; m = m->next)
        markers.push_back({m->marker, std::string(reinterpret_cast<const char*>(m->data), m->data_length)});
    return markers;
}

const std::uint16_t* TableOf(const jpeg_decompress_struct& Info, int Component)
{
    if (Component >= Info.num_components) return nullptr;
    const int slot = Info.comp_info[Component].quant_tbl_no;
    if (slot < 0 || slot >= NUM_QUANT_TBLS || !Info.quant_tbl_ptrs[slot]) return nullptr;
    static_assert(sizeof(UINT16) == sizeof(std::uint16_t));
    return reinterpret_cast<const std::uint16_t*>(Info.quant_tbl_ptrs[slot]->quantval);
}

}  // namespace

TJpegReader::TJpegReader(std::string_view Bytes, std::uint64_t MaxPixels) : FState(std::make_unique<TState>())
{
    TState& s = *FState;
    s.Error.Install(s.Info);
    if (setjmp(s.Error.Jump)) s.Error.Raise();
    jpeg_create_decompress(&s.Info);
    s.Created = true;
    jpeg_mem_src(&s.Info, reinterpret_cast<const unsigned char*>(Bytes.data()), static_cast<unsigned long>(Bytes.size()));
    jpeg_save_markers(&s.Info, JPEG_COM, 0xFFFF);
    for (int i = 0; i < 16; ++i) jpeg_save_markers(&s.Info, JPEG_APP0 + i, 0xFFFF);
    jpeg_read_header(&s.Info, TRUE);

    if (static_cast<std::uint64_t>(s.Info.image_width) * s.Info.image_height > MaxPixels)
        throw EPictureTooLarge("Image too large");
    FCoding.ColourSpace = ColourSpaceOf(s.Info.jpeg_color_space);
    for (int i = 0; i < s.Info.num_components; ++i)
        FCoding.Sampling.push_back({s.Info.comp_info[i].h_samp_factor, s.Info.comp_info[i].v_samp_factor});
    const std::uint16_t* luminance = TableOf(s.Info, 0);
    const std::uint16_t* chrominance = s.Info.jpeg_color_space == JCS_GRAYSCALE ? nullptr : TableOf(s.Info, 1);
    if (luminance) {
        const TJpegQuality quality = EstimateJpegQuality(luminance, chrominance);
        FCoding.Quality = quality.Quality;
        FCoding.Baseline = quality.Baseline;
    }
    FCoding.Progressive = s.Info.progressive_mode != 0;
    FCoding.Arithmetic = s.Info.arith_code != 0;
    FCoding.RestartInterval = s.Info.restart_interval;
    FCoding.Markers = SavedMarkers(s.Info);
}

TJpegReader::~TJpegReader() = default;

int TJpegReader::Width() const { return static_cast<int>(FState->Info.image_width); }
int TJpegReader::Height() const { return static_cast<int>(FState->Info.image_height); }

TJpegPicture TJpegReader::Read()
{
    TState& s = *FState;
    if (FCoding.ColourSpace == TJpegColourSpace::Cmyk || FCoding.ColourSpace == TJpegColourSpace::Ycck ||
        FCoding.ColourSpace == TJpegColourSpace::Other)
        throw EJpegError("JPEG: colour space not read");
    TJpegPicture picture;
    picture.Width = Width();
    picture.Height = Height();
    picture.Pixels.reset(new std::uint8_t[picture.Stride() * static_cast<std::size_t>(picture.Height)]);
    s.Rows.resize(static_cast<std::size_t>(picture.Height));
    for (int y = 0; y < picture.Height; ++y) s.Rows[static_cast<std::size_t>(y)] = picture.Pixels.get() + picture.Stride() * static_cast<std::size_t>(y);

    if (setjmp(s.Error.Jump)) s.Error.Raise();
    s.Info.out_color_space = JCS_EXT_BGRX;
    s.Info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&s.Info);
    while (s.Info.output_scanline < s.Info.output_height) {
        jpeg_read_scanlines(&s.Info, s.Rows.data() + s.Info.output_scanline, s.Info.output_height - s.Info.output_scanline);
    }
    // The markers up to the end of the file (some follow the last scan), taken before
    // finishing frees them.
    int state = JPEG_SUSPENDED;
    while (state != JPEG_REACHED_EOI) {
        state = jpeg_consume_input(&s.Info);
        if (state == JPEG_SUSPENDED) throw EJpegError("JPEG: no end of image");
    }
    FCoding.Markers = SavedMarkers(s.Info);
    jpeg_finish_decompress(&s.Info);

    s.Rows.clear();
    picture.Coding = FCoding;
    return picture;
}
