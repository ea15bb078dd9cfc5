#include "tests/support/run_program.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> command_words(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

// execv's view of the words, which must outlive it.
std::vector<char*> argv_of(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

int wait_status(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

started_program start_program(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& working_folder) {
    std::vector<std::string> words = command_words(program, arguments);
    std::vector<char*> argv = argv_of(words);

    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (!working_folder.empty() && chdir(working_folder.c_str()) != 0) _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return started_program{child};
}

int wait_for_program(started_program& program) {
    const int status = wait_status(static_cast<pid_t>(program.native));
    program.native = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool program_ended(started_program& program, int& status) {
    int raw = 0;
    pid_t got = 0;
    while ((got = waitpid(static_cast<pid_t>(program.native), &raw, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (got == 0) return false;
    program.native = -1;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

bool kill_program(started_program& program) {
    // A child that has ended stays a zombie until it is waited for: the signal then finds
    // the process gone, and the status tells which came first.
    kill(static_cast<pid_t>(program.native), SIGKILL);
    const int status = wait_status(static_cast<pid_t>(program.native));
    program.native = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

program_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& working_folder) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");

    std::vector<std::string> words = command_words(program, arguments);
    std::vector<char*> argv = argv_of(words);

    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (!working_folder.empty() && chdir(working_folder.c_str()) != 0) _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    program_result result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    const int status = wait_status(child);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
