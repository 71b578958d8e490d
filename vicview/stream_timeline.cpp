#include "vicview/stream_timeline.h"

#include "common/console/console.h"
#include "formats/segment_commands.h"
#include "formats/displayed_frame.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zov {
namespace {

int classPosition(std::int32_t codeClass) {
    for (int i = 0; i < kCommandClassCount; ++i)
        if (kCommandClassOrder[i] == codeClass) return i;
    return -1;
}

std::string trimmed(const char* name) {
    std::string text = name;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

void StreamTimeline::sound(const StreamPacket& packet) {
    pendingAudio_ += packet.contentLength;
    ++pendingPackets_;
}

void StreamTimeline::video(const StreamPacket& packet, std::uint32_t frame) {
    // Frame numbers may leap far ahead (dropped pictures): one allocation for the leap, not one per doubling.
    if (rows_.capacity() < frame) rows_.reserve(std::max<std::size_t>(frame, 2 * rows_.capacity()));
    for (std::size_t number = rows_.size() + 1; number <= frame; ++number) rows_.emplace_back().number = static_cast<std::uint32_t>(number);
    TimelineRow& row = rows_.back();
    row.shown = true;
    row.audioBytes += pendingAudio_;
    row.audioPackets += pendingPackets_;
    pendingAudio_ = 0;
    pendingPackets_ = 0;
    ++row.videoPackets;
    row.videoBytes += packet.payloadLength;
}

void StreamTimeline::command(const SegmentCommand& command) {
    TimelineRow& row = rows_.back();
    const int position = classPosition(command.codeClass);
    if (position >= 0) ++row.commands[static_cast<std::size_t>(position)];
    if (command.kind == CommandKind::Frame)
        row.buffer = decodeFrameRegisters(command.data[0], command.data[1], command.data[2]).bitmap;
}

std::vector<TimelineRow> StreamTimeline::takeRows() {
    if (!rows_.empty()) {
        rows_.back().audioBytes += pendingAudio_;
        rows_.back().audioPackets += pendingPackets_;
    }
    pendingAudio_ = 0;
    pendingPackets_ = 0;
    return std::move(rows_);
}

std::string timelineCsv(const std::vector<TimelineRow>& rows, double irate) {
    std::string csv = "picture,time,shown,video_packets,video_bytes,audio_packets,audio_bytes,head_bytes";
    for (std::int32_t codeClass : kCommandClassOrder) {
        csv += ',';
        csv += trimmed(codeClassName(codeClass));
    }
    csv += ",buffer\n";
    for (const TimelineRow& row : rows) {
        csv += formatted("%lu,%g,%s,%d,%zu,%d,%zu,%zu", static_cast<unsigned long>(row.number), (row.number - 1) / irate,
                         row.shown ? "shown" : "dropped", row.videoPackets, row.videoBytes, row.audioPackets,
                         row.audioBytes, row.headBytes());
        for (int count : row.commands) csv += formatted(",%d", count);
        csv += row.shown ? formatted(",0x%04lX\n", static_cast<unsigned long>(row.buffer)) : ",\n";
    }
    return csv;
}

namespace {

// Chart geometry: plot area inside margins, one bar per picture.
constexpr double kLeft = 70, kRight = 190, kTop = 50, kBottom = 50, kPlotHeight = 300;
const char* const kVideoColour = "#3b6fb6";
const char* const kAudioColour = "#e69f00";
const char* const kHeadColour = "#999999";
const char* const kDroppedColour = "#c0392b";
const char* const kBandColour = "#2a9d4b";

/// Text as XML character data: a file name may hold any of the characters that mark up.
std::string xmlText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += static_cast<unsigned char>(c) < 0x20 ? '?' : c;  // control bytes are not allowed at all
        }
    }
    return escaped;
}

/// A step of 1, 2 or 5 times a power of ten that gives about five grid lines up to top.
double niceStep(double top) {
    double raw = top / 5, power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= raw) return factor * power;
    return 10 * power;
}

}  // namespace

std::string timelineSvg(const std::vector<TimelineRow>& rows, double irate, double bandwidth,
                        const std::string& bandwidthNote, const std::string& title) {
    double perPicture = bandwidth / irate;
    double highest = perPicture;
    for (const TimelineRow& row : rows) highest = std::max(highest, static_cast<double>(row.totalBytes()));
    double step = niceStep(highest * 1.1), top = std::ceil(highest * 1.1 / step) * step;
    double barPitch = rows.size() > 200 ? 3 : std::max(4.0, std::min(24.0, 900.0 / std::max<std::size_t>(rows.size(), 1)));
    double plotWidth = barPitch * static_cast<double>(std::max<std::size_t>(rows.size(), 1));
    double width = kLeft + plotWidth + kRight, height = kTop + kPlotHeight + kBottom;
    auto y = [&](double value) { return kTop + kPlotHeight - value / top * kPlotHeight; };

    std::string svg = formatted("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
                                "font-family=\"sans-serif\" font-size=\"12\">\n", width, height);
    svg += formatted("<rect width=\"%g\" height=\"%g\" fill=\"white\"/>\n", width, height);
    svg += formatted("<text x=\"%g\" y=\"20\" font-size=\"15\" font-weight=\"bold\">%s</text>\n", kLeft, xmlText(title).c_str());
    std::size_t total = 0;
    int dropped = 0;
    for (const TimelineRow& row : rows) {
        total += row.totalBytes();
        dropped += !row.shown;
    }
    double seconds = static_cast<double>(rows.size()) / irate;
    svg += formatted("<text x=\"%g\" y=\"36\">%zu bytes over %zu pictures (%.2f s): %.0f bytes/s; %d dropped</text>\n",
                     kLeft, total, rows.size(), seconds, seconds > 0 ? total / seconds : 0.0, dropped);
    for (double value = 0; value <= top + step / 2; value += step) {
        svg += formatted("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"#e0e0e0\"/>\n", kLeft, y(value),
                         kLeft + plotWidth, y(value));
        svg += formatted("<text x=\"%g\" y=\"%g\" text-anchor=\"end\">%g</text>\n", kLeft - 6, y(value) + 4, value);
    }
    // Picture numbers under the bars at round steps, about twenty of them (every one for short streams).
    std::size_t labelEvery = 1;
    for (std::size_t power = 1; rows.size() > 40 && rows.size() / labelEvery > 20; power *= 10)
        for (std::size_t factor : {1, 2, 5})
            if (rows.size() / labelEvery > 20) labelEvery = factor * power;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TimelineRow& row = rows[i];
        double x = kLeft + barPitch * static_cast<double>(i) + barPitch * 0.1, w = barPitch * 0.8, base = 0;
        for (auto [value, colour] : {std::pair{static_cast<double>(row.videoBytes), kVideoColour},
                                     std::pair{static_cast<double>(row.audioBytes), kAudioColour},
                                     std::pair{static_cast<double>(row.headBytes()), kHeadColour}}) {
            if (value > 0)
                svg += formatted("<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"%s\"/>\n", x, y(base + value),
                                 w, y(base) - y(base + value), colour);
            base += value;
        }
        if (!row.shown)
            svg += formatted("<text x=\"%g\" y=\"%g\" text-anchor=\"middle\" fill=\"%s\" font-weight=\"bold\">x</text>\n",
                             x + w / 2, kTop + kPlotHeight - 4, kDroppedColour);
        if (row.number % labelEvery == 0 || (row.number == 1 && labelEvery >= 5))
            svg += formatted("<text x=\"%g\" y=\"%g\" text-anchor=\"middle\" font-size=\"10\">%lu</text>\n", x + w / 2,
                             kTop + kPlotHeight + 14, static_cast<unsigned long>(row.number));
    }
    svg += formatted("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"2\" stroke-dasharray=\"6,3\"/>\n",
                     kLeft, y(perPicture), kLeft + plotWidth, y(perPicture), kBandColour);
    svg += formatted("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"black\"/>\n", kLeft, kTop, kLeft, kTop + kPlotHeight);
    svg += formatted("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"black\"/>\n", kLeft, kTop + kPlotHeight,
                     kLeft + plotWidth, kTop + kPlotHeight);
    svg += formatted("<text x=\"%g\" y=\"%g\" text-anchor=\"middle\">source picture (%g per second)</text>\n",
                     kLeft + plotWidth / 2, height - 12, irate);
    svg += formatted("<text transform=\"translate(18 %g) rotate(-90)\" text-anchor=\"middle\">bytes per picture</text>\n",
                     kTop + kPlotHeight / 2);
    double lx = kLeft + plotWidth + 16, ly = kTop + 10;
    for (auto [label, colour] : {std::pair{"video", kVideoColour}, std::pair{"audio", kAudioColour},
                                 std::pair{"packet heads", kHeadColour}}) {
        svg += formatted("<rect x=\"%g\" y=\"%g\" width=\"12\" height=\"12\" fill=\"%s\"/>\n", lx, ly, colour);
        svg += formatted("<text x=\"%g\" y=\"%g\">%s</text>\n", lx + 18, ly + 10, label);
        ly += 20;
    }
    svg += formatted("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"2\" stroke-dasharray=\"6,3\"/>\n",
                     lx, ly + 6, lx + 12, ly + 6, kBandColour);
    svg += formatted("<text x=\"%g\" y=\"%g\">bandwidth</text>\n", lx + 18, ly + 10);
    svg += formatted("<text x=\"%g\" y=\"%g\" font-size=\"10\">%g bytes/s</text>\n", lx + 18, ly + 23, bandwidth);
    svg += formatted("<text x=\"%g\" y=\"%g\" font-size=\"10\">%s</text>\n", lx + 18, ly + 35, xmlText(bandwidthNote).c_str());
    ly += 52;
    svg += formatted("<text x=\"%g\" y=\"%g\" fill=\"%s\" font-weight=\"bold\">x</text>\n", lx + 2, ly + 10, kDroppedColour);
    svg += formatted("<text x=\"%g\" y=\"%g\">dropped</text>\n", lx + 18, ly + 10);
    svg += "</svg>\n";
    return svg;
}

}  // namespace zov
