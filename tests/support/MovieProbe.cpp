#include "MovieProbe.h"

#include <fstream>
#include <string>

#include "platform/image/MatView.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo::test {

std::vector<Stream> streamsOf(const std::filesystem::path& file) {
    std::vector<Stream> streams;
    AVFormatContext* f = nullptr;
    if (avformat_open_input(&f, file.c_str(), nullptr, nullptr) < 0) return streams;
    avformat_find_stream_info(f, nullptr);
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        const AVStream* s = f->streams[i];
        const AVCodecParameters* p = s->codecpar;
        const double start = s->start_time == AV_NOPTS_VALUE
                                 ? 0
                                 : static_cast<double>(s->start_time) * av_q2d(s->time_base);
        streams.push_back({p->codec_type, p->codec_id, p->profile, p->level, p->width, p->height,
                           p->sample_rate, p->ch_layout.nb_channels, p->format, start});
    }
    avformat_close_input(&f);
    return streams;
}

std::string tagOf(const std::filesystem::path& file, const char* name) {
    AVFormatContext* f = nullptr;
    if (avformat_open_input(&f, file.c_str(), nullptr, nullptr) < 0) return {};
    const AVDictionaryEntry* entry = av_dict_get(f->metadata, name, nullptr, 0);
    for (unsigned i = 0; entry == nullptr && i < f->nb_streams; ++i)
        entry = av_dict_get(f->streams[i]->metadata, name, nullptr, 0);
    std::string value = entry ? entry->value : "";
    avformat_close_input(&f);
    return value;
}

Stream streamOf(const std::filesystem::path& file, AVMediaType kind) {
    for (const Stream& s : streamsOf(file))
        if (s.kind == kind) return s;
    return {};
}

namespace {

template <class Take>
void eachFrame(const std::filesystem::path& file, Take take) {
    const MovieAsset asset = MovieAsset::open(file);
    if (!asset.video) return;
    auto reader = TrackReader::video(file, *asset.video);
    if (!reader) return;
    while (auto sample = reader.value()->nextVideo()) take(*sample);
}

}  // namespace

std::vector<cv::Mat> framesOf(const std::filesystem::path& file) {
    std::vector<cv::Mat> frames;
    eachFrame(file, [&](const auto& sample) { frames.push_back(matView(sample.frame).clone()); });
    return frames;
}

std::vector<double> frameTimes(const std::filesystem::path& file) {
    std::vector<double> times;
    eachFrame(file, [&](const auto& sample) { times.push_back(sample.time.seconds()); });
    return times;
}

bool isFinishedRecording(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() < 16) return false;
    std::string last(16, ' ');
    in.seekg(-16, std::ios::end);
    in.read(last.data(), 16);
    return in && last.substr(4, 4) == "mfro";
}

double soundSeconds(const std::filesystem::path& file) {
    const MovieAsset asset = MovieAsset::open(file);
    if (!asset.audio) return 0;
    auto reader = TrackReader::audio(file, *asset.audio);
    if (!reader) return 0;
    double seconds = 0;
    while (auto sample = reader.value()->nextAudio()) {
        seconds += static_cast<double>(sample->frames()) / AudioSample::rate;
    }
    return seconds;
}

}  // namespace pelliqo::test
