#include "frameconv/video/stream_muxer.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/input_files.h"
#include "frameconv/picture/vic_picture.h"
#include "formats/stream_head.h"
#include "formats/stream_walk.h"
#include "formats/zovf_container.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zov {
namespace {

constexpr int kCapacity = AudioSource::capacity;
constexpr int kMaxAudioPayload = StreamMuxer::packetBufferSize - kPacketHeadLength;  // 4092
constexpr int kSmallestAudioPacket = 40;

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
        report.encodeResult.exportResult = picture.geometry.heightInCards * 320;
    } else {
        if (player_) playerBudget(t);
        report.encodeResult = encoder_->encodeFrame(picture, budget);
        if (player_ && report.encodeResult.codedSize > 0) {
            player_->accept();
            playerHasFrame_ = true;
        }
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
    headerHasAudio_ = audio_.hasSamples();
    const VicPicture& slot = encoder_->currentSlot();
    StreamHead streamHead;
    streamHead.withAudio = headerHasAudio_;
    if (headerHasAudio_) {
        streamHead.audioRate = audio_.sampleRate;
        streamHead.samplesPerPicture = audio_.sampleRate / irate;
        streamHead.samples = static_cast<std::uint32_t>(samplesSent_);
    }
    streamHead.width = slot.geometry.paddedWidth;
    streamHead.height = slot.geometry.paddedHeight;
    streamHead.topCardRow = slot.geometry.topCardRow;
    streamHead.roleCount = slot.geometry.roleCount;
    std::uint8_t* head = packetBuffer_;
    putStreamHead(head, streamHead);

    const int length = StreamHeadLayout{headerHasAudio_}.length();
    std::memcpy(headerBytes_, head, static_cast<std::size_t>(length));
    headerLength_ = length;
    file.write(head, static_cast<std::size_t>(length));
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

void StreamMuxer::playerBudget(double t) {
    const double time = t - lastCodedTime_ - player_->switchWait();
    const bool first = !playerHasFrame_;
    encoder_->acceptOnly([this, time, first](const std::uint8_t* commands, int length) {
        // Measured even for the first frame, which always has the time: the frames after it build on it.
        const double needed = player_->frameSeconds(commands, static_cast<std::size_t>(length));
        return first || needed <= time;
    });
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

std::int64_t StreamMuxer::audioPacketRoom(const Plan& plan) const {
    if (plan.audioLeft >= 1 && plan.audioLeft < kSmallestAudioPacket) {
        return audioRoom_ >= kSmallestAudioPacket ? kSmallestAudioPacket : 0;
    }
    if (plan.audioLeft < kSmallestAudioPacket) return 0;
    std::int64_t room = plan.audioLeft <= audioRoom_ ? plan.audioLeft : truncatedInt(audioRoom_);
    return room < kSmallestAudioPacket ? 0 : room;
}

bool StreamMuxer::audioRestWaits(const Plan& plan, std::int64_t packetRoom) const {
    // Small audio rests wait for a later frame while the file has more; the player cannot take less than a
    // packet's worth once the video is out.
    bool smallRest = plan.audioLeft >= 1 && plan.audioLeft < kSmallestAudioPacket && audio_.hasSamples();
    return smallRest || (plan.videoLeft == 0 && packetRoom < kSmallestAudioPacket);
}

bool StreamMuxer::audioDoneAfterVideo(Plan& plan, std::int64_t& packetRoom) {
    bool enoughAudio = plan.audioPlan - plan.audioLeft >= plan.audioMin;
    if (enoughAudio && plan.balance - plan.audioLeft + plan.overhead + audioRoom_ >= 0) {
        giveUpAudioRest(plan);
        return true;
    }
    if (plan.audioLeft > audioRoom_) {
        // The plan shrinks to what the player's buffer can still take.
        std::int64_t cut = truncatedInt(static_cast<double>(plan.audioLeft) - audioRoom_);
        plan.audioPlan -= cut;
        plan.balance -= cut;
        plan.audioLeft = packetRoom = truncatedInt(audioRoom_);
    }
    return false;
}

bool StreamMuxer::sendPackets(File& file, Plan& plan, FrameReport& report) {
    plan.audioLeft = plan.audioPlan;
    plan.overhead = 0;
    bool videoTurn = false;  // rounds alternate; on a video turn no audio goes out while video is left
    bool firstVideoPacket = true;
    int quietRounds = 0;  // consecutive rounds that wrote no packet and drained nothing
    while (plan.audioLeft != 0 || plan.videoLeft != 0) {
        // Audio step: at most one audio packet.
        bool audioSent = false;
        std::int64_t packetRoom = audioPacketRoom(plan);
        if (audioRestWaits(plan, packetRoom)) {
            giveUpAudioRest(plan);
            if (plan.videoLeft == 0) return true;
        } else if (plan.audioLeft != 0 && !(videoTurn && plan.videoLeft > 0) && packetRoom > 0) {
            if (plan.videoLeft == 0 && audioDoneAfterVideo(plan, packetRoom)) return true;
            if (packetRoom > plan.audioLeft || plan.firstFrame) packetRoom = plan.audioLeft;
            audioSent = sendAudio(file, plan, static_cast<int>(std::min<std::int64_t>(packetRoom, kMaxAudioPayload)),
                                  report);
        }
        videoTurn = !videoTurn;

        // Video step: at most one video packet.
        if (plan.videoLeft == 0) {
            if (plan.audioLeft > 0) continue;
            return true;
        }
        int drained = sendVideo(file, plan, firstVideoPacket, report);
        if (drained > 0) {
            firstVideoPacket = false;
            quietRounds = 0;
            continue;
        }
        // Nothing drained. While audio is pending the loop goes on, as long as some round still writes.
        quietRounds = audioSent ? 0 : quietRounds + 1;
        if (plan.audioLeft > 0 && quietRounds < 2) continue;
        // No video although some was expected (drained 0) ends the frame; a failed drain (an invalid
        // command, or more than a packet holds) fails it.
        return drained == 0;
    }
    return true;
}

bool StreamMuxer::sendAudio(File& file, Plan& plan, int n, FrameReport& report) {
    std::uint8_t* payload = packetBuffer_ + kPacketHeadLength;
    int got = audio_.read(payload, n);
    if (got <= 0) {
        // The file holds less than its length promised: the rest of this frame's audio is given up.
        giveUpAudioRest(plan);
        return false;
    }
    putPacketHead(packetBuffer_, PacketKind::Audio, static_cast<std::uint16_t>(got));
    file.write(packetBuffer_, static_cast<std::size_t>(kPacketHeadLength + got));
    plan.overhead += kPacketHeadLength;
    plan.audioLeft -= got;
    ++report.audioPackets;
    report.audioBytes += got;
    samplesSent_ = truncatedInt(got / audio_.bytesPerSample + samplesSent_);
    audioRoom_ -= got;
    // The buffer keeps playing while the packet is on its way.
    if (framesInStream() > 1) audioRoom_ += audio_.bytesFor(static_cast<double>(got + kPacketHeadLength) / bwidth);
    return true;
}

int StreamMuxer::sendVideo(File& file, Plan& plan, bool firstPacket, FrameReport& report) {
    int numberBytes = firstPacket ? kFrameNumberBytes : 0;
    int space = static_cast<int>(kMaxVideoPayload) - numberBytes;
    CodeStats drained = encoder_->drain(packetBuffer_ + kPacketHeadLength + numberBytes, space, firstPacket);
    int count = drained.sum().bytes;
    if (count > space) return -1;  // more than the packet can hold: the encoder is not to be trusted
    if (count <= 0) return count;

    plan.videoLeft = std::max<std::int64_t>(plan.videoLeft - count, 0);
    report.codeStats.add(drained);
    plan.overhead += kPacketHeadLength;
    int payload = count + numberBytes;
    putPacketHead(packetBuffer_, firstPacket ? PacketKind::FirstVideo : PacketKind::MoreVideo,
                  static_cast<std::uint16_t>(payload));
    if (firstPacket) putLe16(packetBuffer_ + kPacketHeadLength, static_cast<std::uint32_t>(framesOffered_));
    file.write(packetBuffer_, static_cast<std::size_t>(kPacketHeadLength + payload));
    ++report.videoPackets;
    report.videoBytes += payload;
    if (framesInStream() > 1) audioRoom_ += audio_.bytesFor(static_cast<double>(payload + kPacketHeadLength) / bwidth);
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
    const StreamHeadLayout layout{headerHasAudio_};
    std::uint64_t length = file.length();
    bytesWritten_ = clampedInt(static_cast<std::int64_t>(std::min<std::uint64_t>(length, INT32_MAX)));
    std::uint8_t head[sizeof headerBytes_];
    std::memcpy(head, headerBytes_, sizeof head);
    const StreamTotals totals{static_cast<std::uint64_t>(bytesWritten_), static_cast<std::uint32_t>(framesInStream()),
                              static_cast<std::uint64_t>(samplesSent_)};
    putStreamTotals(head, TotalsFields::of(layout), totals, audio_.sampleRate);
    // Field by field, as each total is kept current.
    auto writeField = [&](int at, std::size_t size) {
        file.seek(static_cast<std::uint64_t>(at));
        file.write(head + at, size);
    };
    writeField(kLengthFieldOffset, 4);
    if (headerHasAudio_) writeField(layout.samplesField(), 4);
    writeField(layout.framesField(), 3);
    if (samplesSent_ != 0 && headerHasAudio_) writeField(layout.byteRateField(), 3);
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
                    file.seek(static_cast<std::uint64_t>(StreamHeadLayout{headerHasAudio_}.byteRateField()));
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
