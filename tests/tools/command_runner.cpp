// fork and exec of the flanger command with captured output.
#include "command_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "scratch_directory.h"

extern char** environ;

namespace flanger::tool::test {

const std::string& FlangerExecutable() {
    static const std::string path = FLANGER_EXECUTABLE;
    return path;
}

const std::string& ModulePath() {
    static const std::string path = FLANGER_MODULE;
    return path;
}

const std::string& WrongModulePath() {
    static const std::string path = FLANGER_WRONG_MODULE;
    return path;
}

namespace {

std::vector<std::string> BuildEnvironment(const CommandOptions& options) {
    std::map<std::string, std::optional<std::string>> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    variables.erase("FLANGER_PLUGIN");
    for (const auto& [name, value] : options.environment) variables[name] = value;
    std::vector<std::string> list;
    for (const auto& [name, value] : variables) {
        if (value) list.push_back(name + "=" + *value);
    }
    return list;
}

}  // namespace

int StartFlanger(const std::vector<std::string>& arguments, const CommandOptions& options,
                 const std::string& outPath, const std::string& errPath) {
    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> argumentStrings = {FlangerExecutable()};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStrings) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environmentStrings = BuildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& variable : environmentStrings) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const int in = options.standardInput.empty()
                       ? -1
                       : open(options.standardInput.c_str(), O_RDONLY | O_CLOEXEC);
    if (!options.standardInput.empty() && in < 0) throw std::runtime_error("open");
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = options.standardError >= 0
                        ? -1
                        : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || (options.standardError < 0 && err < 0)) throw std::runtime_error("open");
    const pid_t child = fork();
    if (child == 0) {
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        if (options.asNobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(126);
        }
        const rlimit size{static_cast<rlim_t>(options.fileSizeLimit),
                          static_cast<rlim_t>(options.fileSizeLimit)};
        if (options.fileSizeLimit > 0 && setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(125);
        // As a shell would start it: a test that ignores SIGPIPE must not pass that on.
        signal(SIGPIPE, SIG_DFL);
        // Through pipes, as "cat FILE | flanger ... | cat > OUT" has them. A copier feeds the
        // input's pipe and ends with flanger; this process copies the output's until its end,
        // then ends as flanger did.
        const auto copy = [](int from, int to) {
            char block[4096];
            for (ssize_t got; (got = read(from, block, sizeof block)) > 0;) {
                if (write(to, block, static_cast<std::size_t>(got)) != got) break;
            }
        };
        int ends[2];
        if (in >= 0 && options.piped) {
            if (pipe(ends) != 0) _exit(127);
            if (fork() == 0) {
                close(ends[0]);
                copy(in, ends[1]);
                _exit(0);
            }
            close(ends[1]);
            dup2(ends[0], STDIN_FILENO);
            close(ends[0]);
        } else if (in >= 0) {
            dup2(in, STDIN_FILENO);
        }
        if (options.piped) {
            if (pipe(ends) != 0) _exit(127);
            const pid_t flanger = fork();
            if (flanger != 0) {
                close(ends[1]);
                copy(ends[0], out);
                int status = 0;
                while (waitpid(flanger, &status, 0) < 0 && errno == EINTR) {
                }
                if (WIFSIGNALED(status)) {
                    signal(WTERMSIG(status), SIG_DFL);
                    raise(WTERMSIG(status));
                }
                _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
            }
            close(ends[0]);
            dup2(ends[1], STDOUT_FILENO);
            close(ends[1]);
        } else {
            dup2(out, STDOUT_FILENO);
        }
        dup2(options.standardError >= 0 ? options.standardError : err, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out);
    if (in >= 0) close(in);
    if (err >= 0) close(err);
    if (child < 0) throw std::runtime_error("fork failed");
    return child;
}

CommandResult WaitForFlanger(int process, const std::string& outPath, const std::string& errPath) {
    int status = 0;
    while (waitpid(process, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    CommandResult result;
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

CommandResult RunFlanger(const std::vector<std::string>& arguments, const CommandOptions& options) {
    // Captures live outside the directories under test, whose contents the tests compare.
    const ScratchDirectory captures;
    const std::string outPath = captures / "stdout";
    const std::string errPath = captures / "stderr";
    return WaitForFlanger(StartFlanger(arguments, options, outPath, errPath), outPath, errPath);
}

}  // namespace flanger::tool::test
