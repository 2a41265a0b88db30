// Stands in for a clone that is killed half-way: it leaves a partial destination, then dies by SIGKILL.
// Usage: cp_dies [options…] SOURCE DESTINATION
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("cp_dies: missing operand\n", stderr);
        return 1;
    }
    const std::string destination = argv[argc - 1];
    ::mkdir(destination.c_str(), 0755);
    if (FILE *partial = std::fopen((destination + "/partial").c_str(), "w")) {
        std::fputs("half", partial);
        std::fclose(partial);
    }
    std::fputs("copying…\n", stdout);
    std::fflush(stdout);
    ::kill(::getpid(), SIGKILL);
    return 0;
}
