#include "memory_platform.h"

#include <algorithm>
#include <cstring>

namespace zov {
namespace {

class MemoryFile final : public File {
public:
    MemoryFile(MemoryFileSystem& owner, std::shared_ptr<MemoryFileSystem::Bytes> data, bool writable)
        : owner_(owner), data_(std::move(data)), writable_(writable) {}

    std::size_t read(void* dst, std::size_t n) override {
        if (!data_ || owner_.shouldFail(FileOp::Read)) return 0;
        if (position_ >= data_->size()) return 0;
        std::size_t count = std::min<std::size_t>(n, data_->size() - position_);
        std::memcpy(dst, data_->data() + position_, count);
        position_ += count;
        return count;
    }

    void write(const void* src, std::size_t n) override {
        if (!data_ || !writable_) throw FileError("Bad file descriptor");
        if (owner_.shouldFail(FileOp::Write)) throw FileError(owner_.failureText);
        if (position_ + n > data_->size()) data_->resize(position_ + n);
        if (n > 0) std::memcpy(data_->data() + position_, src, n);
        position_ += n;
    }

    void seek(std::uint64_t position) override {
        if (!data_) throw FileError("Bad file descriptor");
        if (owner_.shouldFail(FileOp::Seek)) throw FileError(owner_.failureText);
        position_ = position;
    }

    void seekEnd() override {
        if (!data_) throw FileError("Bad file descriptor");
        if (owner_.shouldFail(FileOp::Seek)) throw FileError(owner_.failureText);
        position_ = data_->size();
    }

    std::uint64_t position() override { return position_; }
    std::uint64_t length() override { return data_ ? data_->size() : 0; }

    void setLength(std::uint64_t length) override {
        if (!data_ || !writable_) throw FileError("Bad file descriptor");
        if (owner_.shouldFail(FileOp::SetLength)) throw FileError(owner_.failureText);
        data_->resize(length);
    }

    void close() override { data_.reset(); }

private:
    MemoryFileSystem& owner_;
    std::shared_ptr<MemoryFileSystem::Bytes> data_;
    bool writable_;
    std::uint64_t position_ = 0;
};

}  // namespace

std::string MemoryFileSystem::normal(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == ".") p.clear();
    if (p.rfind("./", 0) == 0) p = p.substr(2);
    return p;
}

std::string MemoryFileSystem::parentOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

bool MemoryFileSystem::isDirectory(const std::string& path) const {
    if (path.empty() || path == "/") return true;
    auto it = nodes_.find(path);
    return it != nodes_.end() && it->second.directory;
}

bool MemoryFileSystem::shouldFail(FileOp op) {
    int i = static_cast<int>(op);
    int n = calls_[i]++;
    if (failFrom_[i] < 0) return false;
    return failAlways_[i] ? n >= failFrom_[i] : n == failFrom_[i];
}

void MemoryFileSystem::failAt(FileOp op, int n, bool always) {
    failFrom_[static_cast<int>(op)] = n;
    failAlways_[static_cast<int>(op)] = always;
}

PathKind MemoryFileSystem::kind(const std::string& path) {
    std::string p = normal(path);
    if (p.empty() || p == "/") return PathKind::Directory;
    auto it = nodes_.find(p);
    if (it == nodes_.end()) return PathKind::Missing;
    if (it->second.unreadable) return PathKind::Unreadable;
    return it->second.directory ? PathKind::Directory : PathKind::File;
}

bool MemoryFileSystem::list(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    std::string dir = normal(directory);
    if (!isDirectory(dir)) return false;
    for (const auto& [path, node] : nodes_) {
        if (parentOf(path) == dir && path != dir) {
            names.push_back(dir.empty() ? path : path.substr(dir == "/" ? 1 : dir.size() + 1));
        }
    }
    // A real directory hands its entries over in no particular order.
    std::reverse(names.begin(), names.end());
    return true;
}

void MemoryFileSystem::makeDirectory(const std::string& path) {
    std::string p = normal(path);
    if (p.empty() || nodes_.count(p) || !isDirectory(parentOf(p))) return;
    nodes_[p].directory = true;
}

std::unique_ptr<File> MemoryFileSystem::openRead(const std::string& path) {
    if (shouldFail(FileOp::OpenRead)) return nullptr;
    auto it = nodes_.find(normal(path));
    if (it == nodes_.end() || it->second.directory) return nullptr;
    return std::make_unique<MemoryFile>(*this, it->second.data, false);
}

std::unique_ptr<File> MemoryFileSystem::create(const std::string& path) {
    if (shouldFail(FileOp::Create)) return nullptr;
    std::string p = normal(path);
    if (p.empty() || !isDirectory(parentOf(p))) return nullptr;
    Node& node = nodes_[p];
    if (node.directory) return nullptr;
    if (!node.data) node.data = std::make_shared<Bytes>();
    node.data->clear();
    return std::make_unique<MemoryFile>(*this, node.data, true);
}

std::unique_ptr<File> MemoryFileSystem::openExisting(const std::string& path) {
    if (shouldFail(FileOp::OpenExisting)) return nullptr;
    auto it = nodes_.find(normal(path));
    if (it == nodes_.end() || it->second.directory) return nullptr;
    return std::make_unique<MemoryFile>(*this, it->second.data, true);
}

void MemoryFileSystem::addFile(const std::string& path, Bytes content) {
    std::string p = normal(path);
    addDirectory(parentOf(p));
    Node& node = nodes_[p];
    node.directory = false;
    node.data = std::make_shared<Bytes>(std::move(content));
}

void MemoryFileSystem::addFile(const std::string& path, const std::string& content) {
    addFile(path, Bytes(content.begin(), content.end()));
}

void MemoryFileSystem::addDirectory(const std::string& path) {
    std::string p = normal(path);
    if (p.empty() || p == "/" || isDirectory(p)) return;
    addDirectory(parentOf(p));
    nodes_[p].directory = true;
}

MemoryFileSystem::Bytes MemoryFileSystem::contents(const std::string& path) const {
    auto it = nodes_.find(normal(path));
    if (it == nodes_.end() || !it->second.data) return {};
    return *it->second.data;
}

bool MemoryFileSystem::exists(const std::string& path) const { return nodes_.count(normal(path)) > 0; }

void MemoryFileSystem::makeUnreadable(const std::string& path) { nodes_[normal(path)].unreadable = true; }

}  // namespace zov
