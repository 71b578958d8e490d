// Writes the ZOVF video stream: decides which pictures become frames, gives the encoder a byte budget that
// keeps the stream within its bandwidth, interleaves the audio so that the player's buffer neither
// overflows nor runs dry, and keeps the header's totals current after every frame.
#pragma once

#include "frameconv/video/audio_source.h"
#include "frameconv/video/code_stats.h"
#include "frameconv/video/frame_encoder.h"
#include "frameconv/video/player_cost.h"
#include "formats/zovf_container.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zov {

class File;
class InputFiles;
class VicPicture;

/// What happened to one picture handed to the muxer.
struct FrameReport {
    EncodeResult encodeResult;  // exportResult is the frame's bitmap byte count
    CodeStats codeStats;        // the commands that went into this frame's packets
    int videoPackets = 0;
    int audioPackets = 0;
    int videoBytes = 0;   // payload bytes of this frame's video packets
    int audioBytes = 0;   // payload bytes of this frame's audio packets
    int unusedBytes = 0;  // bandwidth given up at this frame; negative when the frame overspent
    bool dropped = false;  // the picture is not part of the stream (so also a frame that had to be aborted)
    bool abort = false;    // the stream cannot be written or the encoder failed: stop the run; the stream
                           // is cut back to the frames before this one

    FrameReport() { codeStats.reset(); }
};

class StreamMuxer {
public:
    static constexpr int packetBufferSize = 4096;

    // ---- settings -------------------------------------------------------------------------------------
    int bwidth = 4000;    // stream bytes per second
    double irate = 4.0;   // source pictures per second
    double rate = 4.0;    // output frames per second
    void setOutputPath(std::string path) { outputPath_ = std::move(path); }
    /// The encoder that codes the frames; needed before the first compileFrame.
    void connect(FrameEncoder& encoder) { encoder_ = &encoder; }
    /// The files the run reads: the stream is never opened when it is one of them.
    void guardInputs(const InputFiles& inputs) { inputs_ = &inputs; }
    /// Compiles for a player: a frame is accepted only when the player has the time to make it ready between
    /// the switch of the frame before it and its own time (the time of pictures left out goes to the next).
    void compileFor(PlayerCost* player) { player_ = player; }
    /// The audio to interleave; open it before the first frame (it stays empty otherwise).
    AudioSource& audio() { return audio_; }
    const AudioSource& audio() const { return audio_; }

    /// Handles one converted picture whose time stamp (seconds) is t.
    FrameReport compileFrame(VicPicture& picture, double t);

    // ---- counters for the totals report ----------------------------------------------------------------
    int framesOffered() const { return framesOffered_; }
    int framesDropped() const { return framesDropped_; }
    int framesInStream() const { return framesOffered_ - framesDropped_; }
    int videoPackets() const { return videoPackets_; }
    int audioPackets() const { return audioPackets_; }
    int samplesSent() const { return samplesSent_; }
    int bytesWritten() const { return bytesWritten_; }

    // ---- bandwidth account, for inspection ---------------------------------------------------------------
    std::int64_t carry() const { return carry_; }
    double audioRoom() const { return audioRoom_; }
    double nextOutputTime() const { return nextOutputTime_; }

private:
    struct Plan;
    struct Undo;

    std::unique_ptr<File> openStream();
    void writeHeader(File& file);
    void audioLimits(double t, Plan& plan);
    std::uint32_t frameBudget(double t, Plan& plan) const;
    /// The player's time for the frame at t as the encoder's condition for accepting it.
    void playerBudget(double t);
    void advanceOutputClock(double t);
    void planFrame(Plan& plan, int codedSize);
    static void giveUpAudioRest(Plan& plan);
    /// Writes the frame's packets, alternating audio and video; false when the frame has to be abandoned.
    bool sendPackets(File& file, Plan& plan, FrameReport& report);
    /// The audio bytes the next packet can carry (0: none this round).
    std::int64_t audioPacketRoom(const Plan& plan) const;
    /// Whether the audio left of this frame waits for a later one.
    bool audioRestWaits(const Plan& plan, std::int64_t packetRoom) const;
    /// Once the video is out: true when the audio sent is enough and the rest is given up; otherwise the
    /// plan (and the packet) shrink to what the player's buffer still takes.
    bool audioDoneAfterVideo(Plan& plan, std::int64_t& packetRoom);
    bool sendAudio(File& file, Plan& plan, int n, FrameReport& report);
    int sendVideo(File& file, Plan& plan, bool firstPacket, FrameReport& report);
    void settleAccount(double t, const Plan& plan, FrameReport& report);
    void updateHeader(File& file);
    void abandonFrame(File& file, const Undo& undo, FrameReport& report);

    std::string outputPath_;
    FrameEncoder* encoder_ = nullptr;
    PlayerCost* player_ = nullptr;
    bool playerHasFrame_ = false;  // the player's first frame is made ready before its clock starts
    const InputFiles* inputs_ = nullptr;
    AudioSource audio_;
    bool headerHasAudio_ = false;
    std::uint8_t headerBytes_[StreamHeadLayout{true}.length()] = {};  // the header as first written, for putting a failed run back
    int headerLength_ = 0;

    std::int64_t carry_ = 0;
    double audioRoom_ = 0;
    double lastCodedTime_ = 0;
    double lastFrameTime_ = 0;
    double nextOutputTime_ = 0;
    int framesOffered_ = 0;
    int framesDropped_ = 0;
    int videoPackets_ = 0;
    int audioPackets_ = 0;
    int samplesSent_ = 0;
    int bytesWritten_ = 0;
    std::uint8_t packetBuffer_[packetBufferSize] = {};
};

}  // namespace zov
