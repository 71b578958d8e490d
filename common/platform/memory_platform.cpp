#include "memory_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

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

namespace {

constexpr int kMaxLinkHops = 40;  // as many links as a real system follows before it gives up
constexpr std::uint64_t kDevice = 1;

std::string joined(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory == "/") return "/" + name;
    return directory + "/" + name;
}

std::deque<std::string> componentsOf(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        if (slash > at) parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

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

std::optional<std::string> MemoryFileSystem::resolve(const std::string& path, bool followLast) const {
    std::deque<std::string> rest = componentsOf(path);
    std::string at = !path.empty() && path[0] == '/' ? "/" : "";
    int hops = 0;
    while (!rest.empty()) {
        std::string name = std::move(rest.front());
        rest.pop_front();
        if (name == ".") continue;
        if (name == "..") {
            at = parentOf(at);
            continue;
        }
        std::string next = joined(at, name);
        auto it = nodes_.find(next);
        if (it != nodes_.end() && it->second.type == NodeType::Link && (followLast || !rest.empty())) {
            if (++hops > kMaxLinkHops) return std::nullopt;
            const std::string& target = it->second.target;
            std::deque<std::string> parts = componentsOf(target);
            rest.insert(rest.begin(), parts.begin(), parts.end());
            // Not `at = "/"`: GCC 12 takes that assignment for an overlapping copy (-Wrestrict).
            if (!target.empty() && target[0] == '/') at.assign(1, '/');
            continue;  // a relative target starts from the link's own directory
        }
        at = std::move(next);
    }
    return at;
}

MemoryFileSystem::Node* MemoryFileSystem::find(const std::string& path) {
    return const_cast<Node*>(static_cast<const MemoryFileSystem*>(this)->find(path));
}

const MemoryFileSystem::Node* MemoryFileSystem::find(const std::string& path) const {
    std::optional<std::string> real = resolve(path);
    if (!real) return nullptr;
    auto it = nodes_.find(*real);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool MemoryFileSystem::isDirectory(const std::string& path) const {
    std::optional<std::string> real = resolve(path);
    if (!real) return false;
    if (real->empty() || *real == "/") return true;
    auto it = nodes_.find(*real);
    return it != nodes_.end() && it->second.type == NodeType::Directory;
}

MemoryFileSystem::Node& MemoryFileSystem::node(const std::string& path) {
    Node& n = nodes_[path];
    if (n.inode == 0) n.inode = nextInode_++;
    return n;
}

bool MemoryFileSystem::shouldFail(FileOp op) {
    auto i = static_cast<std::size_t>(op);
    int n = calls_[i]++;
    if (failFrom_[i] < 0) return false;
    return failAlways_[i] ? n >= failFrom_[i] : n == failFrom_[i];
}

void MemoryFileSystem::failAt(FileOp op, int n, bool always) {
    failFrom_[static_cast<std::size_t>(op)] = n;
    failAlways_[static_cast<std::size_t>(op)] = always;
}

PathKind MemoryFileSystem::kind(const std::string& path) {
    std::optional<std::string> real = resolve(path);
    if (!real) return PathKind::Unreadable;  // a circle of links
    if (real->empty() || *real == "/") return PathKind::Directory;
    auto it = nodes_.find(*real);
    if (it == nodes_.end()) return PathKind::Missing;
    const Node& n = it->second;
    if (n.unreadable) return PathKind::Unreadable;
    switch (n.type) {
    case NodeType::Directory: return PathKind::Directory;
    case NodeType::Special: return PathKind::Special;
    case NodeType::Link: return PathKind::Missing;  // never left after resolving
    case NodeType::File: break;
    }
    return PathKind::File;
}

std::optional<FileIdentity> MemoryFileSystem::identity(const std::string& path) {
    std::optional<std::string> real = resolve(path);
    if (!real) return std::nullopt;
    if (real->empty()) return FileIdentity{kDevice, 1};
    if (*real == "/") return FileIdentity{kDevice, 2};
    auto it = nodes_.find(*real);
    if (it == nodes_.end() || it->second.unreadable) return std::nullopt;
    return FileIdentity{kDevice, it->second.inode};
}

std::string MemoryFileSystem::canonicalPath(const std::string& path) {
    std::optional<std::string> real = resolve(path);
    return real ? *real : normal(path);
}

bool MemoryFileSystem::list(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    if (!isDirectory(directory)) return false;
    std::string dir = *resolve(directory);
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
    std::optional<std::string> real = resolve(path, false);
    if (!real || real->empty() || nodes_.count(*real) || !isDirectory(parentOf(*real))) return;
    node(*real).type = NodeType::Directory;
}

std::unique_ptr<File> MemoryFileSystem::openRead(const std::string& path) {
    if (shouldFail(FileOp::OpenRead)) return nullptr;
    const Node* n = find(path);
    if (!n || n->type != NodeType::File) return nullptr;
    return std::make_unique<MemoryFile>(*this, n->data, false);
}

std::unique_ptr<File> MemoryFileSystem::create(const std::string& path) {
    if (shouldFail(FileOp::Create)) return nullptr;
    std::optional<std::string> real = resolve(path);
    if (!real || real->empty() || *real == "/" || !isDirectory(parentOf(*real))) return nullptr;
    auto it = nodes_.find(*real);
    if (it != nodes_.end() && it->second.type != NodeType::File) return nullptr;
    Node& n = node(*real);
    if (!n.data) n.data = std::make_shared<Bytes>();
    n.data->clear();
    return std::make_unique<MemoryFile>(*this, n.data, true);
}

std::unique_ptr<File> MemoryFileSystem::openExisting(const std::string& path) {
    if (shouldFail(FileOp::OpenExisting)) return nullptr;
    Node* n = find(path);
    if (!n || n->type != NodeType::File) return nullptr;
    return std::make_unique<MemoryFile>(*this, n->data, true);
}

void MemoryFileSystem::rename(const std::string& from, const std::string& to) {
    if (shouldFail(FileOp::Rename)) throw FileError(failureText);
    // Like a real rename: the names themselves move, a link is not followed at either end.
    std::optional<std::string> source = resolve(from, false);
    std::optional<std::string> target = resolve(to, false);
    if (!source || !target || !nodes_.count(*source)) throw FileError("No such file or directory");
    if (nodes_[*source].type == NodeType::Directory) throw FileError("Is a directory");  // files only here
    if (!isDirectory(parentOf(*target))) throw FileError("No such file or directory");
    auto existing = nodes_.find(*target);
    if (existing != nodes_.end() && existing->second.type == NodeType::Directory)
        throw FileError("Is a directory");
    if (*source == *target) return;
    Node moved = nodes_[*source];
    nodes_.erase(*source);
    nodes_[*target] = moved;
}

bool MemoryFileSystem::remove(const std::string& path) {
    std::optional<std::string> real = resolve(path, false);
    if (!real) return false;
    auto it = nodes_.find(*real);
    if (it == nodes_.end() || it->second.type == NodeType::Directory) return false;
    nodes_.erase(it);
    return true;
}

std::string MemoryFileSystem::makeTemporaryDirectory(const std::string& prefix) {
    if (shouldFail(FileOp::MakeTemporaryDirectory)) return {};
    addDirectory("/tmp");
    std::string path;
    do path = "/tmp/" + prefix + "-" + std::to_string(++temporaryDirectories_);
    while (nodes_.count(path));
    node(path).type = NodeType::Directory;
    return path;
}

bool MemoryFileSystem::removeTree(const std::string& path) {
    std::optional<std::string> real = resolve(path, false);
    if (!real || real->empty() || *real == "/") return false;
    const std::string inside = *real + "/";
    for (auto it = nodes_.begin(); it != nodes_.end();)
        it = it->first == *real || it->first.rfind(inside, 0) == 0 ? nodes_.erase(it) : std::next(it);
    return true;
}

std::unique_ptr<File> MemoryFileSystem::createUnnamed() {
    if (shouldFail(FileOp::CreateUnnamed)) throw FileError("/tmp: " + failureText);
    addDirectory("/tmp");
    auto data = std::make_shared<Bytes>();
    unnamed_.push_back(data);
    return std::make_unique<MemoryFile>(*this, std::move(data), true);
}

int MemoryFileSystem::unnamedFilesOpen() const {
    return static_cast<int>(
        std::count_if(unnamed_.begin(), unnamed_.end(), [](const std::weak_ptr<Bytes>& data) { return !data.expired(); }));
}

void MemoryFileSystem::addFile(const std::string& path, Bytes content) {
    std::string p = normal(path);
    addDirectory(parentOf(p));
    Node& n = node(p);
    n.type = NodeType::File;
    n.data = std::make_shared<Bytes>(std::move(content));
}

void MemoryFileSystem::addFile(const std::string& path, const std::string& content) {
    addFile(path, Bytes(content.begin(), content.end()));
}

void MemoryFileSystem::addDirectory(const std::string& path) {
    std::string p = normal(path);
    if (p.empty() || p == "/" || isDirectory(p)) return;
    addDirectory(parentOf(p));
    node(p).type = NodeType::Directory;
}

void MemoryFileSystem::addLink(const std::string& path, const std::string& target) {
    std::string p = normal(path);
    addDirectory(parentOf(p));
    Node& n = node(p);
    n.type = NodeType::Link;
    n.target = target;
}

void MemoryFileSystem::addHardLink(const std::string& path, const std::string& existing) {
    const Node* original = find(existing);
    if (!original || original->type != NodeType::File) return;
    const Node copy = *original;
    std::string p = normal(path);
    addDirectory(parentOf(p));
    nodes_[p] = copy;
}

void MemoryFileSystem::addSpecial(const std::string& path) {
    std::string p = normal(path);
    addDirectory(parentOf(p));
    node(p).type = NodeType::Special;
}

MemoryFileSystem::Bytes MemoryFileSystem::contents(const std::string& path) const {
    const Node* n = find(path);
    if (!n || !n->data) return {};
    return *n->data;
}

bool MemoryFileSystem::exists(const std::string& path) const { return nodes_.count(normal(path)) > 0; }

void MemoryFileSystem::makeUnreadable(const std::string& path) { node(normal(path)).unreadable = true; }

/// A run of a stand-in program: it takes its input while it lasts and does its work when the input ends.
class MemoryChild final : public Child {
public:
    MemoryChild(MemoryPrograms& owner, std::size_t run) : owner_(owner), run_(run) {}
    ~MemoryChild() override {
        if (!owner_.runs_[run_].finished) finish();
    }

    bool feed(const void* bytes, std::size_t count) override {
        MemoryPrograms::Run& run = owner_.runs_[run_];
        const std::size_t limit = owner_.programs_.at(run.args[0]).inputLimit;
        const std::size_t taken = std::min(count, limit - std::min(limit, run.input.size()));
        const auto* from = static_cast<const unsigned char*>(bytes);
        run.input.insert(run.input.end(), from, from + taken);
        return taken == count;
    }

    ChildEnd finish() override {
        MemoryPrograms::Run& run = owner_.runs_[run_];
        ChildEnd end;
        end.exited = true;
        end.status = owner_.programs_.at(run.args[0]).behaviour(run, owner_.files_);
        owner_.files_.addFile(run.outputPath, run.said);
        run.finished = true;
        return end;
    }

private:
    MemoryPrograms& owner_;
    std::size_t run_;
};

void MemoryPrograms::add(const std::string& name, Behaviour behaviour, std::size_t inputLimit) {
    programs_[name] = Program{std::move(behaviour), inputLimit};
}

std::unique_ptr<Child> MemoryPrograms::start(const std::vector<std::string>& args, const std::string& outputPath,
                                             bool withInput, int& error) {
    (void)withInput;
    error = 0;
    if (args.empty() || !programs_.count(args[0])) {
        error = ENOENT;
        return nullptr;
    }
    std::unique_ptr<File> output = files_.create(outputPath);
    if (!output) {
        error = ENOSPC;
        return nullptr;
    }
    output->close();
    runs_.push_back(Run{args, outputPath, {}, {}, false});
    return std::make_unique<MemoryChild>(*this, runs_.size() - 1);
}

int MemoryPrograms::running() const {
    return static_cast<int>(std::count_if(runs_.begin(), runs_.end(), [](const Run& run) { return !run.finished; }));
}

}  // namespace zov
