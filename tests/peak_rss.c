// Runs a program and writes its peak resident memory in KiB to a file, for the fault tests:
//     peak_rss <result-file> <program> [argument ...]
// The measurement must come from a small parent, since the kernel counts the memory a process
// had before it started the program; the exit status is the program's (128 + a signal's).
#include <stdio.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: peak_rss <result-file> <program> [argument ...]\n");
        return 125;
    }
    pid_t child = fork();
    if (child < 0) {
        perror("peak_rss: fork");
        return 125;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        perror("peak_rss: exec");
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) != child) {
        perror("peak_rss: wait4");
        return 125;
    }
    FILE* result = fopen(argv[1], "w");
    if (result == NULL || fprintf(result, "%ld\n", usage.ru_maxrss) < 0 || fclose(result) != 0) {
        perror("peak_rss: result file");
        return 125;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
