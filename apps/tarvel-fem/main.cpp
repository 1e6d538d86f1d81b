// tarvel-fem: the finite-element demo of the Tarvel library (see Demo.h and --help).
#include "Demo.h"

#include <iostream>

int main(int argc, char** argv) { return tarvel_demo::demo_main(argc, argv, std::cout, std::cerr); }
