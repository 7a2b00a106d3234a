/* Includes only the umbrella header; built as C++ with -pedantic -Werror. */
#include "corvane/corvane.h"

int main(void) {
    variant_record record = {};
    time_record deadline = {};
    record.type = VARIANT_TYPE_EMPTY;
    return sizeof record == 16 && sizeof deadline == 16 && record.type == 0 ? 0 : 1;
}
