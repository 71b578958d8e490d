// Reads back what a 35-track disk image holds: the directory's programs with their names and bytes, by the
// layout of the disk format (the directory from track 18 sector 1 on, files as chains of sectors).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zov::testing {

struct DiskFile {
    std::string name;  // PETSCII letters as ASCII upper case
    int type = 0;      // 0x82 for a closed program file
    std::vector<std::uint8_t> bytes;
};

inline std::size_t sectorOffset(int track, int sector) {
    int before = 0;
    for (int t = 1; t < track; ++t) before += t <= 17 ? 21 : t <= 24 ? 19 : t <= 30 ? 18 : 17;
    return static_cast<std::size_t>(before + sector) * 256;
}

/// The files of the image in directory order; empty when the image is not 174848 bytes long or a chain
/// leads off the disk.
inline std::vector<DiskFile> readDisk(const std::vector<std::uint8_t>& image) {
    std::vector<DiskFile> files;
    if (image.size() != 174848) return files;
    auto sector = [&](int track, int number) -> const std::uint8_t* {
        if (track < 1 || track > 35 || number < 0 || number > 20) return nullptr;
        return image.data() + sectorOffset(track, number);
    };
    int track = 18, number = 1;
    for (int hops = 0; track != 0 && hops < 19; ++hops) {
        const std::uint8_t* block = sector(track, number);
        if (!block) return {};
        for (int entry = 0; entry < 8; ++entry) {
            const std::uint8_t* e = block + entry * 32;
            if (e[2] == 0) continue;
            DiskFile file;
            file.type = e[2];
            for (int i = 5; i < 21 && e[i] != 0xA0; ++i) file.name += static_cast<char>(e[i]);
            int t = e[3], s = e[4];
            for (int blocks = 0; t != 0 && blocks < 700; ++blocks) {
                const std::uint8_t* data = sector(t, s);
                if (!data) return {};
                int last = data[0] == 0 ? data[1] : 255;
                file.bytes.insert(file.bytes.end(), data + 2, data + last + 1);
                t = data[0], s = data[1];
            }
            files.push_back(file);
        }
        track = block[0], number = block[1];
    }
    return files;
}

}  // namespace zov::testing
