#include "vicclip/vicclip_app.h"

int main(int argc, char** argv) { return zov::runVicclip(std::vector<std::string>(argv, argv + argc)); }
