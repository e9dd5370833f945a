// The designer's entry. Until the designer's windows exist, it demonstrates what stands.
#include <cstdio>

int main() {
    std::puts("Quorelle designer: not built yet.");
    return 0;
}
