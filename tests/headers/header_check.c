/* Includes only the umbrella header; built with -std=c99 -pedantic -Werror. */
#include "corvane/corvane.h"

int main(void) {
    variant_record record = {0};
    time_record deadline = {0};
    record.type = VARIANT_TYPE_EMPTY;
    return sizeof record == 16 && sizeof deadline == 16 && record.type == 0 ? 0 : 1;
}
