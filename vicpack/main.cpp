#include "vicpack/vicpack_app.h"

int main(int argc, char** argv) {
    return zov::runVicpack(std::vector<std::string>(argv, argv + argc));
}
