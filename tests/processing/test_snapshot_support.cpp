#include "test_snapshot_support.h"

#include <png.h>
#include <turbojpeg.h>

#include <QString>

#include <stdexcept>

#include "movie/file_to_play.h"
#include "media/video_frame.h"
#include "processing/codec_filters.h"
#include "processing/filter_graph.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

namespace snaptest {

std::string fixture(const std::string& movie) { return testsupport::fixture_path(movie); }

VideoFrame* read_sample(const std::string& path, uint32_t frame) {
    FileToPlay movie(QString::fromStdString(path));
    if (!movie.errorText().isEmpty()) throw std::runtime_error("movie: " + movie.errorText().toStdString());
    VideoFrame* sample = video_frame_new();
    if (!movie.readCompressedFrame(frame, sample)) {
        video_frame_free(&sample);
        throw std::runtime_error("sample read failed");
    }
    return sample;
}

Image reference_decode(const std::string& path, uint32_t frame) {
    FileToPlay movie(QString::fromStdString(path));
    VideoFrame* sample = read_sample(path, frame);
    const uint32_t codec = hap_codec_from_fourcc(movie.codec());
    const bool alpha = movie.hasAlphaChannel();
    FilterGraph* graph = filter_graph_alloc(2, 1);
    HapDecodeParams hap;
    hap.codec = codec;
    hap.width = movie.width();
    hap.height = movie.height();
    filter_graph_add_filter(graph, create_hap_decode_filter(hap));
    DxtDecodeParams dxt;
    dxt.codec = codec;
    dxt.width = movie.width();
    dxt.height = movie.height();
    dxt.output_format = alpha ? PixelFormat_RGBA8 : PixelFormat_RGBX8;
    filter_graph_add_filter(graph, create_dxt_decode_filter(dxt));
    filter_graph_process(graph, &sample, 1);
    const VideoFrame* out = filter_graph_output_frame(graph, 1);
    Image image;
    image.width = out->width;
    image.height = out->height;
    image.channels = alpha ? 4 : 3;
    image.rgba.resize(size_t(image.width) * image.height * 4);
    for (uint32_t y = 0; y < image.height; ++y)
        std::copy_n(out->planes[0] + y * out->line_sizes[0], image.width * 4, &image.rgba[size_t(y) * image.width * 4]);
    filter_graph_free(graph);
    video_frame_free(&sample);
    return image;
}

Image decode_png(const uint8_t* bytes, uint64_t size) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes, size)) throw std::runtime_error("not a PNG");
    Image image;
    image.width = png.width;
    image.height = png.height;
    image.channels = (png.format & PNG_FORMAT_FLAG_ALPHA) ? 4 : 3;
    if (png.format & PNG_FORMAT_FLAG_LINEAR) throw std::runtime_error("16-bit PNG");
    png.format = PNG_FORMAT_RGBA;
    image.rgba.resize(size_t(image.width) * image.height * 4);
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) throw std::runtime_error("bad PNG");
    return image;
}

Image decode_jpeg(const uint8_t* bytes, uint64_t size) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(size), &width, &height, &subsampling,
                            &colourspace) != 0) {
        tjDestroy(handle);
        throw std::runtime_error("not a JPEG");
    }
    Image image;
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    image.channels = 3;
    image.rgba.resize(size_t(width) * height * 4);
    const int r = tjDecompress2(handle, bytes, static_cast<unsigned long>(size), image.rgba.data(), width, 0, height,
                                TJPF_RGBA, 0);
    tjDestroy(handle);
    if (r != 0) throw std::runtime_error("bad JPEG");
    return image;
}

Image decode_file(const std::string& path) {
    const std::vector<uint8_t> bytes = testsupport::read_whole_file(path);
    if (bytes.size() > 4 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return decode_png(bytes.data(), bytes.size());
    return decode_jpeg(bytes.data(), bytes.size());
}

std::string with_display_window(const std::string& source, const std::string& name, uint32_t canvas_w,
                                uint32_t canvas_h, uint32_t x, uint32_t y) {
    using namespace testsupport;
    Bytes file = read_whole_file(source);
    const AtomPos moov = find_atom(file, "moov");
    if (moov.offset + moov.size != file.size()) throw std::runtime_error("moov is not the last atom");
    Bytes nrvu;
    put_le16(nrvu, 1);  // version
    put_u8(nrvu, 0);    // no alpha note
    put_u8(nrvu, 1);    // display window present
    put_le32(nrvu, canvas_w);
    put_le32(nrvu, canvas_h);
    put_le32(nrvu, x);
    put_le32(nrvu, y);
    const Bytes udta = atom("udta", atom("NRVU", nrvu));
    append(file, udta);
    set_be32(file, moov.offset, uint32_t(moov.size + udta.size()));
    const std::string path = scratch_path(name);
    write_whole_file(path, file);
    return path;
}

SnapshotMovie movie_record(FileToPlay* movie) {
    SnapshotMovie m;
    MovFile* record = nullptr;
    movie->movFile(&record);
    m.path = movie->filePath();
    m.width = movie->width();
    m.height = movie->height();
    m.fourcc = movie->codec();
    m.subcodec = record->codecProfile;
    m.has_alpha = movie->hasAlphaChannel();
    m.has_display_window = movie->hasDisplayWindow();
    m.canvas_width = record->displayWidth;
    m.canvas_height = record->displayHeight;
    m.canvas_x = record->originX;
    m.canvas_y = record->originY;
    m.fps = movie->fps();
    movie->fpsRational(&m.rate_num, &m.rate_den);
    m.timecode_start = movie->timecodeStartAtPlayedRate();
    m.drop_frame = movie->isDropFrameTimecode();
    m.read_sample = [movie](uint32_t frame, VideoFrame* sample) {
        movie->clearErrorText();
        movie->readCompressedFrame(frame, sample);
        return movie->errorText();
    };
    return m;
}

}  // namespace snaptest
