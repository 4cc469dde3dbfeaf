// Stands in for a browser in the end-to-end tests: writes the arguments after
// the first (the file to write) one per line into that file.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) return 1;
    for (int i = 2; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
    return std::fclose(f) == 0 ? 0 : 1;
}
