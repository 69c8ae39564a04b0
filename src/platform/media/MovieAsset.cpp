#include "platform/media/MovieAsset.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <string_view>

#include "platform/media/FFmpeg.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/display.h>
}

namespace pelliqo {

int exifOrientation(const AffineTransform& t) {
    if (t.a == 0 && t.b == 1 && t.c == -1 && t.d == 0) return 6;
    if (t.a == 0 && t.b == -1 && t.c == 1 && t.d == 0) return 8;
    if (t.a == -1 && t.d == -1) return 3;
    return 1;
}

AffineTransform transformFromDisplayMatrix(const std::int32_t matrix[9]) {
    const auto fixed = [](std::int32_t v) { return v / 65536.0; };
    return AffineTransform{fixed(matrix[0]), fixed(matrix[1]), fixed(matrix[3]),
                           fixed(matrix[4]), fixed(matrix[6]), fixed(matrix[7])};
}

namespace {

bool decodable(const AVStream* stream) {
    return avcodec_find_decoder(stream->codecpar->codec_id) != nullptr;
}

// Pixels stored narrower or taller than they are shown (HDV's 1440 × 1080 shown as 16:9, DV)
// are read at the size they are shown: widened or made taller, never smaller. A ratio no
// movie has is taken for damage and left out.
void showAsDisplayed(VideoTrack& track, AVRational pixelAspect) {
    if (pixelAspect.num <= 0 || pixelAspect.den <= 0) return;
    const double ratio = av_q2d(pixelAspect);
    if (ratio < 0.25 || ratio > 4) return;
    if (ratio > 1) track.naturalWidth = static_cast<int>(std::lround(track.naturalWidth * ratio));
    if (ratio < 1) track.naturalHeight = static_cast<int>(std::lround(track.naturalHeight / ratio));
}

const char* tag(const AVDictionary* tags, const char* name) {
    const AVDictionaryEntry* entry = av_dict_get(tags, name, nullptr, 0);
    return entry ? entry->value : nullptr;
}

// Editors line copies up with their originals by it. QuickTime keeps it on a track of its
// own, which FFmpeg also names on the picture.
std::string timecodeOf(const AVFormatContext* format, const AVStream* video) {
    if (const char* value = tag(video->metadata, "timecode")) return value;
    if (const char* value = tag(format->metadata, "timecode")) return value;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (const char* value = tag(format->streams[i]->metadata, "timecode")) return value;
    }
    return {};
}

MovieMetadata keptMetadata(const AVDictionary* tags) {
    static constexpr std::array ofItsMaking = {"major_brand", "minor_version", "compatible_brands",
                                               "encoder", "timecode"};
    MovieMetadata kept;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(tags, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        const bool making = std::any_of(ofItsMaking.begin(), ofItsMaking.end(), [&](auto name) {
            return av_strcasecmp(entry->key, name) == 0;
        });
        if (!making) kept.emplace_back(entry->key, entry->value);
    }
    return kept;
}

VideoTrack videoTrack(AVFormatContext* format, AVStream* stream) {
    VideoTrack track;
    track.streamIndex = stream->index;
    track.naturalWidth = stream->codecpar->width;
    track.naturalHeight = stream->codecpar->height;
    showAsDisplayed(track, av_guess_sample_aspect_ratio(format, stream, nullptr));
    std::size_t size = 0;
    const std::uint8_t* side = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (side != nullptr && size >= 9 * sizeof(std::int32_t)) {
        track.preferredTransform =
            transformFromDisplayMatrix(reinterpret_cast<const std::int32_t*>(side));
    }
    if (stream->avg_frame_rate.den != 0) track.nominalFrameRate = av_q2d(stream->avg_frame_rate);
    if (stream->time_base.num > 0 && stream->time_base.den > 0) {
        track.timebase = MediaTime{0, stream->time_base.num, stream->time_base.den};
    }
    track.timecode = timecodeOf(format, stream);
    return track;
}

// Movies that do not say their length (bare H.264, Matroska written live or cut short by a
// crash) are read through once, packets only, for it; given up on after a few seconds.
double scannedDuration(AVFormatContext* format, const AVStream* video) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    const ff::Packet packet(av_packet_alloc());
    std::int64_t end = AV_NOPTS_VALUE, untimed = 0;
    while (packet && av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == video->index) {
            if (packet->pts != AV_NOPTS_VALUE)
                end = std::max(end, packet->pts + packet->duration);
            else
                untimed += packet->duration;
        }
        av_packet_unref(packet.get());
        if (std::chrono::steady_clock::now() > deadline) return 0;
    }
    const double unit = av_q2d(video->time_base);
    if (end != AV_NOPTS_VALUE) {
        const std::int64_t start =
            format->start_time == AV_NOPTS_VALUE
                ? 0
                : av_rescale_q(format->start_time, AV_TIME_BASE_Q, video->time_base);
        return static_cast<double>(end - start) * unit;
    }
    return static_cast<double>(untimed) * unit;  // 0 when the packets say nothing either
}

// Demuxers that read still pictures or text, which FFmpeg will also call "video".
bool stillPictureFormat(const AVInputFormat* format) {
    const std::string_view name = format->name;
    return name == "image2" || name == "tty" || name.ends_with("_pipe");
}

}  // namespace

MovieAsset MovieAsset::open(const std::filesystem::path& path) {
    MovieAsset asset;
    ff::InputFormat format;
    if (ff::openInputFile(format, path) < 0) return asset;
    if (stillPictureFormat(format->iformat)) return asset;
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return asset;
    asset.metadata = keptMetadata(format->metadata);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVStream* stream = format->streams[i];
        const AVCodecParameters* p = stream->codecpar;
        if (!decodable(stream)) continue;
        asset.isReadable = true;
        const bool picture = (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && !picture && !asset.video && p->width > 0 &&
            p->height > 0) {
            asset.video = videoTrack(format.get(), stream);
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && !asset.audio) {
            asset.audio = AudioTrack{stream->index, p->sample_rate, p->ch_layout.nb_channels};
        }
    }
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        asset.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
    } else if (asset.video) {
        const AVStream* s = format->streams[asset.video->streamIndex];
        if (s->duration != AV_NOPTS_VALUE)
            asset.duration = static_cast<double>(s->duration) * av_q2d(s->time_base);
    }
    if (asset.duration <= 0 && asset.video)
        asset.duration = scannedDuration(format.get(), format->streams[asset.video->streamIndex]);
    return asset;
}

}  // namespace pelliqo
