/* Includes only the umbrella header; built as C99 here and as C++ through
 * header_check.cpp, both with -pedantic -Werror. */
#include "corvane/corvane.h"

int main(void) {
    static variant_record record;
    static time_record deadline;
    return sizeof record == 16 && sizeof deadline == 16 && record.type == VARIANT_TYPE_EMPTY ? 0 : 1;
}
