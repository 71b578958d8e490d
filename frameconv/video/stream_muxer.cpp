#include "frameconv/video/stream_muxer.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/input_files.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zov {
namespace {

constexpr int kCapacity = AudioSource::capacity;
constexpr int kPacketHead = 4;
constexpr int kFrameNumberBytes = 2;
constexpr int kMaxAudioPayload = StreamMuxer::packetBufferSize - kPacketHead;  // 4092
constexpr int kSmallestAudioPacket = 40;
constexpr int kVideoChunkLength = 22;
constexpr int kAudioChunkLength = 16;
constexpr int kFileHeadLength = 8;
// File offsets of the totals that are rewritten after every frame.
constexpr int kLengthOffset = 4;
constexpr int kSamplesOffset = 20;
constexpr int kFramesOffsetWithAudio = 36;
constexpr int kFramesOffsetWithoutAudio = 20;
constexpr int kVideoRateOffset = 43;

void putU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putU24(std::uint8_t* p, std::uint32_t v) {
    putU16(p, v);
    p[2] = static_cast<std::uint8_t>(v >> 16);
}
void putU32(std::uint8_t* p, std::uint32_t v) {
    putU24(p, v);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

/// The low byte of a real truncated toward zero (NaN gives 0, huge values saturate first).
std::uint8_t lowByte(double value) {
    if (std::isnan(value)) return 0;
    double limited = std::clamp(value, -9.0e15, 9.0e15);
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(limited) & 0xFF);
}

/// A real written as two bytes: its value modulo 256, then its value / 256, both truncated.
void putSplitU16(std::uint8_t* p, double value) {
    p[0] = lowByte(std::fmod(value, 256.0));
    p[1] = lowByte(value / 256.0);
}

std::uint32_t asU32(double value) {
    if (!(value > 0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(value);
}

int clampedInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

void reportWriteError(const FileError& error) { out() << "\r\nWrite error: " << error.what() << eol; }

}  // namespace

/// One frame's plan and the running figures of its packet loop.
struct StreamMuxer::Plan {
    bool firstFrame = false;
    std::int64_t allowance = 0;  // V: bandwidth bytes for this frame, less the carry
    std::int64_t audioMin = 0;
    std::int64_t audioMax = 0;
    std::int64_t audioPlan = 0;  // A
    std::int64_t balance = 0;
    std::int64_t audioLeft = 0;
    std::int64_t videoLeft = 0;
    std::int64_t overhead = 0;
};

/// What the stream held before this frame, so that a failed frame can be taken out again.
struct StreamMuxer::Undo {
    std::uint64_t length = 0;
    int samplesSent = 0;
    int bytesWritten = 0;
    int videoPackets = 0;
    int audioPackets = 0;
};

FrameReport StreamMuxer::compileFrame(VicPicture& picture, double t) {
    FrameReport report;
    if (outputPath_.empty() || encoder_ == nullptr) {
        report.abort = true;
        return report;
    }
    std::unique_ptr<File> file = openStream();
    if (!file) {
        report.abort = true;
        return report;
    }
    if (framesOffered_ == 0) {
        try {
            writeHeader(*file);
        } catch (const FileError& error) {
            reportWriteError(error);
            abandonFrame(*file, Undo{}, report);
            return report;
        }
    }
    const Undo undo{static_cast<std::uint64_t>(bytesWritten_), samplesSent_, bytesWritten_, videoPackets_,
                    audioPackets_};

    Plan plan;
    audioLimits(t, plan);
    std::uint32_t budget = frameBudget(t, plan);
    ++framesOffered_;
    plan.firstFrame = framesOffered_ == 1;

    int codedSize = 0;
    if (t - nextOutputTime_ < -0.25 / irate) {
        // Too early for the output rate: not coded. Its export would have given the picture's card rows.
        report.encodeResult.exportResult = picture.heightInCards * 320;
    } else {
        report.encodeResult = encoder_->encodeFrame(picture, budget);
        if (report.encodeResult.exportResult == 0) {
            ++framesDropped_;
            report.dropped = true;
            report.abort = true;
            file->close();
            return report;
        }
        codedSize = std::max(report.encodeResult.codedSize, 0);
        if (codedSize > 0) advanceOutputClock(t);
    }
    if (codedSize == 0) {
        ++framesDropped_;
        report.dropped = true;
    } else {
        planFrame(plan, codedSize);
    }
    if (plan.videoLeft == 0 && plan.audioPlan == 0) {
        // Nothing to send (every dropped frame): the stream and its header stay as they are.
        file->close();
        lastFrameTime_ = t;
        return report;
    }

    try {
        if (!sendPackets(*file, plan, report)) {
            ++framesDropped_;
            report.dropped = true;
            abandonFrame(*file, undo, report);
            return report;
        }
        settleAccount(t, plan, report);
        bytesWritten_ = clampedInt(bytesWritten_ + plan.overhead + report.videoBytes + plan.audioPlan);
        videoPackets_ += report.videoPackets;
        audioPackets_ += report.audioPackets;
        updateHeader(*file);
    } catch (const FileError& error) {
        reportWriteError(error);
        ++framesDropped_;
        report.dropped = true;
        abandonFrame(*file, undo, report);
        return report;
    }
    encoder_->totals().add(report.codeStats);
    file->close();
    lastFrameTime_ = t;
    return report;
}

std::unique_ptr<File> StreamMuxer::openStream() {
    bool first = framesOffered_ == 0;
    // A stream that is one of the run's inputs (a picture, the audio) is handled as one that does not open.
    std::unique_ptr<File> file;
    if (!inputs_ || !inputs_->refuses(outputPath_)) {
        file = first ? fileSystem().create(outputPath_) : fileSystem().openExisting(outputPath_);
    }
    if (!file) {
        out() << "\r\nCouldn't open destination: " << outputPath_ << eol;
        return nullptr;
    }
    if (!first) {
        try {
            file->seekEnd();
        } catch (const FileError& error) {
            reportWriteError(error);
            file->close();
            return nullptr;
        }
    }
    return file;
}

void StreamMuxer::writeHeader(File& file) {
    std::uint8_t* p = packetBuffer_;
    std::memcpy(p, "ZOVF", 4);
    putU32(p + 4, 0);
    int length = kFileHeadLength;
    headerHasAudio_ = audio_.hasSamples();
    if (headerHasAudio_) {
        std::uint8_t* chunk = p + length;
        chunk[0] = 0x48;
        chunk[1] = 0xC1;
        putU16(chunk + 2, 12);
        std::memcpy(chunk + 4, "PCMV", 4);
        putSplitU16(chunk + 8, audio_.sampleRate);
        chunk[10] = 2;  // bits per sample
        chunk[11] = 1;  // channels
        putU32(chunk + 12, static_cast<std::uint32_t>(samplesSent_));
        length += kAudioChunkLength;
    }
    const VicPicture& slot = encoder_->currentSlot();
    std::uint8_t* chunk = p + length;
    chunk[0] = 0x48;
    chunk[1] = 0xD6;
    putU16(chunk + 2, 18);
    std::memcpy(chunk + 4, "Q5RV", 4);
    putU16(chunk + 8, static_cast<std::uint32_t>(slot.paddedWidth));
    putU16(chunk + 10, static_cast<std::uint32_t>(slot.paddedHeight));
    putU24(chunk + 12, 0);
    if (headerHasAudio_) {
        putSplitU16(chunk + 15, audio_.sampleRate / irate);
    } else {
        putU16(chunk + 15, 0);
    }
    chunk[17] = static_cast<std::uint8_t>((slot.topCardRow * 8) | 3);
    chunk[18] = static_cast<std::uint8_t>(slot.roleCount);
    putU24(chunk + 19, 0);
    length += kVideoChunkLength;

    std::memcpy(headerBytes_, p, static_cast<std::size_t>(length));
    headerLength_ = length;
    file.write(p, static_cast<std::size_t>(length));
    bytesWritten_ = length;
    file.setLength(static_cast<std::uint64_t>(length));
}

void StreamMuxer::audioLimits(double t, Plan& plan) {
    plan.audioMin = 0;
    plan.audioMax = 0;
    if (!audio_.hasSamples()) return;
    int inStream = framesInStream();
    if (inStream >= 2) {
        std::int64_t free = audio_.credit(t - lastFrameTime_);
        double level = audio_.level;  // what the buffer holds at this frame's time
        plan.audioMax = free * 15 / 16;
        if (plan.audioMax < 40) plan.audioMax = 0;
        std::int64_t shortfall = truncatedInt(kCapacity * 0.4 - level);
        plan.audioMin = shortfall > 0 ? shortfall + 40 : 0;
    } else if (inStream == 1) {
        plan.audioMax = truncatedInt(kCapacity - audio_.level - 16);
        audioRoom_ = static_cast<double>(plan.audioMax);
        if (plan.audioMax < 0) plan.audioMax = 0;
        plan.audioMin = 0;
    } else {
        plan.audioMin = 2 * kCapacity / 5;
        plan.audioMax = 3 * kCapacity / 5;
        audioRoom_ = 3 * kCapacity / 5;
    }
    plan.audioMax = std::min<std::int64_t>(plan.audioMax, audio_.bytesLeft());
    plan.audioMin = std::min(plan.audioMin, plan.audioMax);
}

std::uint32_t StreamMuxer::frameBudget(double t, Plan& plan) const {
    std::int64_t allowance = std::int64_t{truncatedInt((t - lastCodedTime_) * bwidth)} - carry_;
    // A stream that starts at time 0 gives its first frame a second and a half.
    if (allowance == 0 && framesOffered_ == 0) allowance = 3 * std::int64_t{bwidth} / 2;
    plan.allowance = allowance;
    std::int64_t videoBudget = framesOffered_ == 0 ? allowance : allowance - plan.audioMin;
    // An overspent stream offers nothing, so the frame is dropped rather than accepted at any size.
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(videoBudget, 0, 0xFFFFFFFF));
}

void StreamMuxer::advanceOutputClock(double t) {
    double period = 1.0 / irate;
    int steps = 0;
    while (t - nextOutputTime_ >= period) {
        double next = nextOutputTime_ + period;
        if (next == nextOutputTime_) break;  // the period no longer moves the clock
        nextOutputTime_ = next;
        if (++steps == 1000000 && t - nextOutputTime_ >= period) {
            // A gap of a million periods: move over it at once instead of period by period.
            nextOutputTime_ += std::floor((t - nextOutputTime_) / period) * period;
        }
    }
    nextOutputTime_ += 1.0 / rate;
}

void StreamMuxer::planFrame(Plan& plan, int codedSize) {
    std::int64_t c = codedSize;
    std::int64_t q = c / 240;
    // What is left once the video has its packet heads and frame number.
    std::int64_t rest = plan.allowance - 4 * q - c - 6;
    if (rest + 4 < kSmallestAudioPacket) {
        plan.audioPlan = 0;
        plan.balance = -rest;
    } else {
        plan.audioPlan = rest - 4;
        plan.balance = -6 - 4 * q;
        if (plan.audioPlan > plan.audioMax) {
            if (!plan.firstFrame) plan.balance = plan.balance - plan.audioPlan + plan.audioMax;
            plan.audioPlan = plan.audioMax;
        }
    }
    plan.videoLeft = c;
}

void StreamMuxer::giveUpAudioRest(Plan& plan) {
    plan.audioPlan -= plan.audioLeft;
    plan.balance -= plan.audioLeft;
    plan.audioLeft = 0;
}

bool StreamMuxer::sendPackets(File& file, Plan& plan, FrameReport& report) {
    plan.audioLeft = plan.audioPlan;
    plan.overhead = 0;
    bool toggle = false;
    bool firstVideoPacket = true;
    int quietRounds = 0;  // consecutive rounds that wrote no packet and drained nothing
    for (;;) {
        if (plan.audioLeft == 0 && plan.videoLeft == 0) break;
        bool wrote = false;
        bool toVideo = false;

        std::int64_t n = 0;
        if (plan.audioLeft >= 1 && plan.audioLeft < kSmallestAudioPacket) {
            n = audioRoom_ >= kSmallestAudioPacket ? kSmallestAudioPacket : 0;
        } else if (plan.audioLeft >= kSmallestAudioPacket) {
            n = plan.audioLeft <= audioRoom_ ? plan.audioLeft : truncatedInt(audioRoom_);
            if (n < kSmallestAudioPacket) n = 0;
        }
        // Small audio rests wait for a later frame while the file has more; the player cannot take less
        // than a packet's worth once the video is out.
        bool smallRest = plan.audioLeft >= 1 && plan.audioLeft < kSmallestAudioPacket && audio_.hasSamples();
        if (smallRest || (plan.videoLeft == 0 && n < kSmallestAudioPacket)) {
            giveUpAudioRest(plan);
            if (plan.videoLeft == 0) break;
            toVideo = true;
        }
        if (!toVideo && (plan.audioLeft == 0 || (toggle && plan.videoLeft > 0) || n <= 0)) toVideo = true;
        if (!toVideo) {
            if (plan.videoLeft == 0) {
                bool enoughAudio = plan.audioPlan - plan.audioLeft >= plan.audioMin;
                if (enoughAudio && plan.balance - plan.audioLeft + plan.overhead + audioRoom_ >= 0) {
                    giveUpAudioRest(plan);
                    break;
                }
                if (plan.audioLeft > audioRoom_) {
                    std::int64_t cut = truncatedInt(static_cast<double>(plan.audioLeft) - audioRoom_);
                    plan.audioPlan -= cut;
                    plan.balance -= cut;
                    plan.audioLeft = n = truncatedInt(audioRoom_);
                }
            }
            if (n > plan.audioLeft || plan.firstFrame) n = plan.audioLeft;
            wrote = sendAudio(file, plan, static_cast<int>(std::min<std::int64_t>(n, kMaxAudioPayload)), report);
        }

        // Video step.
        toggle = !toggle;
        if (plan.videoLeft == 0) {
            if (plan.audioLeft > 0) continue;
            break;
        }
        int drained = sendVideo(file, plan, firstVideoPacket, report);
        if (drained > 0) {
            firstVideoPacket = false;
            quietRounds = 0;
            continue;
        }
        quietRounds = wrote ? 0 : quietRounds + 1;
        // While audio is pending the loop goes on, as long as some round still writes something.
        if (plan.audioLeft > 0 && quietRounds < 2) continue;
        if (drained == 0) break;
        return false;  // nothing to send although video was expected, or an invalid command
    }
    return true;
}

bool StreamMuxer::sendAudio(File& file, Plan& plan, int n, FrameReport& report) {
    std::uint8_t* payload = packetBuffer_ + kPacketHead;
    int got = audio_.read(payload, n);
    if (got <= 0) {
        // The file holds less than its length promised: the rest of this frame's audio is given up.
        giveUpAudioRest(plan);
        return false;
    }
    packetBuffer_[0] = 0x41;
    packetBuffer_[1] = 0x31;
    putU16(packetBuffer_ + 2, static_cast<std::uint32_t>(got));
    file.write(packetBuffer_, static_cast<std::size_t>(kPacketHead + got));
    plan.overhead += kPacketHead;
    plan.audioLeft -= got;
    ++report.audioPackets;
    report.audioBytes += got;
    samplesSent_ = truncatedInt(got / audio_.bytesPerSample + samplesSent_);
    audioRoom_ -= got;
    // The buffer keeps playing while the packet is on its way.
    if (framesInStream() > 1) audioRoom_ += audio_.bytesFor(static_cast<double>(got + kPacketHead) / bwidth);
    return true;
}

int StreamMuxer::sendVideo(File& file, Plan& plan, bool firstPacket, FrameReport& report) {
    int numberBytes = firstPacket ? kFrameNumberBytes : 0;
    int space = maxVideoPayload - numberBytes;
    CodeStats drained = encoder_->drain(packetBuffer_ + kPacketHead + numberBytes, space, firstPacket);
    int count = drained.sum().bytes;
    if (count > space) return -1;  // more than the packet can hold: the encoder is not to be trusted
    if (count <= 0) return count;

    plan.videoLeft = std::max<std::int64_t>(plan.videoLeft - count, 0);
    report.codeStats.add(drained);
    plan.overhead += kPacketHead;
    int payload = count + numberBytes;
    packetBuffer_[0] = 0x56;
    packetBuffer_[1] = firstPacket ? 0x30 : 0xB0;
    putU16(packetBuffer_ + 2, static_cast<std::uint32_t>(payload));
    if (firstPacket) putU16(packetBuffer_ + kPacketHead, static_cast<std::uint32_t>(framesOffered_));
    file.write(packetBuffer_, static_cast<std::size_t>(kPacketHead + payload));
    ++report.videoPackets;
    report.videoBytes += payload;
    if (framesInStream() > 1) audioRoom_ += audio_.bytesFor(static_cast<double>(payload + kPacketHead) / bwidth);
    return count;
}

void StreamMuxer::settleAccount(double t, const Plan& plan, FrameReport& report) {
    carry_ = plan.firstFrame ? 0 : plan.overhead + report.videoBytes + plan.audioPlan - plan.allowance;
    audioRoom_ = audio_.bytesFor(static_cast<double>(carry_) / bwidth) + (kCapacity - audio_.level) * 0.9375;
    if (audioRoom_ < 0) audioRoom_ = 0;
    lastCodedTime_ = t;

    if (carry_ >= 0) {
        report.unusedBytes = clampedInt(-carry_);
        return;
    }
    // An underspend is carried to the next frame only as far as it can be put to use there.
    std::int64_t limit = truncatedInt(audioRoom_ + 4);
    std::int64_t packets = (-carry_) / 240;
    if (limit >= 240 || packets >= 2 || (packets == 1 && report.videoPackets == 1)) limit += 240;
    if (-carry_ > limit) {
        report.unusedBytes = clampedInt(-carry_ - limit);
        carry_ = -limit;
    } else {
        report.unusedBytes = 0;
    }
}

void StreamMuxer::updateHeader(File& file) {
    std::uint64_t length = file.length();
    bytesWritten_ = clampedInt(static_cast<std::int64_t>(std::min<std::uint64_t>(length, INT32_MAX)));
    std::uint8_t field[4];
    putU32(field, static_cast<std::uint32_t>(bytesWritten_ - kFileHeadLength));
    file.seek(kLengthOffset);
    file.write(field, 4);
    if (headerHasAudio_) {
        putU32(field, static_cast<std::uint32_t>(samplesSent_));
        file.seek(kSamplesOffset);
        file.write(field, 4);
    }
    putU24(field, static_cast<std::uint32_t>(framesInStream()));
    file.seek(headerHasAudio_ ? kFramesOffsetWithAudio : kFramesOffsetWithoutAudio);
    file.write(field, 3);
    if (samplesSent_ != 0 && headerHasAudio_) {
        double audioSeconds = samplesSent_ / audio_.sampleRate;
        putU24(field, asU32((bytesWritten_ - samplesSent_ * 0.25) / audioSeconds));
        file.seek(kVideoRateOffset);
        file.write(field, 3);
    }
}

void StreamMuxer::abandonFrame(File& file, const Undo& undo, FrameReport& report) {
    report.abort = true;
    report.videoPackets = report.audioPackets = report.videoBytes = report.audioBytes = 0;
    samplesSent_ = undo.samplesSent;
    bytesWritten_ = undo.bytesWritten;
    videoPackets_ = undo.videoPackets;
    audioPackets_ = undo.audioPackets;
    // Cut the stream back to its last complete frame and put the header's totals back to match.
    try {
        file.setLength(undo.length);
        if (undo.length != 0) {
            if (framesInStream() == 0) {
                file.seek(0);
                file.write(headerBytes_, static_cast<std::size_t>(headerLength_));
            } else {
                updateHeader(file);
                if (headerHasAudio_ && samplesSent_ == 0) {
                    std::uint8_t zero[3] = {};
                    file.seek(kVideoRateOffset);
                    file.write(zero, 3);
                }
            }
        }
    } catch (const FileError&) {
        // The failure has been reported; the stream keeps what could not be undone.
    }
    file.close();
}

}  // namespace zov
