#include "soundtrack/soundtrack_app.h"

int main(int argc, char** argv) {
    return zov::runSoundtrack(std::vector<std::string>(argv, argv + argc));
}
