/* Two processes meet through a named shared-memory block and a named event.
 * The first writes a question into the block and starts a second copy of
 * itself; the second reads the question, writes its answer after it and sets
 * the event; the first wakes and prints both.
 *
 *     corvane_shared_event            starts the exchange
 *     corvane_shared_event NAME       the second process (started by the first)
 */
#include <stdio.h>
#include <string.h>

#include <corvane/corvane.h>

enum { block_size = 256, answer_offset = 128 };

static void event_name(const char* block_name, char* name, size_t size) {
    snprintf(name, size, "%s-answered", block_name);
}

static int answer(const char* block_name) {
    char name[128], question[answer_offset];
    os_sharememory_handle* block = os_sharememory_open(block_name);
    os_event_handle* answered;
    char* bytes;
    if (block == NULL) {
        return 1;
    }
    bytes = os_sharememory_get_buffer(block);
    snprintf(question, sizeof question, "%s", bytes);
    snprintf(bytes + answer_offset, block_size - answer_offset, "pong to \"%.100s\"", question);
    event_name(block_name, name, sizeof name);
    answered = os_event_create(false, false, name); /* opens the first process's event */
    os_event_set_event(answered);
    os_event_destroy(&answered);
    os_sharememory_destroy(&block);
    return 0;
}

static int ask(void) {
    char block_name[64], name[128], self[4096];
    time_record now, deadline;
    os_sharememory_handle* block;
    os_event_handle* answered;
    char* bytes;
    int result = 1;

    /* A name of its own, so that runs at the same time do not meet. */
    os_clock_get_time(0, &now);
    snprintf(block_name, sizeof block_name, "corvane-example-%lld-%ld", (long long)now.seconds,
             (long)now.nanoseconds);
    event_name(block_name, name, sizeof name);

    block = os_sharememory_create(block_name, block_size);
    answered = os_event_create(false, false, name);
    if (block == NULL || answered == NULL) {
        fprintf(stderr, "could not make the shared objects\n");
        return 1;
    }
    bytes = os_sharememory_get_buffer(block);
    strcpy(bytes, "ping");

    if (os_environment_get_application_path(self, sizeof self) >= sizeof self ||
        !os_system_run_application(self, block_name, 0)) {
        fprintf(stderr, "could not start the second process\n");
    } else {
        deadline = now;
        deadline.seconds += 30;
        if (os_event_wait_timeout(answered, deadline)) {
            printf("asked \"%s\", got %s\n", bytes, bytes + answer_offset);
            result = 0;
        } else {
            fprintf(stderr, "no answer within 30 s\n");
        }
    }
    os_event_destroy(&answered);
    os_sharememory_destroy(&block);
    return result;
}

int main(int argc, char** argv) {
    return argc > 1 ? answer(argv[1]) : ask();
}
