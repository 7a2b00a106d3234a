/* A tour of Corvane: filled in as the subsystems arrive. */
#include <stdio.h>

#include "corvane/corvane.h"

int main(void) {
    int32_t counter = 0;
    printf("atomic increment: %d\n", os_thread_sync_fetch_add(&counter));
    return 0;
}
