// Threads, processor affinity and the timer resolution for Linux.

#include <dirent.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "sync/sync_platform.hpp"

namespace corvane::detail {

namespace {

static_assert(sizeof(pthread_t) <= sizeof(os_thread_handle), "a pthread_t fits a thread handle");

void* thread_entry(void* record) {
    run_thread_start(record);
    return nullptr;
}

cpu_set_t only_processor(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return set;
}

// Binds every listed thread not bound yet; false when one refused for any
// reason but having ended meanwhile.
bool bind_listed_threads(const cpu_set_t& set, std::set<pid_t>& bound, bool& found_new) {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return false;
    }
    bool all_bound = true;
    while (const dirent* entry = readdir(tasks)) {
        const pid_t tid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        if (tid <= 0 || !bound.insert(tid).second) {
            continue;
        }
        found_new = true;
        if (sched_setaffinity(tid, sizeof set, &set) != 0 && errno != ESRCH) {
            all_bound = false;
        }
    }
    closedir(tasks);
    return all_bound;
}

}  // namespace

bool start_thread(os_thread_handle* thread, void* record, size_t stack_size) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stack_size != 0) {
        pthread_attr_setstacksize(&attributes, std::max<size_t>(stack_size, PTHREAD_STACK_MIN));
    }
    pthread_t started{};
    const int result = pthread_create(&started, &attributes, thread_entry, record);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        return false;
    }
    *thread = static_cast<os_thread_handle>(started);
    return true;
}

int32_t join_thread(os_thread_handle thread) {
    return pthread_join(static_cast<pthread_t>(thread), nullptr);
}

// Each thread has its own mask, so the process is bound thread by thread. A
// thread started during the walk may copy its creator's old mask; walking
// again until no new thread shows up catches it.
bool bind_process_to_processor(int cpu) {
    const cpu_set_t set = only_processor(cpu);
    std::set<pid_t> bound;
    bool found_new = true;
    while (found_new) {
        found_new = false;
        if (!bind_listed_threads(set, bound, found_new)) {
            return false;
        }
    }
    return true;
}

bool bind_thread_to_processor(os_thread_handle thread, int cpu) {
    const cpu_set_t set = only_processor(cpu);
    return pthread_setaffinity_np(static_cast<pthread_t>(thread), sizeof set, &set) == 0;
}

// High-resolution timers need no raising on Linux.
void raise_timer_resolution() {}

int32_t restore_timer_resolution() {
    return 0;
}

}  // namespace corvane::detail
