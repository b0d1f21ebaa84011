#include <cstdio>
int main() { std::puts("pagewarden-cli"); return 0; }
