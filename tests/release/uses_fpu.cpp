// Breaks only the FPU rule: one FPU instruction, as a hard-float object
// slipped into the link would bring many.
int main(int argc, char **) {
    asm volatile(".set push\n.set hardfloat\nmtc1 %0, $f0\n.set pop" : : "r"(argc));
}
