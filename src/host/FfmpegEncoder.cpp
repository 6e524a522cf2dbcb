// The video encoder module: VideoEncoding through FFmpeg's libraries (see VideoEncoder.h for
// what it writes). Built apart from the program, which loads it only to write a video file.
#include "host/VideoEncoding.h"

#include <cstring>
#include <memory>
#include <new>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "host/Surface.h"

namespace {

class FfmpegEncoder final : public VideoEncoding {
 public:
  ~FfmpegEncoder() override;
  bool open(const std::string& path, const VideoFormat& format, int width, int height, double rate,
            VideoQuality quality, std::string* error) override;
  bool encode(const RgbImage& picture, std::string* error) override;
  bool finish(std::string* error, int abortFd) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::string reasonOf(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// One of three settings, by quality.
const char* byQuality(VideoQuality quality, const char* low, const char* medium, const char* high) {
  return quality == VideoQuality::Low ? low : quality == VideoQuality::Medium ? medium : high;
}

bool encodes(const VideoFormat& format, const char* encoder) {
  return std::strcmp(format.encoder, encoder) == 0;
}

// `rate` frames a second as a fraction, to a thousandth.
AVRational rationalOf(double rate) {
  long long numerator = std::llround(rate * 1000.0), denominator = 1000;
  const long long common = std::gcd(numerator, denominator);
  return AVRational{static_cast<int>(numerator / common), static_cast<int>(denominator / common)};
}

// Players guess BT.709 for high-definition video and BT.601 below it; the tags say the same.
bool highDefinition(int width, int height) { return width >= 1280 || height >= 720; }

// The encoder's settings for `format` at `quality` into `codec` and *options; returns the pixel
// format the pictures are converted to before they are encoded (or, for GIF, filtered).
AVPixelFormat configure(const VideoFormat& format, VideoQuality quality, AVCodecContext* codec,
                        AVDictionary** options) {
  auto set = [options](const char* key, const char* value) { av_dict_set(options, key, value, 0); };
  codec->sample_aspect_ratio = AVRational{1, 1};
  if (format.evenSides || encodes(format, "libvpx-vp9")) {
    const bool hd = highDefinition(codec->width, codec->height);
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->color_range = AVCOL_RANGE_MPEG;
    codec->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    codec->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    codec->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    if (encodes(format, "libx264")) {
      set("crf", byQuality(quality, "28", "23", "18"));
      set("preset", "medium");
      set("profile", "high");
    } else {
      // Constant quality, and speed settings that keep VP9 within a few times H.264's cost.
      codec->bit_rate = 0;
      set("crf", byQuality(quality, "40", "32", "24"));
      set("deadline", "good");
      set("cpu-used", "4");
      set("row-mt", "1");
    }
    return AV_PIX_FMT_YUV420P;
  }
  if (encodes(format, "ffv1")) {
    codec->pix_fmt = AV_PIX_FMT_0RGB32;  // its 8-bit RGB
    codec->color_range = AVCOL_RANGE_JPEG;
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_IEC61966_2_1;
    codec->colorspace = AVCOL_SPC_RGB;
    codec->gop_size = 1;
    set("level", "3");
    set("slicecrc", "1");
    set("coder", "range_def");
    return AV_PIX_FMT_0RGB32;
  }
  if (encodes(format, "gif")) {
    codec->pix_fmt = AV_PIX_FMT_PAL8;
    return AV_PIX_FMT_BGRA;  // what palettegen and paletteuse take
  }
  codec->pix_fmt = AV_PIX_FMT_BGRA;  // libwebp makes its own 4:2:0 from RGB, as browsers expect
  set("quality", byQuality(quality, "50", "75", "90"));
  return AV_PIX_FMT_BGRA;
}

// The palette graph's description at `quality`: a palette of 64, 128 or 256 colours made for
// each frame, then used on it with the mildest ordered dither, which breaks up the glow's
// gradients without the crawl that error diffusion gives a moving picture.
std::string paletteGraph(VideoQuality quality) {
  return std::string("split[a][b];[a]palettegen=stats_mode=single:max_colors=") +
         byQuality(quality, "64", "128", "256") +
         "[p];[b][p]paletteuse=new=1:dither=bayer:bayer_scale=5";
}

}  // namespace

struct FfmpegEncoder::State {
  AVFormatContext* container = nullptr;
  AVStream* stream = nullptr;
  AVCodecContext* codec = nullptr;
  SwsContext* converter = nullptr;
  AVFrame* frame = nullptr;     // the picture converted for the encoder (or the palette graph)
  AVFrame* filtered = nullptr;  // a GIF frame with its palette
  AVPacket* packet = nullptr;
  AVFilterGraph* graph = nullptr;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  long frames = 0;
  int abortFd = -1;  // readable: stop encoding what is left

  ~State() {
    avfilter_graph_free(&graph);
    av_packet_free(&packet);
    av_frame_free(&filtered);
    av_frame_free(&frame);
    sws_freeContext(converter);
    avcodec_free_context(&codec);
    if (container != nullptr) {
      avio_closep(&container->pb);
      avformat_free_context(container);
    }
  }

  // Sends `picture` (null: the end) to the encoder and writes every packet it has ready.
  int send(AVFrame* picture) {
    int code = avcodec_send_frame(codec, picture);
    while (code >= 0) {
      code = wakeFdReadable(abortFd) ? AVERROR_EXIT : avcodec_receive_packet(codec, packet);
      if (code < 0) {
        break;
      }
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      code = av_interleaved_write_frame(container, packet);
    }
    return code == AVERROR(EAGAIN) || code == AVERROR_EOF ? 0 : code;
  }

  // Filters `picture` (null: the end) through the palette graph and encodes what comes out.
  int sendThroughPalettes(AVFrame* picture) {
    int code = av_buffersrc_add_frame_flags(source, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
    while (code >= 0) {
      code = av_buffersink_get_frame(sink, filtered);
      if (code < 0) {
        break;
      }
      filtered->pts =
          av_rescale_q(filtered->pts, av_buffersink_get_time_base(sink), codec->time_base);
      code = send(filtered);
      av_frame_unref(filtered);
    }
    return code == AVERROR(EAGAIN) || code == AVERROR_EOF ? 0 : code;
  }

  int makePaletteGraph(VideoQuality quality) {
    graph = avfilter_graph_alloc();
    char arguments[160];
    std::snprintf(arguments, sizeof arguments,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", codec->width,
                  codec->height, frame->format, codec->time_base.num, codec->time_base.den);
    int code = graph == nullptr ? AVERROR(ENOMEM) : 0;
    if (code >= 0) {
      code = avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", arguments,
                                          nullptr, graph);
    }
    if (code >= 0) {
      code = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                          nullptr, graph);
    }
    AVFilterInOut* inputs = avfilter_inout_alloc();
    AVFilterInOut* outputs = avfilter_inout_alloc();
    if (code >= 0 && (inputs == nullptr || outputs == nullptr)) {
      code = AVERROR(ENOMEM);
    }
    if (code >= 0) {
      // The graph's open ends, named as its description leaves them: its input and output.
      outputs->name = av_strdup("in");
      outputs->filter_ctx = source;
      inputs->name = av_strdup("out");
      inputs->filter_ctx = sink;
      code = avfilter_graph_parse_ptr(graph, paletteGraph(quality).c_str(), &inputs, &outputs,
                                      nullptr);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return code >= 0 ? avfilter_graph_config(graph, nullptr) : code;
  }
};

FfmpegEncoder::~FfmpegEncoder() = default;

bool FfmpegEncoder::open(const std::string& path, const VideoFormat& format, int width, int height,
                         double rate, VideoQuality quality, std::string* error) {
  // The one line a failure gives says what failed; the libraries' own chatter (x264's
  // statistics, libwebp's advice) would add more.
  av_log_set_level(AV_LOG_QUIET);
  state_ = std::make_unique<State>();
  State& s = *state_;
  auto fail = [&](const char* what, int code) {
    *error = std::string(what) + " " + format.name + ": " + reasonOf(code);
    state_.reset();
    return false;
  };
  int code = avformat_alloc_output_context2(&s.container, nullptr, format.muxer, path.c_str());
  if (code < 0) {
    return fail("cannot start the", code);
  }
  const AVCodec* encoder = avcodec_find_encoder_by_name(format.encoder);
  if (encoder == nullptr) {
    *error = std::string("FFmpeg's libavcodec here has no ") + format.encoder +
             " encoder; install Debian's libavcodec59";
    state_.reset();
    return false;
  }
  s.stream = avformat_new_stream(s.container, nullptr);
  s.codec = avcodec_alloc_context3(encoder);
  s.frame = av_frame_alloc();
  s.filtered = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (s.stream == nullptr || s.codec == nullptr || s.frame == nullptr || s.filtered == nullptr ||
      s.packet == nullptr) {
    return fail("cannot start the", AVERROR(ENOMEM));
  }
  const AVRational frameRate = rationalOf(rate);
  s.codec->width = width;
  s.codec->height = height;
  s.codec->framerate = frameRate;
  s.codec->time_base = av_inv_q(frameRate);
  s.codec->thread_count = 0;  // as many as the machine has cores
  AVDictionary* options = nullptr;
  const AVPixelFormat input = configure(format, quality, s.codec, &options);
  if ((s.container->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  code = avcodec_open2(s.codec, encoder, &options);
  av_dict_free(&options);
  if (code < 0 || (code = avcodec_parameters_from_context(s.stream->codecpar, s.codec)) < 0) {
    return fail("cannot start the encoder of the", code);
  }
  s.stream->time_base = s.codec->time_base;
  s.stream->avg_frame_rate = frameRate;

  s.frame->format = input;
  s.frame->width = width;
  s.frame->height = height;
  s.frame->color_range = s.codec->color_range;
  s.frame->color_primaries = s.codec->color_primaries;
  s.frame->color_trc = s.codec->color_trc;
  s.frame->colorspace = s.codec->colorspace;
  if ((code = av_frame_get_buffer(s.frame, 0)) < 0) {
    return fail("cannot start the", code);
  }
  // Chroma from every pixel, then filtered down: sharp coloured edges stay clean.
  s.converter = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, input,
                               SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                               nullptr, nullptr);
  if (s.converter == nullptr) {
    return fail("cannot start the colour conversion of the", AVERROR(ENOMEM));
  }
  if (input == AV_PIX_FMT_YUV420P) {
    const int matrix = s.codec->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_SMPTE170M;
    sws_setColorspaceDetails(s.converter, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(matrix), 0, 0, 1 << 16, 1 << 16);
  }
  if (encodes(format, "gif") && (code = s.makePaletteGraph(quality)) < 0) {
    return fail("cannot start the palettes of the", code);
  }

  if ((code = avio_open(&s.container->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
    return fail("cannot open the file for the", code);
  }
  AVDictionary* muxing = nullptr;
  // The index at the front, so that a browser plays the file as it arrives; the colours tagged
  // in the container too.
  av_dict_set(&muxing, "movflags", "+faststart+write_colr", 0);
  av_dict_set(&muxing, "loop", "0", 0);  // GIF: forever
  code = avformat_write_header(s.container, &muxing);
  av_dict_free(&muxing);
  return code >= 0 || fail("cannot write the start of the", code);
}

bool FfmpegEncoder::encode(const RgbImage& picture, std::string* error) {
  if (state_ == nullptr) {
    *error = "the video was already ended";
    return false;
  }
  State& s = *state_;
  int code = av_frame_make_writable(s.frame);
  if (code >= 0) {
    const std::uint8_t* rows[1] = {picture.rgb.data()};
    const int stride[1] = {picture.width * 3};
    sws_scale(s.converter, rows, stride, 0, picture.height, s.frame->data, s.frame->linesize);
    s.frame->pts = s.frames++;
    code = s.graph != nullptr ? s.sendThroughPalettes(s.frame) : s.send(s.frame);
  }
  if (code < 0) {
    *error = reasonOf(code);
    return false;
  }
  return true;
}

bool FfmpegEncoder::finish(std::string* error, int abortFd) {
  if (state_ == nullptr) {
    *error = "the video was already ended";
    return false;
  }
  State& s = *state_;
  s.abortFd = abortFd;
  int code = s.graph != nullptr ? s.sendThroughPalettes(nullptr) : 0;
  if (code >= 0) {
    code = s.send(nullptr);
  }
  if (code >= 0 && wakeFdReadable(abortFd)) {
    code = AVERROR_EXIT;
  }
  if (code >= 0) {
    code = av_write_trailer(s.container);
  }
  if (code >= 0) {
    code = avio_closep(&s.container->pb);
  }
  state_.reset();  // ended or not, the file is closed: a second try could only repeat this
  if (code < 0) {
    *error = reasonOf(code);
    return false;
  }
  return true;
}

extern "C" __attribute__((visibility("default"))) VideoEncoding* vantorMakeVideoEncoding() {
  return new (std::nothrow) FfmpegEncoder;
}
