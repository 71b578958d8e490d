#include "frameconv/app/frameconv_app.h"

int main(int argc, char** argv) {
    return zov::runFrameconv(std::vector<std::string>(argv, argv + argc));
}
