#include "frameconv/app/totals_report.h"

#include "common/console/console.h"
#include "frameconv/video/code_stats.h"

namespace zov {

void printTotalsReport(const Options& o, const RunTotals& t, const StreamCounters& s, const CodeStats* runStats) {
    const int sourceFrames = o.compile - 1;
    const int codedFrames = s.framesOffered - s.framesDropped;
    const double n = codedFrames;
    const double written = s.bytesWritten;
    const int packets = s.videoPackets + s.audioPackets;

    out() << "Video (" << sourceFrames << " source frames): raw size " << t.rawSourceBytes << " byt, " << eol;
    out() << "      (" << codedFrames << " coded frames):  raw size " << t.rawCodedBytes << " byt, " << eol;
    out() << "      Coded size: " << t.codedBytes << " byt, " << (100 - t.codedBytes * 100 / t.rawCodedBytes)
          << "% saved." << eol;
    if (t.audioBytes != 0) out() << "Audio: " << t.audioBytes << " byt" << eol;
    if (o.verbose >= 2) out() << "Average luminance error " << t.lumaErrorSum / sourceFrames << eol;
    out() << "Muxer (" << codedFrames << " frames, " << s.framesDropped << " dropped) " << s.bytesWritten
          << " byt; " << (1 - written / t.rawCodedBytes) * 100 << "% saved, "
          << (written - t.codedBytes - t.audioBytes) * 100 / written << "% overhead" << eol;
    if (o.verbose >= 2) {
        const double audioSeconds = t.audioBytes * 4 / o.aRate;
        out() << " " << packets << " packets = " << s.videoPackets << " video + " << s.audioPackets << " audio; "
              << packets / n << " pkt (" << written / n << " byt) per frame." << eol;
        out() << "Bandwidth " << written / audioSeconds << " byt/sec, " << t.unusedBytes << " bytes unused ("
              << t.unusedBytes / n << " byt/frame)" << eol;
    }
    if (o.verbose == 3 && runStats) runStats->printReport();
}

}  // namespace zov
