#include "common/media/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cstdio>

namespace zov {
namespace {

constexpr int kIoBlock = 65536;

// libavformat reads through these. Nothing may be thrown through the library's C code: a failing call
// answers with an error code.
File& fileOf(void* opaque) { return *static_cast<File*>(opaque); }

int readPacket(void* opaque, std::uint8_t* buffer, int size) {
    if (size <= 0) return 0;
    std::size_t got = fileOf(opaque).read(buffer, static_cast<std::size_t>(size));
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
    try {
        File& file = fileOf(opaque);
        const int how = whence & ~AVSEEK_FORCE;
        if (how == AVSEEK_SIZE) return static_cast<std::int64_t>(file.length());
        std::int64_t base = 0;
        if (how == SEEK_CUR) base = static_cast<std::int64_t>(file.position());
        else if (how == SEEK_END) base = static_cast<std::int64_t>(file.length());
        else if (how != SEEK_SET) return AVERROR(EINVAL);
        const std::int64_t to = base + offset;
        if (to < 0) return AVERROR(EINVAL);
        file.seek(static_cast<std::uint64_t>(to));
        return to;
    } catch (const FileError&) {
        return AVERROR(EIO);
    }
}

}  // namespace

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

const char* typeName(int mediaType) {
    switch (mediaType) {
    case AVMEDIA_TYPE_AUDIO: return "audio";
    case AVMEDIA_TYPE_VIDEO: return "video";
    default: return "media";
    }
}

std::string mediaErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

MediaInput::~MediaInput() {
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

bool MediaInput::open(const std::string& path, std::string& problem) {
    // The one line that reports a problem says it all; the libraries' own warnings would only repeat it.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    file_ = fileSystem().openRead(path);
    if (!file_) {
        problem = "cannot be opened for reading";
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBlock));
    io_ = buffer ? avio_alloc_context(buffer, kIoBlock, 0, file_.get(), readPacket, nullptr, seekTo) : nullptr;
    format_ = io_ ? avformat_alloc_context() : nullptr;
    if (!format_) {
        if (!io_) av_free(buffer);
        problem = "out of memory";
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (int error = avformat_open_input(&format_, path.c_str(), nullptr, nullptr); error < 0) {
        problem = "not a media file that FFmpeg reads (" + mediaErrorText(error) + ")";
        return false;  // avformat_open_input has freed the context
    }
    if (int error = avformat_find_stream_info(format_, nullptr); error < 0) {
        problem = "its streams cannot be read (" + mediaErrorText(error) + ")";
        return false;
    }
    return true;
}

std::int64_t MediaInput::startTime() const {
    return format_->start_time == AV_NOPTS_VALUE ? 0 : format_->start_time;
}

double MediaInput::statedSeconds() const {
    return format_->duration > 0 ? static_cast<double>(format_->duration) / AV_TIME_BASE : 0;
}

bool MediaInput::lengthsEstimated() const { return format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE; }

int MediaInput::findStream(int mediaType, int number, std::string& problem) const {
    const int count = static_cast<int>(format_->nb_streams);
    if (number >= 0) {
        if (number < count && format_->streams[number]->codecpar->codec_type == mediaType) return number;
        std::string streams;
        for (int i = 0; i < count; ++i)
            if (format_->streams[i]->codecpar->codec_type == mediaType) streams += (streams.empty() ? "" : ", ") + std::to_string(i);
        problem = "stream " + std::to_string(number) + " is not a" + (mediaType == AVMEDIA_TYPE_AUDIO ? "n " : " ") +
                  typeName(mediaType) + " stream (" +
                  (streams.empty() ? std::string("the file has none") : typeName(mediaType) + std::string(": ") + streams) + ")";
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        const AVStream* stream = format_->streams[i];
        // A cover picture attached to a sound file is no video.
        if (stream->codecpar->codec_type == mediaType && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) return i;
    }
    problem = std::string("has no ") + typeName(mediaType) + " stream";
    return -1;
}

bool MediaInput::hasStream(int mediaType) const {
    std::string none;
    return findStream(mediaType, -1, none) >= 0;
}

const AVStream& MediaInput::stream(int index) const { return *format_->streams[index]; }

AVRational MediaInput::frameRate(int index) const {
    return av_guess_frame_rate(format_, format_->streams[index], nullptr);
}

void MediaInput::readOnly(int stream) {
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream) format_->streams[i]->discard = AVDISCARD_ALL;
}

int MediaInput::read(AVPacket* packet) { return av_read_frame(format_, packet); }

}  // namespace zov
