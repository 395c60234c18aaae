// The built plistbridge as a subprocess, for the tests of what it prints: a scratch folder per
// test, standard input from a string, and the exit status with both outputs.
#ifndef TESTS_TOOLS_TOOLPROCESS_H
#define TESTS_TOOLS_TOOLPROCESS_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline const std::string kTool = PLISTBRIDGE_BINARY_DIR "/bin/plistbridge";

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Result {
    int exitStatus;
    std::string out;
    std::string err;
};

class ToolProcessTest : public ::testing::Test {
protected:
    explicit ToolProcessTest(const std::string& prefix)
        : mDir(std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid()))) {}
    void SetUp() override { std::filesystem::create_directories(mDir); }
    void TearDown() override { std::filesystem::remove_all(mDir); }

    // Runs the tool in UTC in the scratch folder with `input` on standard input, or with
    // `stdinRedirect` (shell text after the arguments) in place of "<stdin".
    Result Run(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& stdinRedirect = "<stdin") {
        std::ofstream(mDir / "stdin", std::ios::binary) << input;
        std::string command = "cd " + Quote(mDir.string()) + " && TZ=UTC " + Quote(kTool);
        for (const std::string& arg : args) command += " " + Quote(arg);
        command += " " + stdinRedirect + " >stdout 2>stderr";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(mDir / "stdout"),
                ReadFile(mDir / "stderr")};
    }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(mDir / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) { return ReadFile(mDir / name); }

    std::filesystem::path mDir;
};

#endif
