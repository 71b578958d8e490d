#include "common/platform/child_process.h"

#include "common/platform/whole_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zov {
namespace {

class PosixChild final : public Child {
public:
    PosixChild(pid_t pid, int input) : pid_(pid), input_(input) {}
    ~PosixChild() override {
        if (pid_ > 0) finish();
    }
    PosixChild(const PosixChild&) = delete;
    PosixChild& operator=(const PosixChild&) = delete;

    bool feed(const void* bytes, std::size_t count) override {
        if (input_ < 0) return false;
        // A program that ends early must make this false, not end ours with SIGPIPE.
        struct sigaction ignore {}, saved {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &saved);
        const auto* from = static_cast<const unsigned char*>(bytes);
        while (count > 0) {
            ssize_t put = ::write(input_, from, count);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) break;
            from += put;
            count -= static_cast<std::size_t>(put);
        }
        ::sigaction(SIGPIPE, &saved, nullptr);
        return count == 0;
    }

    ChildEnd finish() override {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
        ChildEnd end;
        if (pid_ <= 0) return end;
        int status = 0;
        pid_t waited;
        while ((waited = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        if (waited < 0) return end;
        end.exited = WIFEXITED(status);
        end.status = end.exited ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return end;
    }

private:
    pid_t pid_;
    int input_;
};

class PosixPrograms final : public Programs {
public:
    std::unique_ptr<Child> start(const std::vector<std::string>& args, const std::string& outputPath, bool withInput,
                                 int& error) override {
        error = 0;
        int pipeEnds[2] = {-1, -1};
        if (withInput && ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            error = errno;
            return nullptr;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (withInput)
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        error = ::posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (withInput) ::close(pipeEnds[0]);
        if (error != 0) {
            if (withInput) ::close(pipeEnds[1]);
            return nullptr;
        }
        return std::make_unique<PosixChild>(pid, pipeEnds[1]);
    }
};

/// The last line with more than blanks in it, for the message when a program failed.
std::string lastLine(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    readWholeFile(fileSystem(), path, bytes);
    std::string text(bytes.begin(), bytes.end()), last;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
        from = end + 1;
    }
    return last;
}

}  // namespace

Programs& realPrograms() {
    static PosixPrograms programs;
    return programs;
}

std::string startProblem(const std::string& program, int error) {
    if (error == ENOENT) return "the " + program + " program is not on the PATH: install the package " + program;
    return "couldn't start the " + program + " program: " + std::strerror(error);
}

std::string failureProblem(const std::string& program, const ChildEnd& end, const std::string& outputPath) {
    std::string problem = "the " + program + " program failed (" +
                          (end.exited         ? "exit status " + std::to_string(end.status)
                           : end.status > 0 ? "ended by signal " + std::to_string(end.status)
                                              : std::string("it could not be waited for")) +
                          ")";
    std::string said = lastLine(outputPath);
    return said.empty() ? problem : problem + ": " + said;
}

std::string runProgram(const std::vector<std::string>& args, const std::string& outputPath) {
    int error = 0;
    std::unique_ptr<Child> child = programs().start(args, outputPath, false, error);
    if (!child) return startProblem(args[0], error);
    const ChildEnd end = child->finish();
    return end.succeeded() ? std::string() : failureProblem(args[0], end, outputPath);
}

}  // namespace zov
