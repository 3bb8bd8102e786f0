// velnari: render, play, check and inspect MML songs from the command line.

#include "commands/Commands.h"

int main(int argc, char** argv) {
    return cli::RunCommandLine(argc, argv);
}
