#include <cstdio>

int main() {
    std::printf("Kalvor_UDF 0.1.0\n");
    return 0;
}
