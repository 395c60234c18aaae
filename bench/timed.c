/* Runs a command as a child and prints its CPU time to the microsecond, which /usr/bin/time
 * rounds to 10 ms (a tenth of a second's run is then only good to 10%):
 *
 *   timed COMMAND [ARG...]   prints "user system wall max_rss_kb", seconds and kilobytes
 *
 * Standard input and output are the child's. Exits with the child's status, or 127 when it
 * cannot be run. */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Seconds(struct timeval t) {
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: timed COMMAND [ARG...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) return 127;
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) < 0) return 127;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    fprintf(stderr, "%.6f %.6f %.6f %ld\n", Seconds(usage.ru_utime), Seconds(usage.ru_stime), wall,
            usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
