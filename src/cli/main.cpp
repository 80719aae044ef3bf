#include <cstdio>

int main(int argc, char** argv) {
    std::fprintf(stderr, "usage: vantrel-cli COMMAND ...\n");
    return 64;
}
