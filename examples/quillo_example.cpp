#include <cstdio>

int main() {
    std::puts("Quillo Common example");
    return 0;
}
