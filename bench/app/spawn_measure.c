/* Runs a program and writes what it cost to a file: "<user+system microseconds> <peak resident
 * KiB> <exit status>". A small launcher of its own, because a process's peak memory includes what
 * it held before exec: forked straight from a benchmark, a child would count the benchmark's
 * pages too.
 *   bench_spawn_measure RESULT-FILE PROGRAM [ARG...]
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: bench_spawn_measure RESULT-FILE PROGRAM [ARG...]\n");
        return 2;
    }
    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid)
        return 1;
    FILE* out = fopen(argv[1], "w");
    if (!out)
        return 1;
    const long long us = (long long)(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000 +
                         ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
    fprintf(out, "%lld %ld %d\n", us, ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return fclose(out) == 0 ? 0 : 1;
}
