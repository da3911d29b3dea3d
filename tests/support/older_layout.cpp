// Linked into a second build of the hook library: code placed ahead of all of the library's own procedures,
// so that each of them lies elsewhere than in the shipped build, as in another release.
extern "C" __declspec(dllexport) __attribute__((section(".text$0older"))) void OlderLayout() {
    asm volatile(".fill 256, 1, 0x90");
}
