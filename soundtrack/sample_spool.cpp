#include "soundtrack/sample_spool.h"

#include <cerrno>
#include <cstring>

namespace zov {

SampleSpool::~SampleSpool() {
    if (file_) std::fclose(file_);
}

bool SampleSpool::start(std::string& problem) {
    file_ = std::tmpfile();
    if (!file_) problem = std::string("no temporary file for the samples: ") + std::strerror(errno);
    return file_ != nullptr;
}

bool SampleSpool::write(const std::vector<double>& samples, std::string& problem) {
    if (std::fwrite(samples.data(), sizeof(double), samples.size(), file_) == samples.size()) return true;
    problem = std::string("the temporary file of the samples cannot be written: ") + std::strerror(errno);
    return false;
}

bool SampleSpool::rewind(std::string& problem) {
    if (std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0) return true;
    problem = std::string("the temporary file of the samples cannot be read: ") + std::strerror(errno);
    return false;
}

std::size_t SampleSpool::read(std::vector<double>& samples, std::size_t count) {
    samples.resize(count);
    samples.resize(std::fread(samples.data(), sizeof(double), count, file_));
    return samples.size();
}

}  // namespace zov
