// Breaks only the instruction set rule: a release 2 sign extension, which a
// release 1 core such as the 4Kc traps as illegal.
int main(int argc, char **) {
    int r;
    asm volatile(".set push\n.set mips32r2\nseb %0, %1\n.set pop" : "=r"(r) : "r"(argc));
    return r;
}
