#include "jpeg/JpegWriter.h"

#include "jpeg/JpegLibError.h"

#include <cstdlib>
#include <vector>

namespace {

struct TWriteState {
    TJpegLibError Error;
    jpeg_compress_struct Info{};
    bool Created = false;
    unsigned char* Buffer = nullptr;
    unsigned long Size = 0;
    ~TWriteState()
    {
        if (Created) jpeg_destroy_compress(&Info);
        std::free(Buffer);
    }
};

J_COLOR_SPACE LibColourSpace(TJpegColourSpace Space)
{
    switch (Space) {
    case TJpegColourSpace::Grey: return JCS_GRAYSCALE;
    case TJpegColourSpace::Rgb: return JCS_RGB;
    case TJpegColourSpace::YCbCr: return JCS_YCbCr;
    default: throw EJpegError("JPEG: colour space not written");
    }
}

}  // namespace

std::string WriteJpeg(const TJpegPicture& Picture)
{
    const TJpegCoding& coding = Picture.Coding;
    const J_COLOR_SPACE space = LibColourSpace(coding.ColourSpace);
    TWriteState s;
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(Picture.Height));
    for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = Picture.Pixels.get() + Picture.Stride() * y;

    s.Error.Install(s.Info);
    if (setjmp(s.Error.Jump)) s.Error.Raise();
    jpeg_create_compress(&s.Info);
    s.Created = true;
    jpeg_mem_dest(&s.Info, &s.Buffer, &s.Size);
    s.Info.image_width = static_cast<JDIMENSION>(Picture.Width);
    s.Info.image_height = static_cast<JDIMENSION>(Picture.Height);
    s.Info.input_components = 4;
    s.Info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&s.Info);
    jpeg_set_colorspace(&s.Info, space);
    jpeg_set_quality(&s.Info, coding.Quality, coding.Baseline ? TRUE : FALSE);
    if (coding.Sampling.size() == static_cast<std::size_t>(s.Info.num_components)) {
        for (int i = 0; i < s.Info.num_components; ++i) {
            s.Info.comp_info[i].h_samp_factor = coding.Sampling[static_cast<std::size_t>(i)].H;
            s.Info.comp_info[i].v_samp_factor = coding.Sampling[static_cast<std::size_t>(i)].V;
        }
    } else {
        for (int i = 0; i < s.Info.num_components; ++i) s.Info.comp_info[i].h_samp_factor = s.Info.comp_info[i].v_samp_factor = 1;
    }
    if (coding.Progressive) jpeg_simple_progression(&s.Info);
    s.Info.arith_code = coding.Arithmetic ? TRUE : FALSE;
    s.Info.optimize_coding = coding.Arithmetic ? FALSE : TRUE;
    s.Info.restart_interval = coding.RestartInterval;
    s.Info.dct_method = JDCT_ISLOW;
    s.Info.write_JFIF_header = FALSE;
    s.Info.write_Adobe_marker = FALSE;
    jpeg_start_compress(&s.Info, TRUE);
    for (const TJpegMarker& m : coding.Markers)
        jpeg_write_marker(&s.Info, m.Code, reinterpret_cast<const JOCTET*>(m.Data.data()), static_cast<unsigned>(m.Data.size()));
    while (s.Info.next_scanline < s.Info.image_height)
        jpeg_write_scanlines(&s.Info, rows.data() + s.Info.next_scanline, s.Info.image_height - s.Info.next_scanline);
    jpeg_finish_compress(&s.Info);
    return std::string(reinterpret_cast<const char*>(s.Buffer), s.Size);
}
