// kestrin-spawnclock OUTPUT PROGRAM [ARGUMENT...]
//
// Runs PROGRAM once, its standard output to OUTPUT, its standard error to
// /dev/null and its standard input this program's own, and prints the seconds from
// just before it is started to just after it has ended: the bench's paired rows
// time their runs so rather than from its shell, which forks all of itself to
// start a program. Exit status 1 when PROGRAM cannot be started or fails, 2 when
// this program is called wrongly.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrin-spawnclock OUTPUT PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    // A SIGCHLD ignored by whoever started this program would leave no status to
    // wait for: a failure would read as an ending without one.
    std::signal(SIGCHLD, SIG_DFL);
    // OUTPUT is opened (and the last run's report cut away) before the clock
    // starts, as a shell's redirection is before it starts a program.
    const int output = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0) {
        std::fprintf(stderr, "kestrin-spawnclock: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[2], &files, nullptr, argv + 2, environ);
    if (failed != 0) {
        std::fprintf(stderr, "kestrin-spawnclock: %s: %s\n", argv[2], std::strerror(failed));
        return 1;
    }
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (ended != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "kestrin-spawnclock: %s failed\n", argv[2]);
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}
