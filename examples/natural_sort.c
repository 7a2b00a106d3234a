/* Sorts file names in the order people expect: numbers inside names compare
 * by value, so "photo 7" comes before "photo 25". (Numbers that share leading
 * digits compare from the first digit that differs: see text.h.) */
#include <stdio.h>
#include <stdlib.h>

#include <corvane/corvane.h>

static int by_natural_order(const void* a, const void* b) {
    const char* left = *(const char* const*)a;
    const char* right = *(const char* const*)b;
    if (os_clibrary_string_intelligent_less(left, right)) {
        return -1;
    }
    return os_clibrary_string_intelligent_greater(left, right) ? 1 : 0;
}

int main(int argc, char** argv) {
    static const char* samples[] = {"photo 100.jpg", "photo 7.jpg", "photo 31.jpg",
                                    "photo 25.jpg", "album 2.jpg"};
    const char** names = argc > 1 ? (const char**)(argv + 1) : samples;
    size_t count = argc > 1 ? (size_t)(argc - 1) : sizeof samples / sizeof samples[0];
    size_t i;

    qsort((void*)names, count, sizeof names[0], by_natural_order);
    for (i = 0; i < count; ++i) {
        printf("%s\n", names[i]);
    }
    return 0;
}
