#include "ui/program_main.h"

int main(int argc, char** argv) {
    ProgramMain(argc, argv);
}
