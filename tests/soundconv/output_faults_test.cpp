// soundconv when its output fails: every create, open, write, seek and length change failing in turn, into a
// new file and over an older one (/y). Each failure is reported with the system's text and ends the run with
// exit code 2; what is on disk is the header and whole blocks of the sound, with a length field that is
// either right or still 0, and an older file is only touched when /y allows it.
#include "wave_builder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zov::test {
namespace {

const std::string kWriteError = "\r\nWrite error: No space left on device\n";
const std::string kSourceSeekError = "\r\nRead error: No space left on device\n";
const std::string kNotOpened = "\r\nCouldn't open destination: out.bin\n";
const Bytes kOlder(5000, 0xEE);

Bytes source() {
    WaveBuilder wave;
    for (int i = 0; i < 2500; ++i) wave.samples.push_back(static_cast<unsigned char>(i * 7 + i / 300));
    return wave.build();
}

std::uint32_t lengthField(const Bytes& file) {
    return static_cast<std::uint32_t>(file[4] | file[5] << 8 | file[6] << 16 | file[7] << 24);
}

struct Outcome {
    int code = 0;
    std::string text;
    Bytes file;
    bool exists = false;
};

Outcome convert(bool overwrite, FileOp op, int failing, SoundRun& run) {
    if (overwrite) run.disk.addFile("out.bin", kOlder);
    if (failing >= 0) run.disk.failAt(op, failing);
    Outcome outcome;
    std::vector<std::string> options = {"/f", "8000", "/n", "8"};
    if (overwrite) options.push_back("/y");
    outcome.code = run.run(source(), options);
    outcome.text = run.text();
    outcome.exists = run.disk.exists("out.bin");
    outcome.file = run.output();
    return outcome;
}

TEST(SoundOutputFaults, EveryFailingOutputOperationIsReportedAndLeavesWholeBlocks) {
    for (bool overwrite : {false, true}) {
        SoundRun cleanRun;
        const Outcome clean = convert(overwrite, FileOp::Write, -1, cleanRun);
        ASSERT_EQ(clean.code, 0);
        const Bytes expected = concat(zovHeader(2520, 8000, 8), sampleBytes(clean.file));
        ASSERT_EQ(clean.file, expected);
        ASSERT_EQ(clean.file.size(), 2520u);

        const FileOp opening = overwrite ? FileOp::OpenExisting : FileOp::Create;
        for (FileOp op : {opening, FileOp::Write, FileOp::Seek, FileOp::SetLength}) {
            for (int n = 0; n < cleanRun.disk.calls(op); ++n) {
                SCOPED_TRACE((overwrite ? "over an older file, op " : "new file, op ") +
                             std::to_string(static_cast<int>(op)) + " call " + std::to_string(n));
                SoundRun run;
                const Outcome failed = convert(overwrite, op, n, run);
                EXPECT_EQ(failed.code, 2);
                const bool untouched = op == opening || (op == FileOp::Seek && n == 0);
                if (untouched) {
                    // The destination did not open, or the source could not be positioned at its sound data.
                    const std::string announced = overwrite ? "out.bin already exists, and will be overwritten.\n" : "";
                    EXPECT_EQ(failed.text, announced + (op == opening ? kNotOpened : kSourceSeekError));
                    EXPECT_EQ(failed.exists, overwrite);
                    EXPECT_EQ(failed.file, overwrite ? kOlder : Bytes{});
                    continue;
                }
                EXPECT_NE(failed.text.find(kWriteError), std::string::npos) << failed.text;
                if (failed.file.empty()) {
                    // The header write failed: nothing was taken, and the file was cut at position 0.
                    EXPECT_EQ(op, FileOp::Write);
                    EXPECT_EQ(n, 0);
                    continue;
                }
                // Header and whole blocks, as far as they were written; an older file's rest only when the
                // cut itself failed.
                ASSERT_GE(failed.file.size(), 20u);
                const std::size_t written = std::min(failed.file.size(), clean.file.size());
                EXPECT_TRUE(std::equal(failed.file.begin() + 8, failed.file.begin() + written, clean.file.begin() + 8));
                EXPECT_TRUE(std::all_of(failed.file.begin() + written, failed.file.end(),
                                        [](unsigned char b) { return b == 0xEE; }));
                EXPECT_TRUE((written - 20) % 1024 == 0 || written == clean.file.size()) << written;
                // The length field is right unless its own writing failed (the cut, the seek to it, the write).
                const bool lengthFieldFailed = op != FileOp::Write || n == cleanRun.disk.calls(FileOp::Write) - 1;
                EXPECT_EQ(lengthField(failed.file), lengthFieldFailed ? 0u : failed.file.size() - 8);
                if (failed.file.size() > clean.file.size()) {
                    EXPECT_EQ(op, FileOp::SetLength);
                }
            }
        }
    }
}

}  // namespace
}  // namespace zov::test
