// soundconv on the machine's own file system, in a temporary directory.
#include "wave_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zov::test {
namespace {

namespace fs = std::filesystem;

class RealFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "soundconv-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string path(const std::string& name) const { return (root_ / name).string(); }

    void save(const std::string& name, const Bytes& bytes) const {
        fs::create_directories(fs::path(path(name)).parent_path());
        std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
    }

    Bytes load(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    int run(std::vector<std::string> args) {
        PlatformOverride use(nullptr, &console_);
        args.insert(args.begin(), "soundconv");
        return runSoundconv(args);
    }

    fs::path root_;
    StringConsole console_;
};

Bytes wave(Bytes samples) {
    WaveBuilder builder;
    builder.samples = std::move(samples);
    return builder.build();
}

TEST_F(RealFiles, DirectoryTreeIsConvertedIntoAMatchingTree) {
    save("in/a.wav", wave({0, 128, 255}));
    save("in/B.WAV", wave({128, 128}));
    save("in/sub/c.wav", wave({255}));
    save("in/notes.txt", Bytes{'h', 'i'});
    EXPECT_EQ(run({path("in"), path("out"), "/r", "/f", "8000"}), 0) << console_.output();

    EXPECT_EQ(load("out/a.BIN"), concat(zovHeader(22, 8000), {0x80, 0xFF}));
    EXPECT_EQ(load("out/B.BIN"), concat(zovHeader(21, 8000), {0x88}));
    EXPECT_EQ(load("out/sub/c.BIN"), concat(zovHeader(21, 8000), {0xFF}));
    EXPECT_FALSE(fs::exists(path("out/notes.BIN")));
    EXPECT_EQ(console_.output(), path("out/a.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n" +
                                     path("out/B.BIN") + " stats: max vol 8, clipped 0, silent 0 seconds.\n" +
                                     path("out/sub/c.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n");
}

TEST_F(RealFiles, OverwrittenLongerFileIsCutToTheNewLength) {
    save("in.wav", wave({10, 20, 30}));
    save("out.zov", Bytes(3000, 0x5A));
    EXPECT_EQ(run({path("in.wav"), path("out.zov"), "/y", "/n", "8", "/f", "8000"}), 0);
    EXPECT_EQ(load("out.zov"), concat(zovHeader(23, 8000, 8), {10, 20, 30}));
}

TEST_F(RealFiles, ExistingOutputWithoutYesIsLeftAlone) {
    save("in.wav", wave({10, 20, 30}));
    save("out.zov", Bytes(5, 1));
    EXPECT_EQ(run({path("in.wav"), path("out.zov")}), 2);
    EXPECT_EQ(console_.output(), path("out.zov") + " already exists, and will be skipped.\n");
    EXPECT_EQ(load("out.zov"), Bytes(5, 1));
}

}  // namespace
}  // namespace zov::test
