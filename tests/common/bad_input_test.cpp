// Every exported function called with hostile arguments: null handles, null
// and empty strings, invalid type codes, sizes of 0 and 2^32 - 1, negative
// counts and names of 1023, 1024 and 4096 bytes. A row is the call as written
// and the result its contract gives; the comment heading each group of rows
// says why. Out-parameters start as 0x5A bytes and must keep them unless the
// row says what the call leaves there; the sanitizer and valgrind runs catch
// a call that reads or writes memory it must not, or leaks.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/corvane.h"
#include "test_support.hpp"

using namespace corvane::test;

namespace {

// Everything a call may write through its out-parameters, compared byte for byte.
struct outs {
    outs() { std::memset(this, 0x5A, sizeof *this); }
    variant_record record;  // an invalid type code over stray bytes
    void* pointer; int64_t i64; uint32_t u32; int32_t i32; char text[24];
};

struct row {
    std::string call;  // as written: it names the exported functions it calls
    std::function<int64_t(const char* s, outs& o)> run;
    int64_t result = 0;
    void (*after)(outs&) = nullptr;  // what the call leaves in the out-parameters
};
row then(row r, void (*after)(outs&)) { return r.after = after, r; }
// All 16 bytes of the record zero: `= {}` need not touch the union's bytes
// past its first member.
void zero_record(outs& o) { std::memset(&o.record, 0, sizeof o.record); }

template <typename T>
int64_t number(T v) {
    if constexpr (std::is_pointer_v<T>) return v != nullptr;
    else return int64_t(v);
}

variant_record typed(variant_type type, int64_t value) { return {type, {}, {.i64 = value}}; }
const variant_record null_text = typed(VARIANT_TYPE_STRING, 0);  // a string without a unit

// Calls `function` with every argument null, zero or false; a destroy
// function with the address of a variable holding null.
template <typename R, typename... A>
int64_t zeros(R (*function)(A...)) {
    if constexpr (std::is_void_v<R>) return function(A{}...), 0;
    else return number(function(A{}...));
}
template <typename H>
int64_t zeros(void (*destroy)(H**)) {
    H* handle = nullptr;
    destroy(&handle);
    return number(handle);
}

// Rows: GIVES, the expected result and the call, over the row's string `s`
// and out-parameters `o`; DOES, a call that returns nothing; ZEROS, a
// function called with every argument null, zero or false; SETS, a setter
// storing 0 over the invalid type code, which gives way to the setter's own
// `type`.
#define GIVES(result, ...) row{#__VA_ARGS__, [&]([[maybe_unused]] const char* s, \
    [[maybe_unused]] outs& o) -> int64_t { return number(__VA_ARGS__); }, result}
#define DOES(...) \
    row{#__VA_ARGS__, [&](const char*, [[maybe_unused]] outs& o) { return __VA_ARGS__, 0; }}
#define ZEROS(result, function) \
    row{#function "(0, ...)", [](const char*, outs&) { return zeros(function); }, result}
#define SETS(setter, type) \
    then(DOES(setter(&o.record, 0, 0)), [](outs& o) { o.record = typed(type, 0); })

// Whether a handle a create gave is there; it is destroyed at once.
template <typename H>
int64_t fresh(H* handle, void (*destroy)(H**)) {
    const bool made = handle;
    destroy(&handle);
    return made;
}
// Whether a wait that only polls takes a unit of a new event or semaphore,
// which is destroyed then.
bool polled(os_event_handle* event) {
    const bool took = os_event_wait_timeout(event, {INT64_MIN, INT32_MIN});
    return os_event_destroy(&event), took;
}

// Calls `function` with a va_list of the arguments after `format`.
int32_t with_va_list(int32_t (*function)(const char*, va_list), const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int32_t result = function(format, args);
    return va_end(args), result;
}

}  // namespace

TEST(BadInput, EveryExportAnswersHostileArgumentsAsItsContractSays) {
    const std::string exported = read_file(CORVANE_EXPORT_LIST);
    // Relative paths land in a private folder, which must stay empty.
    const temp_folder folder;
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const std::string name = (unique_name("bad") + std::string(1023, 'n')).substr(0, 1023);
    const std::string long_name(4096, 'n'), block_name = unique_name("block");
    const char *n1023 = name.c_str(), *n1024 = long_name.c_str() + 3072, *n4096 = long_name.c_str();
    const time_record low{INT64_MIN, INT32_MIN}, high{INT64_MAX, INT32_MAX};
    bstr_handle* bstr = bstr_create(); variant_wrapper_handle* wrapper = variant_wrapper_create();
    safearray_handle* ints = safearray_create(VARIANT_TYPE_INT, 2);
    safearray_handle* bare = safearray_create(99, UINT32_MAX);
    os_sharememory_handle* block = os_sharememory_create(block_name.c_str(), 16);
    intptr_t no_port = CORVANE_INVALID_SERIAL_PORT;
    const uintptr_t no_sock = CORVANE_INVALID_SOCKET;
    // Scratch for the rows that read back what a call wrote.
    os_thread_handle thread = 7; int32_t count = 0; uint32_t size = 0; variant_type code = 0;
    time_record t{}; variant_record record{};
    // A caller's unit whose length reads as negative: its bytes must never be read.
    uint32_t negative[2] = {UINT32_MAX, 0x31313131};
    bstrunit* const bad = reinterpret_cast<bstrunit*>(negative);
    const variant_record bad_text = typed(VARIANT_TYPE_STRING, reinterpret_cast<intptr_t>(bad));
    safearray_handle* strings = safearray_create(VARIANT_TYPE_STRING, 1);
    const std::vector<row> rows = {
        // Every argument null or 0: false, 0, null or nothing.
        ZEROS(0, bstr_destroy), ZEROS(0, bstr_clear), ZEROS(0, bstr_attach_bstrunit),
        ZEROS(0, bstr_get_string), ZEROS(0, bstr_detach_bstrunit), ZEROS(1, bstr_equal_bstr),
        ZEROS(1, bstr_equal_bstrunit), ZEROS(1, bstr_set_bstr), ZEROS(1, bstr_set_bstrunit),
        ZEROS(1, bstr_set_string), ZEROS(0, safearray_destroy), ZEROS(0, safearray_clear),
        ZEROS(0, safearray_resize), ZEROS(0, safearray_get_element_count),
        ZEROS(0, safearray_get_element),
        ZEROS(0, safearray_get_element_type), ZEROS(0, safearray_set_element),
        ZEROS(0, safearray_access_element), ZEROS(0, safearray_unaccess_element),
        ZEROS(0, variant_wrapper_clone), ZEROS(0, variant_wrapper_destroy),
        ZEROS(0, variant_wrapper_get_type), ZEROS(0, variant_wrapper_set_type),
        ZEROS(0, variant_wrapper_get_variantread), ZEROS(0, variant_wrapper_get_variantwrite),
        ZEROS(0, variant_wrapper_get_wrapper_value), ZEROS(0, variant_wrapper_set_wrapper_value),
        ZEROS(0, variant_wrapper_set_mode), ZEROS(0, variant_resolve_display_type),
        ZEROS(0, variant_resolve_type), ZEROS(0, os_recursive_mutex_destroy),
        ZEROS(0, os_recursive_mutex_lock), ZEROS(0, os_recursive_mutex_unlock),
        ZEROS(0, os_rw_mutex_destroy),
        ZEROS(0, os_rw_mutex_lock_rd), ZEROS(0, os_rw_mutex_lock_wr), ZEROS(0, os_rw_mutex_unlock),
        ZEROS(0, os_event_destroy), ZEROS(0, os_event_set_event), ZEROS(0, os_event_reset_event),
        ZEROS(0, os_event_wait), ZEROS(0, os_event_wait_timeout), ZEROS(0, os_semaphore_destroy),
        ZEROS(0, os_semaphore_release), ZEROS(0, os_semaphore_wait),
        ZEROS(0, os_semaphore_wait_timeout),
        ZEROS(0, os_condition_destroy), ZEROS(0, os_condition_lock), ZEROS(0, os_condition_unlock),
        ZEROS(0, os_condition_signal), ZEROS(0, os_condition_wait),
        ZEROS(0, os_condition_wait_timeout),
        ZEROS(0, os_thread_create), ZEROS(1, os_thread_install_latency),
        ZEROS(0, os_thread_sched_set_thread_affinity), ZEROS(0, os_system_invoke_command),
        ZEROS(0, os_system_run_application), ZEROS(0, os_system_get_os_environmentVariable),
        ZEROS(0, os_system_set_os_environmentVariable),
        ZEROS(0, os_environment_get_application_path),
        ZEROS(0, os_dynamic_library_loader_free), ZEROS(0, os_sharememory_create),
        ZEROS(0, os_sharememory_close), ZEROS(0, os_sharememory_destroy),
        ZEROS(0, os_sharememory_get_buffer),
        ZEROS(0, os_file_is_relative_path), ZEROS(0, os_filesystem_walk_through),
        ZEROS(0, os_filesystem_walk_through_ex),
        // A null handle or name with other arguments: nothing touched.
        DOES(bstr_attach_bstrunit(nullptr, bad)),
        GIVES(0, variant_wrapper_get_type(nullptr, o.text, &o.u32)),
        GIVES(0, bstr_equal_bstrunit(nullptr, bad)),
        GIVES(0, safearray_access_element(nullptr, &o.pointer)),
        GIVES(0, bstr_set_bstr(nullptr, bstr)),
        DOES(variant_wrapper_set_wrapper_value(nullptr, &o.record, 1)),
        GIVES(0, os_system_get_os_environmentVariable("PATH", o.text, nullptr)),
        GIVES(-1, with_va_list(os_clibrary_string_get_formatted_length, nullptr)),
        GIVES(0, capture_stdout([] { os_semaphore_set_undo_track(nullptr, false); }).size()),
        // A unit whose length reads as negative is refused, equals nothing and reads as empty text.
        GIVES(0, bstr_set_bstrunit(bstr, bad) || bstr_get_string(bstr)),
        DOES(variant_set_bstrunit(&o.record, bad)),
        DOES(variant_set_variant(&o.record, &bad_text)),
        GIVES(0, safearray_set_element(strings, 0, &bad)),
        GIVES(0, variant_equal_variant(&bad_text, &bad_text)),
        GIVES(0, variant_resolve_as_int(&bad_text)),
        // An invalid type code: never equal, no size or name, no conversion, no storage.
        GIVES(0, variant_equal_variant(&o.record, &o.record)),
        GIVES(1, safearray_resize(bare, UINT32_MAX)),
        GIVES(0, variant_ajust_data_value(&o.record, 3)),
        GIVES(0, variant_get_datatype_size(0xFFFF, &(size = 7)) || size),
        GIVES(0, variant_resolve_display_type(15, o.text, &o.u32)),
        GIVES(0, variant_change_type(&(record = null_text), 99) ||
                     record.type != VARIANT_TYPE_STRING),
        GIVES(1, fresh(safearray_create(0xFFFF, 0), safearray_destroy)),
        GIVES(UINT32_MAX, safearray_get_element_count(bare)),
        GIVES(0, safearray_get_element(bare, UINT32_MAX - 1, &o.i32)),
        // A setter over an invalid type code takes its own type.
        SETS(variant_set_char, 1), SETS(variant_set_ulong, 8), SETS(variant_set_bool, 14),
        SETS(variant_set_short, 3), SETS(variant_set_ushort, 4), SETS(variant_set_float, 11),
        SETS(variant_set_byte, 2), SETS(variant_set_uint, 6), SETS(variant_set_long, 7),
        SETS(variant_set_int, 5),
        SETS(variant_set_longlong, 9), SETS(variant_set_ulonglong, 10),
        SETS(variant_set_double, 12),
        // Init sets only the type; clear, or a null source, zero all 16 bytes; a null text does
        // nothing.
        then(DOES(variant_init(&o.record)), [](outs& o) { o.record.type = 0; }),
        then(DOES(variant_clear(&o.record)), zero_record),
        then(DOES(variant_set_variantread(&o.record, nullptr)), zero_record),
        DOES(variant_set_variant(&o.record, &o.record)),
        DOES(variant_set_string(&o.record, nullptr, 1)),
        // A null unit makes a string without one, which reads as 0.
        then(DOES(variant_set_bstrunit(&o.record, nullptr)), [](outs& o) { o.record = null_text; }),
        GIVES(0, variant_resolve_as_char(&null_text)),
        GIVES(0, variant_resolve_as_float(&null_text)),
        GIVES(0, variant_resolve_as_short(&null_text)),
        GIVES(0, variant_resolve_as_ulong(&null_text)),
        GIVES(0, variant_resolve_as_byte(&null_text)),
        GIVES(0, variant_resolve_as_uint(&null_text)),
        GIVES(0, variant_resolve_as_ushort(&null_text)),
        GIVES(0, variant_resolve_as_double(&null_text)),
        GIVES(0, variant_resolve_as_int(&null_text)),
        GIVES(0, variant_resolve_as_long(&null_text)),
        GIVES(0, variant_resolve_as_bool(&null_text)),
        GIVES(0, variant_resolve_as_longlong(&null_text)),
        GIVES(0, variant_resolve_as_ulonglong(&null_text)),
        // An unknown name is type 0.
        GIVES(0, variant_resolve_type(n4096, &(code = 7)) || code),
        // A create with nothing to refuse gives a handle.
        GIVES(1, fresh(bstr_create(), bstr_destroy)),
        GIVES(1, fresh(variant_wrapper_create(), variant_wrapper_destroy)),
        GIVES(1, fresh(os_condition_create(), os_condition_destroy)),
        // An index at or past the count, or no room.
        GIVES(0, safearray_set_element(ints, 2, &o.i32) || safearray_get_element(ints, 2, &o.i32)),
        GIVES(0, safearray_get_element(ints, 0, nullptr) ||
                     safearray_set_element(ints, 0, nullptr)),
        GIVES(0, safearray_access_element(ints, nullptr) ||
                     safearray_get_element(ints, UINT32_MAX, &o.i32)),
        // Time records at both ends: every clock kind is one, spans wrap, copies are exact;
        // long past, or no time: at once.
        GIVES(0, os_clock_get_time(INT32_MIN, &t)), DOES(os_thread_sleep_milliseconds(0)),
        GIVES(-2, (os_clock_get_clock_span(&low, &high, &t), t.seconds + t.nanoseconds)),
        GIVES(852'516'352, (os_clock_adjust_clock_time(&(t = low)), t.nanoseconds)),
        GIVES(INT64_MAX, (os_clock_monotonic_to_realtime(&high, &t), t.seconds)),
        GIVES(INT32_MIN, (os_clock_realtime_to_monotonic(&low, &t), t.nanoseconds)),
        DOES(os_clock_nano_sleep(&low)),
        // Names of 1023 bytes make named objects, longer ones unusable handles; a count below 1
        // too.
        GIVES(1, fresh(os_recursive_mutex_create(n1023), os_recursive_mutex_destroy)),
        GIVES(1, fresh(os_rw_mutex_create(n4096), os_rw_mutex_destroy)),
        GIVES(1, polled(os_event_create(true, true, n1023))),
        GIVES(0, polled(os_semaphore_create(1, n4096))),
        GIVES(0, polled(os_event_create(true, true, n1024))),
        GIVES(0, polled(os_semaphore_create(0, n1023)) ||
                     polled(os_semaphore_create(INT32_MIN, nullptr))),
        // Threads: no stack that large (Wine takes one: that thread must run and end), a null
        // routine,
        // no such processor.
        GIVES(1, (os_thread_create(&thread, nullptr, nullptr, SIZE_MAX),
                  !thread || !os_thread_join(thread))),
        GIVES(0, os_thread_join((os_thread_create(&thread, nullptr, nullptr, 1), thread))),
        GIVES(0, os_thread_sched_set_affinity(-1)), GIVES(0, os_thread_sched_set_affinity(64)),
        // Nothing to refuse: the fixed results, whatever the privilege.
        GIVES(1, os_thread_init_rt_schedule() && os_thread_exit_rt_schedule() == 0),
        GIVES(1, os_sync_environment_initialize()), DOES(os_sync_environment_uninitialize()),
        DOES(os_thread_uninstall_latency()), DOES(os_system_close_exception()),
        DOES(os_filesystem_sync()),
        GIVES(1, (os_memory_manager_mlockall(), os_memory_manager_munlockall())),
        GIVES(1, os_system_check_root_privileges() == os_system_check_root_privileges()),
        // Atomics: the old value without a swap, wrapping counts.
        GIVES(0x5A5A5A5A, os_thread_sync_compare_and_swap(&o.i32, 0, 1)),
        GIVES(0x5A5A5A5A5A5A5A5A, os_thread_sync_compare_and_swap_64(&o.i64, 0, 1)),
        GIVES(INT32_MIN, os_thread_sync_fetch_add(&(count = INT32_MAX))),
        GIVES(INT32_MAX, os_thread_sync_fetch_sub(&(count = INT32_MIN))),
        // Bad descriptors, empty and too long paths: the system's -1.
        GIVES(-1, os_clibrary_file_open(n4096, -1, -1)),
        GIVES(0, os_clibrary_file_getcwd(o.text, -1)),
        GIVES(-1, os_clibrary_file_read(-1, o.text, UINT32_MAX)),
        GIVES(-1, os_clibrary_file_mkdir("", 0)),
        GIVES(-1, os_clibrary_file_chdir(n4096)),
        GIVES(0, os_clibrary_file_umask(os_clibrary_file_umask(0))),
        GIVES(-1, os_clibrary_file_write(-1, o.text, UINT32_MAX)),
        GIVES(-1, os_clibrary_file_seek(-1, 0, 3)),
        GIVES(-1, os_clibrary_file_close(-1)),
        GIVES(-1, os_clibrary_file_unlink("")), GIVES(-1, os_clibrary_file_access(n4096, 0)),
        // A long name is relative, names no program, no variable; '=' is no part of a name.
        GIVES(1, os_file_is_relative_path(n4096)),
        GIVES(0, os_system_run_application(n4096, "", 1)),
        DOES(os_system_set_os_environmentVariable("", "x", 1)),
        DOES(os_system_set_os_environmentVariable("CORVANE_BAD=x", "y", 1)),
        GIVES(0, os_system_get_os_environmentVariable("CORVANE_BAD", nullptr, &o.u32)),
        // No room; a block too large for the existing one; 1023 bytes name a block, 1024 none.
        GIVES(0, os_environment_get_application_path(o.text, 0)),
        GIVES(0, os_sharememory_create(n1024, 16)),
        GIVES(0, os_sharememory_create(block_name.c_str(), UINT32_MAX)),
        GIVES(1, fresh(os_sharememory_create(n1023, 16), os_sharememory_destroy)),
        // The invalid port or socket: -1 or false at once, nothing touched.
        GIVES(-1, (os_serial_close(&no_port), no_port)),
        GIVES(-1, os_socket_ioctl(no_sock, 0, &o.u32)),
        GIVES(0, os_serial_purge(no_port, 3)),
        GIVES(0, os_socket_readable(no_sock, UINT32_MAX, &o.i32)),
        GIVES(-1, os_serial_read(no_port, nullptr, 8, nullptr, UINT32_MAX, 0)),
        GIVES(0, os_serial_select(no_port, -1)),
        GIVES(-1, os_socket_set_recv_timeout(no_sock, UINT32_MAX)),
        GIVES(-1, os_serial_write(no_port, nullptr, UINT32_MAX)),
        GIVES(0, os_socket_is_link_broken(no_sock)),
        GIVES(-1, os_socket_close(no_sock)),
        GIVES(0, os_socket_writable(no_sock, 0, &o.i32)),
        GIVES(-1, os_socket_set_send_timeout(no_sock, 0)),
        GIVES(0, os_socket_disable_udp_unreached_report(no_sock) +
                     (os_socket_get_errno_code() != 0)),
        // More clears than start-ups.
        GIVES(0, os_socket_clear_library()),
        GIVES(1, os_socket_init_library() && os_socket_clear_library()),
        // Invalid UTF-8 gives "Error Encode!", null the empty text, sizes 14 and 1.
        GIVES(14, (os_utf8helper_oem_from_utf8("\xff", nullptr, &size), size)),
        GIVES(1, (os_utf8helper_oem_to_utf8(nullptr, nullptr, &size), size)),
        // A prefix sorts first; equal strings are in no order.
        GIVES(0, os_clibrary_string_intelligent_greater(n1024, n4096)),
        GIVES(0, os_clibrary_string_intelligent_less("", "")),
    };
    // Each of these runs with every string: none, empty, 1023, 1024 and 4096 bytes.
    const std::vector<row> string_rows = {
        // A null handle takes only a null text.
        GIVES(1, bstr_set_string(nullptr, s) == (s == nullptr)),
        // No such entry, process, variable, library, block or port.
        GIVES(0, os_file_exist(s)),
        GIVES(0, os_file_create(s)), GIVES(0, os_file_remove(s)), GIVES(0, os_file_move(s, s)),
        GIVES(0, os_folder_exist(s)), GIVES(0, os_folder_create(s)), GIVES(0, os_folder_move(s, s)),
        GIVES(0, os_file_copy(s, s, true)),
        GIVES(0, os_system_get_os_environmentVariable(s, o.text, &o.u32)),
        GIVES(0, os_folder_copy(s, s, false)), GIVES(0, os_system_kill_application(s)),
        GIVES(0, os_folder_remove(s, true)), GIVES(-1, os_serial_open(s, 9, 0, 0)),
        GIVES(0, os_sharememory_open(s)),
        GIVES(0, os_dynamic_library_loader_load_ex(s, o.text, UINT32_MAX)),
        GIVES(0, os_dynamic_library_loader_load(s)),
        GIVES(0, os_dynamic_library_loader_get_proc(nullptr, s)),
        // No room: nothing written.
        GIVES(0, os_utf8helper_oem_from_utf8(s, o.text, &(size = 0)) || size),
        GIVES(0, os_utf8helper_oem_to_utf8(s, o.text, &(size = 0)) || size),
    };
    std::string calls;  // every call as written
    const auto run = [&calls](const std::vector<row>& table, const char* s) {
        for (const row& r : table) {
            outs o, expected;
            const int64_t result = r.run(s, o);
            calls += r.call + '\n';
            if (r.after != nullptr) r.after(expected);
            EXPECT_EQ(result, r.result)
                << r.call << " on " << (s ? std::to_string(std::strlen(s)) : "null");
            EXPECT_EQ(std::memcmp(&o, &expected, sizeof o), 0) << r.call << ": out-parameters";
        }
    };
    run(rows, nullptr);
    for (const char* s : {static_cast<const char*>(nullptr), "", n1023, n1024, n4096}) {
        run(string_rows, s);
    }
    bstr_destroy(&bstr);
    safearray_destroy(&ints);
    safearray_destroy(&bare);
    safearray_destroy(&strings);
    variant_wrapper_destroy(&wrapper);
    os_sharememory_destroy(&block);
    std::filesystem::current_path(home);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "a row made something";
    // Every export has a row: a new one fails here until it gets one.
    std::istringstream list(exported);
    ASSERT_FALSE(exported.empty()) << CORVANE_EXPORT_LIST;
    for (std::string f; list >> f;) {
        EXPECT_TRUE(std::regex_search(calls, std::regex("\\b" + f + "\\b"))) << f;
    }
}
