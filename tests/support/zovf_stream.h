// A reader for ZOVF video streams, for tests: it takes a stream apart into its header fields, its packets and
// its frames, checks that every packet is well formed and every video payload holds whole segment commands,
// and compares the header's totals with what the packets hold.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zov::testing {

/// Length of the segment command that starts with this byte; 0 for a byte that no encoder produces.
inline int segmentCommandLength(std::uint8_t first) {
    if (first >= 0x02 && first <= 0x3F) return 1 + (first & 0x3F);  // Raw
    if (first >= 0x41 && first <= 0x6F) return 2;                    // RLE
    if (first >= 0x70 && first <= 0x7F) return 2;                    // Pat_Q
    if (first >= 0x80 && first <= 0x8F) return 2;                    // CopyQ
    if (first >= 0x90 && first <= 0x97) return 1;                    // DestQ
    if (first >= 0x98 && first <= 0x9F) return 2;                    // Dest
    if (first >= 0xA0 && first <= 0xAF) return 3;                    // Copy
    if (first >= 0xB0 && first <= 0xBF) return 3;                    // RLE_L
    if (first >= 0xC0 && first <= 0xCF) return 3;                    // Pat
    if (first >= 0xD1 && first <= 0xDF) return 4;                    // Pat_L
    if (first == 0xF0) return 2;                                     // DestV
    if (first == 0xF1) return 6;                                     // Frame
    return 0;
}

/// The statistics class of a segment command's first byte.
inline int segmentCommandClass(std::uint8_t first) {
    if (first < 0x70) return first & 0xC0;
    if (first >= 0x98 && first <= 0x9F) return 152;
    if (first <= 0xEF) return first & 0xF0;
    return first;
}

struct ZovfPacket {
    char kind = 0;      // 'A' audio, 'V' video
    bool first = false; // a video packet that opens a frame
    int payload = 0;    // payload bytes
    int frame = -1;     // index into ZovfStream::frames for video packets
    bool endsFrame = false;  // a video packet that holds its frame's Frame command
};

struct ZovfFrame {
    int number = 0;                      // the frame number of its first packet
    std::vector<std::uint8_t> commands;  // every command byte of the frame, in order
    int packets = 0;
    bool complete = false;  // ended by a Frame command
};

struct ZovfStream {
    std::uint32_t lengthField = 0;
    bool hasAudio = false;
    int audioRate = 0;               // the two bytes as a number
    std::uint32_t samplesField = 0;  // samples sent, as the header says
    int width = 0, height = 0;
    std::uint32_t framesField = 0;
    int samplesPerFrame = 0;
    int topByte = 0;
    int roleCount = 0;
    std::uint32_t videoRateField = 0;
    int headerLength = 0;

    std::vector<ZovfPacket> packets;
    std::vector<ZovfFrame> frames;
    std::vector<std::uint8_t> audio;  // every audio payload byte, in order
    int videoPackets = 0, audioPackets = 0;
};

namespace detail {
inline std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
}
}  // namespace detail

/// Takes a stream apart; returns "" when it is well formed, else what is wrong with it.
inline std::string parseZovf(const std::vector<std::uint8_t>& b, ZovfStream& s) {
    using detail::le;
    s = ZovfStream{};
    if (b.size() < 8 || b[0] != 'Z' || b[1] != 'O' || b[2] != 'V' || b[3] != 'F') return "no ZOVF signature";
    s.lengthField = le(b, 4, 4);
    std::size_t at = 8;
    bool video = false;
    while (at < b.size() && b[at] == 0x48) {
        if (at + 4 > b.size()) return "cut chunk head";
        int type = b[at + 1];
        std::size_t len = le(b, at + 2, 2);
        if (at + 4 + len > b.size()) return "cut chunk";
        if (type == 0xC1) {
            if (video || s.hasAudio || len != 12 || at != 8) return "misplaced audio chunk";
            if (b[at + 4] != 'P' || b[at + 5] != 'C' || b[at + 6] != 'M' || b[at + 7] != 'V') return "audio tag";
            if (b[at + 10] != 2 || b[at + 11] != 1) return "audio format";
            s.hasAudio = true;
            s.audioRate = static_cast<int>(le(b, at + 8, 2));
            s.samplesField = le(b, at + 12, 4);
        } else if (type == 0xD6) {
            if (video || len != 18) return "misplaced video chunk";
            if (b[at + 4] != 'Q' || b[at + 5] != '5' || b[at + 6] != 'R' || b[at + 7] != 'V') return "video tag";
            video = true;
            s.width = static_cast<int>(le(b, at + 8, 2));
            s.height = static_cast<int>(le(b, at + 10, 2));
            s.framesField = le(b, at + 12, 3);
            s.samplesPerFrame = static_cast<int>(le(b, at + 15, 2));
            s.topByte = b[at + 17];
            s.roleCount = b[at + 18];
            s.videoRateField = le(b, at + 19, 3);
        } else {
            return "unknown chunk type " + std::to_string(type);
        }
        at += 4 + len;
    }
    if (!video) return "no video chunk";
    s.headerLength = static_cast<int>(at);

    while (at < b.size()) {
        if (at + 4 > b.size()) return "cut packet head at " + std::to_string(at);
        ZovfPacket p;
        p.payload = static_cast<int>(le(b, at + 2, 2));
        std::size_t body = at + 4;
        if (body + static_cast<std::size_t>(p.payload) > b.size()) return "cut packet at " + std::to_string(at);
        if (b[at] == 'A' && b[at + 1] == '1') {
            p.kind = 'A';
            if (p.payload == 0) return "empty audio packet";
            s.audio.insert(s.audio.end(), b.begin() + static_cast<long>(body),
                           b.begin() + static_cast<long>(body) + p.payload);
            ++s.audioPackets;
        } else if (b[at] == 'V' && (b[at + 1] == 0x30 || b[at + 1] == 0xB0)) {
            p.kind = 'V';
            p.first = b[at + 1] == 0x30;
            if (p.payload > 254) return "video payload over 254 bytes at " + std::to_string(at);
            std::size_t commands = body;
            if (p.first) {
                if (!s.frames.empty() && !s.frames.back().complete) return "frame opened before the last ended";
                if (p.payload < 2) return "first video packet without frame number";
                ZovfFrame f;
                f.number = static_cast<int>(le(b, body, 2));
                s.frames.push_back(f);
                commands += 2;
            } else if (s.frames.empty() || s.frames.back().complete) {
                return "continuation packet outside a frame at " + std::to_string(at);
            }
            ZovfFrame& f = s.frames.back();
            std::size_t end = body + static_cast<std::size_t>(p.payload);
            if (commands == end) return "video packet without commands at " + std::to_string(at);
            while (commands < end) {
                if (f.complete) return "commands after the Frame command";
                int len = segmentCommandLength(b[commands]);
                if (len == 0) return "invalid command byte at " + std::to_string(commands);
                if (commands + static_cast<std::size_t>(len) > end) return "command split at " + std::to_string(commands);
                f.commands.insert(f.commands.end(), b.begin() + static_cast<long>(commands),
                                  b.begin() + static_cast<long>(commands) + len);
                if (b[commands] == 0xF1) f.complete = true;
                commands += static_cast<std::size_t>(len);
            }
            ++f.packets;
            p.endsFrame = f.complete;
            p.frame = static_cast<int>(s.frames.size()) - 1;
            ++s.videoPackets;
        } else {
            return "unknown packet at " + std::to_string(at);
        }
        s.packets.push_back(p);
        at = body + static_cast<std::size_t>(p.payload);
    }
    if (!s.frames.empty() && !s.frames.back().complete) return "last frame not ended";
    return "";
}

/// Parses a stream and checks its header totals against its packets, and its audio against the start of
/// the audio file (audio rate in Hz as given to the muxer); returns "" when everything agrees.
inline std::string checkZovf(const std::vector<std::uint8_t>& b, ZovfStream& s,
                             const std::vector<std::uint8_t>& audioFile = {}, double audioRate = 0) {
    std::string problem = parseZovf(b, s);
    if (!problem.empty()) return problem;
    bool lengthAgrees = s.lengthField == b.size() - 8 || (s.frames.empty() && s.lengthField == 0);
    if (!lengthAgrees)
        return "length field " + std::to_string(s.lengthField) + " for " + std::to_string(b.size()) + " bytes";
    if (s.framesField != s.frames.size())
        return "header counts " + std::to_string(s.framesField) + " frames, stream holds " +
               std::to_string(s.frames.size());
    if (!s.hasAudio) {
        if (!s.audio.empty()) return "audio packets without audio chunk";
        return "";
    }
    if (s.samplesField != 4 * s.audio.size())
        return "header counts " + std::to_string(s.samplesField) + " samples, stream holds " +
               std::to_string(4 * s.audio.size());
    if (s.audio.size() > audioFile.size()) return "more audio than the file holds";
    for (std::size_t i = 0; i < s.audio.size(); ++i)
        if (s.audio[i] != audioFile[i]) return "audio byte " + std::to_string(i) + " differs from the file";
    std::uint32_t rate = 0;
    if (!s.audio.empty() && audioRate > 0) {
        double samples = static_cast<double>(s.samplesField);
        rate = static_cast<std::uint32_t>((static_cast<double>(b.size()) - samples * 0.25) / (samples / audioRate)) &
               0xFFFFFF;
    }
    if (audioRate > 0 && s.videoRateField != rate)
        return "video rate field " + std::to_string(s.videoRateField) + ", expected " + std::to_string(rate);
    return "";
}

}  // namespace zov::testing
