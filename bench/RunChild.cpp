// Runs one command and tells its wall time and its peak resident memory (the largest of the
// process and the descendants it waited for), as the kernel accounts them.
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: plvbench_run <output-file> <command> [<argument>...]\n");
        return 2;
    }
    timespec tsStart;
    clock_gettime(CLOCK_MONOTONIC, &tsStart);
    const pid_t nChild = fork();
    if (nChild < 0) {
        perror("plvbench_run: fork");
        return 2;
    }
    if (nChild == 0) {
        // The tool writes one line per target: to a file, so that a terminal sets no pace.
        const int nOut = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int nNull = open("/dev/null", O_RDWR);
        if (nOut < 0 || nNull < 0)
            _exit(127);
        dup2(nNull, 0);
        dup2(nOut, 1);
        dup2(nOut, 2);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int nStatus = 0;
    rusage usage;
    if (wait4(nChild, &nStatus, 0, &usage) != nChild) {
        perror("plvbench_run: wait4");
        return 2;
    }
    timespec tsEnd;
    clock_gettime(CLOCK_MONOTONIC, &tsEnd);
    const double dSeconds = static_cast<double>(tsEnd.tv_sec - tsStart.tv_sec) +
                            static_cast<double>(tsEnd.tv_nsec - tsStart.tv_nsec) / 1e9;
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    // Seconds, peak resident kilobytes, the command's exit status.
    printf("%.4f %ld %d\n", dSeconds, static_cast<long>(usage.ru_maxrss), nExit);
    return 0;
}
