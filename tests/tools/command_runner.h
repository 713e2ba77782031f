// Runs the built flanger command as a person's shell would, and collects what it said.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace flanger::tool::test {

// The flanger executable and the module next to it, as built.
const std::string& FlangerExecutable();
const std::string& ModulePath();
// A loadable library without the module's exports.
const std::string& WrongModulePath();

struct CommandResult {
    int exitStatus = -1;  // -1 when the command did not exit normally
    int signal = 0;       // the signal that ended it, if any
    std::string out;      // standard output
    std::string err;      // standard error
};

struct CommandOptions {
    std::string workingDirectory;  // empty: the test's own
    // Variables to set; nullopt removes one. FLANGER_PLUGIN is removed unless given here.
    std::map<std::string, std::optional<std::string>> environment;
    int standardError = -1;  // a descriptor to use instead of capturing standard error
    // A file to give as standard input (empty: the test's own). When `piped`, standard input
    // and output are pipes, as "cat FILE | flanger ... | cat" has them.
    std::string standardInput;
    bool piped = false;
    bool asNobody = false;  // run as user and group 65534 when the test runs as root
    long fileSizeLimit = 0;  // bytes, as ulimit -f sets it; 0: none
};

// Starts flanger with `arguments` (without the program name).
int StartFlanger(const std::vector<std::string>& arguments, const CommandOptions& options,
                 const std::string& outPath, const std::string& errPath);

// Waits for a started flanger.
CommandResult WaitForFlanger(int process, const std::string& outPath, const std::string& errPath);

// Starts, waits and collects.
CommandResult RunFlanger(const std::vector<std::string>& arguments,
                         const CommandOptions& options = {});

}  // namespace flanger::tool::test
