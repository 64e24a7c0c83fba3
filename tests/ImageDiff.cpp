// Compares two images of the same size channel by channel: prints the largest difference in
// 8-bit steps and fails when it exceeds the allowed one (default 1).
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: corvala_image_diff A B [ALLOWED]\n");
        return 2;
    }
    const int allowed = argc > 3 ? std::atoi(argv[3]) : 1;
    int wa = 0, ha = 0, wb = 0, hb = 0, channels = 0;
    unsigned char* a = stbi_load(argv[1], &wa, &ha, &channels, 4);
    unsigned char* b = stbi_load(argv[2], &wb, &hb, &channels, 4);
    if (a == nullptr || b == nullptr || wa != wb || ha != hb) {
        std::fprintf(stderr, "corvala_image_diff: cannot compare %s and %s\n", argv[1], argv[2]);
        return 2;
    }
    int worst = 0;
    long differing = 0;
    for (long i = 0; i < long(wa) * ha * 4; ++i) {
        const int difference = std::abs(int(a[i]) - int(b[i]));
        worst = difference > worst ? difference : worst;
        differing += difference != 0;
    }
    std::printf("%dx%d: largest difference %d/255, %ld channel values differ\n", wa, ha, worst,
                differing);
    stbi_image_free(a);
    stbi_image_free(b);
    return worst <= allowed ? 0 : 1;
}
