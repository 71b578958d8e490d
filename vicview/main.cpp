#include "vicview/vicview_app.h"

int main(int argc, char** argv) {
    return zov::runVicview(std::vector<std::string>(argv, argv + argc));
}
