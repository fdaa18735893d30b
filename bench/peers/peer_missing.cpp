// Stands in for a peer benchmark whose library was not found when the benchmarks were
// configured: says so, prints no figure, and succeeds.
#include <cstdio>

int main() {
    std::fprintf(stderr, "bench: %s not found, its figures are skipped\n", PEER_LIBRARY);
    return 0;
}
