#pragma once
// The zentrabo-server binary as a child process, with pipes on its standard
// input (or a pseudo-terminal), output and error. Every read has a deadline, and a child still
// running when the object goes is killed, so a failing test never hangs.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zentrabo::testing {

// How the binary is started besides its arguments and environment.
struct ServerLaunch {
    // A program that runs the binary ("setpriv", "--reuid=...", ...).
    std::vector<std::string> wrapper;
    // The binary, when not the build tree's (an installed copy).
    std::string program = {};
    // Standard input /dev/null, as for a server started without a terminal;
    // otherwise a pipe for writeLine.
    bool inputIsNull = false;
    // Standard input a pseudo-terminal (without echo) that writeLine types
    // on, as for a server started in a terminal window.
    bool inputIsTerminal = false;
};

class ServerProcess {
public:
    static constexpr auto defaultDeadline = std::chrono::seconds(30);

    // The virtual desktop, whatever session the tests run in; a test that
    // wants another says so in its arguments.
    static std::vector<std::string> virtualDesktop() { return {"--desktop", "virtual"}; }

    // A variable set ("NAME=value") or, without '=', removed in the child's
    // environment.
    using EnvironmentChanges = std::vector<std::string>;

    using Launch = ServerLaunch;

    // Starts the binary with the test's environment (set a TemporaryHome
    // first), changed as asked, and the arguments.
    explicit ServerProcess(const std::vector<std::string>& arguments = virtualDesktop(),
                           const EnvironmentChanges& changes = {}, const Launch& launch = {}) {
        int input[2], output[2], errors[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) return;
        if (launch.inputIsTerminal && !replaceWithTerminal(input)) return;
        const std::string binary =
            launch.program.empty() ? std::string(ZENTRABO_BINARY_DIR) + "/src/zentrabo-server" : launch.program;
        const int nullInput = launch.inputIsNull ? open("/dev/null", O_RDONLY | O_CLOEXEC) : -1;
        // Built before the fork: the child of a threaded process must not allocate.
        std::vector<char*> argv;
        for (const auto& part : launch.wrapper) argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const std::vector<std::string> environment = changedEnvironment(changes);
        std::vector<char*> envp;
        for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(nullInput >= 0 ? nullInput : input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            dup2(errors[1], STDERR_FILENO);
            execve(argv.front(), argv.data(), envp.data());
            _exit(127);
        }
        if (nullInput >= 0) close(nullInput);
        close(input[0]);
        close(output[1]);
        close(errors[1]);
        input_ = input[1];
        output_ = output[0];
        errors_ = errors[0];
    }
    ~ServerProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        for (int descriptor : {input_, output_, errors_}) {
            if (descriptor >= 0) close(descriptor);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of standard output, without its line feed; none when the
    // output ends or the deadline passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds deadline = defaultDeadline) {
        return readLineFrom(output_, outputBuffer_, deadline);
    }
    // Reads lines until one starts with the prefix; returns that line.
    std::optional<std::string> readLineStartingWith(std::string_view prefix,
                                                    std::chrono::milliseconds deadline = defaultDeadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (auto line = readLine(remaining(end))) {
            if (line->rfind(prefix, 0) == 0) return line;
        }
        return std::nullopt;
    }

    // The four lines the server prints when it starts, in their order.
    struct StartLines {
        std::string version;  // after "Zentrabo Server "
        std::string desktop;  // after "Desktop: "
        std::uint16_t port = 0;
        std::string fingerprint;
    };
    // None when a line is missing, out of order or malformed.
    std::optional<StartLines> readStartLines() {
        constexpr std::string_view versionPrefix = "Zentrabo Server ";
        constexpr std::string_view desktopPrefix = "Desktop: ";
        constexpr std::string_view portPrefix = "Listening on port ";
        constexpr std::string_view fingerprintPrefix = "Server fingerprint: ";
        const auto version = readLine();
        const auto desktop = readLine();
        const auto listening = readLine();
        const auto fingerprint = readLine();
        if (!version || !desktop || !listening || !fingerprint || version->rfind(versionPrefix, 0) != 0 ||
            desktop->rfind(desktopPrefix, 0) != 0 || listening->rfind(portPrefix, 0) != 0 ||
            fingerprint->rfind(fingerprintPrefix, 0) != 0) {
            return std::nullopt;
        }
        StartLines lines{version->substr(versionPrefix.size()), desktop->substr(desktopPrefix.size()), 0,
                         fingerprint->substr(fingerprintPrefix.size())};
        const std::string port = listening->substr(portPrefix.size());
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), lines.port);
        if (error != std::errc() || end != port.data() + port.size() || lines.port == 0) return std::nullopt;
        return lines;
    }

    // One command on the server's standard input.
    bool writeLine(std::string_view line) {
        std::string bytes(line);
        bytes.push_back('\n');
        return ::write(input_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    void closeInput() {
        close(input_);
        input_ = -1;
    }

    // The exit status once the process has ended; none when it outlives the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds deadline = defaultDeadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!status_ && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status_;
    }
    // The next line of standard error, as readLine.
    std::optional<std::string> readErrorLine(std::chrono::milliseconds deadline = defaultDeadline) {
        return readLineFrom(errors_, errorBuffer_, deadline);
    }
    // Everything the process wrote on standard error, once it has ended.
    std::string errorText() {
        std::string text;
        while (auto line = readLineFrom(errors_, errorBuffer_, std::chrono::milliseconds(1000))) text += *line + "\n";
        return text + errorBuffer_;
    }

private:
    // Puts a pseudo-terminal in the pipe's place: the reading end becomes
    // its terminal side, the writing end its controlling side.
    static bool replaceWithTerminal(int (&input)[2]) {
        int controller = -1, terminal = -1;
        if (openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0) return false;
        termios settings{};
        tcgetattr(terminal, &settings);
        // What the test types is not echoed back to a side nobody reads.
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(terminal, TCSANOW, &settings);
        for (int descriptor : {controller, terminal}) fcntl(descriptor, F_SETFD, FD_CLOEXEC);
        close(input[0]);
        close(input[1]);
        input[0] = terminal;
        input[1] = controller;
        return true;
    }

    static std::vector<std::string> changedEnvironment(const EnvironmentChanges& changes) {
        std::vector<std::string> environment;
        const auto name = [](std::string_view variable) { return variable.substr(0, variable.find('=')); };
        for (char** variable = environ; *variable; ++variable) {
            bool changed = false;
            for (const auto& change : changes) changed = changed || name(change) == name(*variable);
            if (!changed) environment.emplace_back(*variable);
        }
        for (const auto& change : changes) {
            if (change.find('=') != std::string::npos) environment.push_back(change);
        }
        return environment;
    }

    static std::chrono::milliseconds remaining(std::chrono::steady_clock::time_point end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        return left.count() > 0 ? left : std::chrono::milliseconds(0);
    }

    static std::optional<std::string> readLineFrom(int descriptor, std::string& buffer,
                                                   std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            if (const auto lineEnd = buffer.find('\n'); lineEnd != std::string::npos) {
                std::string line = buffer.substr(0, lineEnd);
                buffer.erase(0, lineEnd + 1);
                return line;
            }
            pollfd ready{descriptor, POLLIN, 0};
            const int left = static_cast<int>(remaining(end).count());
            if (left == 0 || ::poll(&ready, 1, left) <= 0) return std::nullopt;
            char chunk[4096];
            const ssize_t count = ::read(descriptor, chunk, sizeof chunk);
            if (count <= 0) return std::nullopt;
            buffer.append(chunk, static_cast<std::size_t>(count));
        }
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int errors_ = -1;
    std::string outputBuffer_;
    std::string errorBuffer_;
    std::optional<int> status_;
};

// Whether a process ended by exiting with this status (a status from
// ServerProcess::waitForExit).
inline bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

}  // namespace zentrabo::testing
