// Samples held on the disk between two passes over them, so that a track of any length takes no more memory
// than a block: an unnamed temporary file that the system removes when it is closed, whatever ends the run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace zov {

class SampleSpool {
public:
    SampleSpool() = default;
    ~SampleSpool();
    SampleSpool(const SampleSpool&) = delete;
    SampleSpool& operator=(const SampleSpool&) = delete;

    /// Makes the file; false with the system's reason.
    bool start(std::string& problem);
    /// Appends samples; false with the system's reason (a full disk).
    bool write(const std::vector<double>& samples, std::string& problem);
    /// Goes back to the first sample for reading; false with the system's reason.
    bool rewind(std::string& problem);
    /// Reads up to count samples; returns how many (0 at the end).
    std::size_t read(std::vector<double>& samples, std::size_t count);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace zov
