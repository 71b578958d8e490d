#include "soundconv/soundconv_app.h"

int main(int argc, char** argv) {
    return zov::runSoundconv(std::vector<std::string>(argv, argv + argc));
}
