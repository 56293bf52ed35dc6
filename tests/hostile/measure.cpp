// Runs a program with its output in files, bounds its time and reports what
// it cost:
//
//   measure SECONDS STDOUT-FILE STDERR-FILE PROGRAM [ARGS...]
//
// Prints one line, "status=N seconds=S maxrss_kb=K" (status "killed" when the
// time ran out and the program and its process group were killed), and exits
// 0; 2 when the program could not be started.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: measure SECONDS STDOUT STDERR PROGRAM [ARGS...]\n");
        return 2;
    }
    const double limit = std::atof(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        setpgid(0, 0);
        const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execvp(argv[4], argv + 4);
        _exit(127);
    }
    setpgid(child, child);
    int status = 0;
    rusage usage{};
    bool killed = false;
    for (;;) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child)
            break;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!killed && elapsed > limit) {
            kill(-child, SIGKILL);
            killed = true;
        }
        usleep(10000);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && !killed)
        return 2;
    if (killed)
        std::printf("status=killed seconds=%.2f maxrss_kb=%ld\n", seconds, usage.ru_maxrss);
    else if (WIFEXITED(status))
        std::printf("status=%d seconds=%.2f maxrss_kb=%ld\n", WEXITSTATUS(status), seconds,
                    usage.ru_maxrss);
    else
        std::printf("status=signal%d seconds=%.2f maxrss_kb=%ld\n", WTERMSIG(status), seconds,
                    usage.ru_maxrss);
    return 0;
}
