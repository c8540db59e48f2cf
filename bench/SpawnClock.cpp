// kestrin-spawnclock OUTPUT PROGRAM [ARGUMENT...]
//
// Runs PROGRAM once, its standard output to OUTPUT, its standard error to
// /dev/null and its standard input this program's own, and prints the seconds from
// just before it is started to just after it has ended: the bench's paired rows
// time their runs so rather than from its shell, which forks all of itself to
// start a program. Exit status 1 when PROGRAM cannot be started or fails.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrin-spawnclock OUTPUT PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, argv[1], O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[2], &files, nullptr, argv + 2, environ);
    if (failed != 0) {
        std::fprintf(stderr, "kestrin-spawnclock: %s: %s\n", argv[2], std::strerror(failed));
        return 1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "kestrin-spawnclock: %s failed\n", argv[2]);
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}
