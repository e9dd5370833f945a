// The engine settings program's entry.
#include <cstdio>

int main() {
    std::puts("Quorelle settings: not built yet.");
    return 0;
}
