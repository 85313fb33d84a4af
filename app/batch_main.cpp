#include "app/command_line.hpp"

int main(int argc, char** argv) { return id3sniff::RunBatchCommandLine(argc, argv); }
