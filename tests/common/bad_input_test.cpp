// Every exported function called with hostile arguments: null handles, null
// and empty strings, invalid type codes, sizes of 0 and 2^32 - 1, negative
// counts and names of 1023, 1024 and 4096 bytes. A row is the call as
// written, the result its contract gives and why. Out-parameters start as
// 0x5A bytes and must keep them unless the row says what the call leaves
// there; the sanitizer and valgrind runs catch a call that reads or writes
// memory it must not, or leaks.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/corvane.h"
#include "test_support.hpp"

using namespace corvane::test;

namespace {

// Everything a call may write through its out-parameters. Compared byte for
// byte, so it has no padding.
struct outs {
    outs() { std::memset(this, 0x5A, sizeof *this); }
    bool operator==(const outs& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
    variant_record record;  // an invalid type code over stray bytes
    void* pointer;
    int64_t i64;
    uint32_t u32;
    int32_t i32;
    variant_type code;
    char text[22];
};
static_assert(sizeof(outs) == 64);

struct row {
    std::string call;  // as written: it names the exported functions it calls
    std::function<int64_t(const char* s, outs& o)> run;
    int64_t result = 0;
    const char* why = nullptr;       // for this row and the rows after it that give none
    void (*after)(outs&) = nullptr;  // what the call leaves in the out-parameters
};

template <typename T>
int64_t number(T v) { if constexpr (std::is_pointer_v<T>) return v != nullptr; else return int64_t(v); }

variant_record typed(variant_type type, int64_t value) { return {type, {}, {.i64 = value}}; }
const variant_record null_text = typed(VARIANT_TYPE_STRING, 0);  // a string without a unit

// Calls `function` with every argument null, zero or false.
template <typename R, typename... A>
int64_t zeros(R (*function)(A...)) {
    if constexpr (std::is_void_v<R>) return function(A{}...), 0;
    else return number(function(A{}...));
}

// A row's call: its text, and the call over the row's string `s` and
// out-parameters `o`, giving its result. DOES: a call that returns nothing.
// ZEROS: a function called with every argument null, zero or false.
// SETS: a setter storing 0 into the invalid type code, which the record
// gives up for the setter's own `type`.
#define CALL(...) #__VA_ARGS__, [&]([[maybe_unused]] const char* s, [[maybe_unused]] outs& o) \
    -> int64_t { return number(__VA_ARGS__); }
#define DOES(...) #__VA_ARGS__, [&]([[maybe_unused]] const char* s, [[maybe_unused]] outs& o) \
    -> int64_t { return __VA_ARGS__, 0; }
#define ZEROS(function) #function "(0, ...)", [](const char*, outs&) { return zeros(function); }
#define SETS(setter, type) #setter "(&o.record, 0, 0)", [](const char*, outs& o) -> int64_t { \
    return setter(&o.record, 0, 0), 0; }, 0, nullptr, [](outs& o) { o.record = typed(type, 0); }

// The address of a handle variable that holds null, for the destroy functions.
template <typename H>
H** none() { static H* handle = nullptr; return &handle; }

// A handle a create gave, tried by `probe` (by default: is there one?) and destroyed.
template <typename H>
int64_t fresh(H* handle, void (*destroy)(H**), bool (*probe)(H*) = nullptr) {
    const bool answer = probe != nullptr ? probe(handle) : handle != nullptr;
    return destroy(&handle), answer;
}
bool polls(os_event_handle* event) { return os_event_wait_timeout(event, {INT64_MIN, INT32_MIN}); }
bool locks(os_recursive_mutex_handle* m) { return os_recursive_mutex_lock(m), os_recursive_mutex_unlock(m), m; }
bool locks(os_rw_mutex_handle* m) { return os_rw_mutex_lock_wr(m), os_rw_mutex_unlock(m), m; }

// Calls `function` with a va_list of the arguments after `format`.
int32_t with_va_list(int32_t (*function)(const char*, va_list), const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int32_t result = function(format, args);
    return va_end(args), result;
}

}  // namespace

TEST(BadInput, EveryExportAnswersHostileArgumentsAsItsContractSays) {
    std::vector<std::string> exported;
    std::ifstream list(CORVANE_EXPORT_LIST);
    for (std::string name; std::getline(list, name);) exported.push_back(name);
    // Relative paths land in a private folder, which must stay empty.
    const temp_folder folder;
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const std::string name = (unique_name("bad") + std::string(1023, 'n')).substr(0, 1023);
    const std::string long_name(4096, 'n'), block_name = unique_name("block");
    const char *n1023 = name.c_str(), *n1024 = long_name.c_str() + 3072, *n4096 = long_name.c_str();
    const time_record low{INT64_MIN, INT32_MIN}, high{INT64_MAX, INT32_MAX};
    time_record t{};
    bstr_handle* bstr = bstr_create();
    safearray_handle *ints = safearray_create(VARIANT_TYPE_INT, 2), *typeless = safearray_create(99, UINT32_MAX);
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    os_sharememory_handle* block = os_sharememory_create(block_name.c_str(), 16);
    intptr_t no_port = CORVANE_INVALID_SERIAL_PORT;
    const uintptr_t no_sock = CORVANE_INVALID_SOCKET;
    os_thread_handle thread = 7;
    int32_t count = 0;
    const auto started = [] { os_thread_handle id = 0; return os_thread_create(&id, nullptr, nullptr, 1), id; };
    const auto garbage = [](outs& o) { return reinterpret_cast<bstrunit*>(o.text); };  // a unit of stray bytes
    const std::vector<row> rows = {
        {ZEROS(bstr_clear), 0, "null or 0 everywhere: a null handle gives false, 0, null or nothing"},
        {ZEROS(bstr_attach_bstrunit)}, {ZEROS(bstr_detach_bstrunit)}, {ZEROS(bstr_get_string)},
        {ZEROS(bstr_equal_bstr), 1}, {ZEROS(bstr_equal_bstrunit), 1}, {ZEROS(bstr_set_bstr), 1},
        {ZEROS(bstr_set_bstrunit), 1}, {ZEROS(bstr_set_string), 1}, {ZEROS(safearray_clear)},
        {ZEROS(safearray_resize)}, {ZEROS(safearray_get_element_count)}, {ZEROS(safearray_get_element)},
        {ZEROS(safearray_get_element_type)}, {ZEROS(safearray_set_element)}, {ZEROS(safearray_access_element)},
        {ZEROS(safearray_unaccess_element)}, {ZEROS(variant_wrapper_clone)}, {ZEROS(variant_wrapper_get_type)},
        {ZEROS(variant_wrapper_set_type)}, {ZEROS(variant_wrapper_get_variantread)},
        {ZEROS(variant_wrapper_get_variantwrite)}, {ZEROS(variant_wrapper_get_wrapper_value)},
        {ZEROS(variant_wrapper_set_wrapper_value)}, {ZEROS(variant_wrapper_set_mode)},
        {ZEROS(variant_resolve_display_type)}, {ZEROS(variant_resolve_type)}, {ZEROS(os_recursive_mutex_lock)},
        {ZEROS(os_recursive_mutex_unlock)}, {ZEROS(os_rw_mutex_lock_rd)}, {ZEROS(os_rw_mutex_lock_wr)},
        {ZEROS(os_rw_mutex_unlock)}, {ZEROS(os_event_set_event)}, {ZEROS(os_event_reset_event)},
        {ZEROS(os_event_wait)}, {ZEROS(os_event_wait_timeout)}, {ZEROS(os_semaphore_release)},
        {ZEROS(os_semaphore_wait)}, {ZEROS(os_semaphore_wait_timeout)},
        {ZEROS(os_condition_lock)}, {ZEROS(os_condition_unlock)}, {ZEROS(os_condition_signal)},
        {ZEROS(os_condition_wait)}, {ZEROS(os_condition_wait_timeout)}, {ZEROS(os_thread_create)},
        {ZEROS(os_thread_sched_set_thread_affinity)}, {ZEROS(os_thread_install_latency), 1},
        {ZEROS(os_system_invoke_command)}, {ZEROS(os_system_run_application)},
        {ZEROS(os_system_get_os_environmentVariable)}, {ZEROS(os_system_set_os_environmentVariable)},
        {ZEROS(os_environment_get_application_path)}, {ZEROS(os_dynamic_library_loader_free)},
        {ZEROS(os_sharememory_create)}, {ZEROS(os_sharememory_get_buffer)}, {ZEROS(os_sharememory_close)},
        {ZEROS(os_filesystem_walk_through)}, {ZEROS(os_filesystem_walk_through_ex)},
        {ZEROS(os_file_is_relative_path)},
        {DOES(bstr_destroy(none<bstr_handle>())), 0, "a variable holding null"},
        {DOES(safearray_destroy(none<safearray_handle>()))}, {DOES(os_event_destroy(none<os_event_handle>()))},
        {DOES(variant_wrapper_destroy(none<variant_wrapper_handle>()))},
        {DOES(os_recursive_mutex_destroy(none<os_recursive_mutex_handle>()))},
        {DOES(os_rw_mutex_destroy(none<os_rw_mutex_handle>()))},
        {DOES(os_semaphore_destroy(none<os_semaphore_handle>()))},
        {DOES(os_condition_destroy(none<os_condition_handle>()))},
        {DOES(os_sharememory_destroy(none<os_sharememory_handle>()))},
        {CALL(bstr_set_bstr(nullptr, bstr)), 0, "a null handle with a source"},
        {DOES(bstr_attach_bstrunit(nullptr, garbage(o)))}, {CALL(bstr_set_bstrunit(nullptr, garbage(o)))},
        {CALL(bstr_equal_bstrunit(nullptr, garbage(o)))}, {CALL(bstr_equal_bstr(nullptr, bstr))},
        {CALL(safearray_get_element(nullptr, 0, &o.i32))}, {CALL(safearray_access_element(nullptr, &o.pointer))},
        {CALL(variant_wrapper_get_type(nullptr, o.text, &o.u32))}, {CALL(variant_wrapper_set_type(nullptr, ""))},
        {DOES(variant_wrapper_set_wrapper_value(nullptr, &o.record, 1))},
        {CALL(os_system_get_os_environmentVariable("PATH", o.text, nullptr)), 0, "no size"},
        {CALL(with_va_list(os_clibrary_string_get_formatted_length, nullptr)), -1, "no format"},
        {CALL(capture_stdout([] { os_semaphore_set_undo_track(nullptr, false); }).size()), 0, "silently"},
        {CALL(variant_equal_variant(&o.record, &o.record)), 0, "an invalid type code is never equal"},
        {CALL(variant_get_datatype_size(0xFFFF, &o.u32)), 0, "has no size", [](outs& o) { o.u32 = 0; }},
        {CALL(variant_resolve_display_type(15, o.text, &o.u32)), 0, "no name"},
        {CALL(variant_ajust_data_value(&o.record, 3)), 0, "is no integer"},
        {CALL(variant_change_type(&(o.record = null_text), 99)), 0, "is no conversion target",
         [](outs& o) { o.record = null_text; }},
        {CALL(fresh(safearray_create(0xFFFF, 0), safearray_destroy)), 1, "makes an array without storage"},
        {CALL(safearray_resize(typeless, UINT32_MAX)), 1, "that keeps its count: nothing to do"},
        {CALL(safearray_get_element(typeless, UINT32_MAX - 1, &o.i32)), 0, "but refuses every element"},
        {SETS(variant_set_char, 1)}, {SETS(variant_set_byte, 2)}, {SETS(variant_set_short, 3)},
        {SETS(variant_set_ushort, 4)}, {SETS(variant_set_int, 5)}, {SETS(variant_set_uint, 6)},
        {SETS(variant_set_long, 7)}, {SETS(variant_set_ulong, 8)}, {SETS(variant_set_longlong, 9)},
        {SETS(variant_set_ulonglong, 10)}, {SETS(variant_set_float, 11)}, {SETS(variant_set_double, 12)},
        {SETS(variant_set_bool, 14)},
        {DOES(variant_init(&o.record)), 0, "init sets the type only", [](outs& o) { o.record.type = 0; }},
        {DOES(variant_clear(&o.record)), 0, "clear zeroes all 16 bytes", [](outs& o) { o.record = {}; }},
        {DOES(variant_set_variantread(&o.record, nullptr)), 0, "so does a null source", [](outs& o) { o.record = {}; }},
        {DOES(variant_set_variant(&o.record, &o.record)), 0, "a copy onto itself changes nothing"},
        {DOES(variant_set_string(&o.record, nullptr, 1)), 0, "a null text does nothing at all"},
        {DOES(variant_set_bstrunit(&o.record, nullptr)), 0, "a null unit makes a string without one",
         [](outs& o) { o.record = null_text; }},
        {CALL(variant_resolve_as_char(&null_text)), 0, "which reads as empty text: 0"},
        {CALL(variant_resolve_as_byte(&null_text))}, {CALL(variant_resolve_as_short(&null_text))},
        {CALL(variant_resolve_as_ushort(&null_text))}, {CALL(variant_resolve_as_int(&null_text))},
        {CALL(variant_resolve_as_uint(&null_text))}, {CALL(variant_resolve_as_long(&null_text))},
        {CALL(variant_resolve_as_ulong(&null_text))}, {CALL(variant_resolve_as_longlong(&null_text))},
        {CALL(variant_resolve_as_ulonglong(&null_text))}, {CALL(variant_resolve_as_float(&null_text))},
        {CALL(variant_resolve_as_double(&null_text))}, {CALL(variant_resolve_as_bool(&null_text))},
        {CALL(variant_resolve_type(nullptr, &o.code)), 0, "no name, nothing written"},
        {CALL(variant_resolve_type(n4096, &o.code)), 0, "an unknown name: 0", [](outs& o) { o.code = 0; }},
        {CALL(fresh(bstr_create(), bstr_destroy)), 1, "nothing to refuse: a handle"},
        {CALL(fresh(variant_wrapper_create(), variant_wrapper_destroy)), 1},
        {CALL(fresh(os_condition_create(), os_condition_destroy)), 1},
        {CALL(safearray_set_element(ints, 2, &o.i32)), 0, "an index at or past the count, or no room"},
        {CALL(safearray_get_element(ints, UINT32_MAX, nullptr))}, {CALL(safearray_access_element(ints, nullptr))},
        {CALL(os_clock_get_time(INT32_MIN, &t)), 0, "every kind reads the one clock"},
        {CALL((os_clock_get_clock_span(&low, &high, &t), t.seconds + t.nanoseconds)), -2, "wraps"},
        {CALL((os_clock_adjust_clock_time(&(t = low)), t.nanoseconds)), 852'516'352, "borrows, wrapping"},
        {CALL((os_clock_monotonic_to_realtime(&high, &t), t.seconds)), INT64_MAX, "copies as it is"},
        {CALL((os_clock_realtime_to_monotonic(&low, &t), t.nanoseconds)), INT32_MIN},
        {DOES(os_clock_nano_sleep(&low)), 0, "long past: at once"}, {DOES(os_thread_sleep_milliseconds(0))},
        {CALL(fresh(os_recursive_mutex_create(n1023), os_recursive_mutex_destroy, locks)), 1, "named"},
        {CALL(fresh(os_recursive_mutex_create(n4096), os_recursive_mutex_destroy, locks)), 1, "unusable"},
        {CALL(fresh(os_rw_mutex_create(n1024), os_rw_mutex_destroy, locks)), 1, "unusable"},
        {CALL(fresh(os_event_create(true, true, n1023), os_event_destroy, polls)), 1, "signalled"},
        {CALL(fresh(os_event_create(true, true, n1024), os_event_destroy, polls)), 0, "unusable"},
        {CALL(fresh(os_semaphore_create(1, n4096), os_semaphore_destroy, polls)), 0, "unusable"},
        {CALL(fresh(os_semaphore_create(INT32_MIN, n1023), os_semaphore_destroy, polls)), 0, "no count"},
        {CALL((os_thread_create(&thread, nullptr, nullptr, SIZE_MAX), thread)), 0, "no such stack"},
        {CALL(os_thread_join(started())), 0, "a null routine on a 1-byte stack runs and ends"},
        {CALL(os_thread_sched_set_affinity(-1)), 0, "no such processor"},
        {CALL(os_thread_sched_set_affinity(64))}, {CALL(os_thread_sched_set_thread_affinity(0, INT32_MIN))},
        {CALL(os_thread_init_rt_schedule() && os_thread_exit_rt_schedule() == 0), 1, "nothing to refuse"},
        {CALL(os_sync_environment_initialize()), 1}, {DOES(os_sync_environment_uninitialize())},
        {DOES(os_thread_uninstall_latency())}, {DOES(os_filesystem_sync())}, {DOES(os_system_close_exception())},
        {CALL((os_memory_manager_mlockall(), os_memory_manager_munlockall())), 1, "as the privilege allows"},
        {CALL(os_system_check_root_privileges() == os_system_check_root_privileges()), 1},
        {CALL(os_thread_sync_compare_and_swap(&o.i32, 0, 1)), 0x5A5A5A5A, "no swap, the old value"},
        {CALL(os_thread_sync_compare_and_swap_64(&o.i64, 0, 1)), 0x5A5A5A5A5A5A5A5A},
        {CALL(os_thread_sync_fetch_add(&(count = INT32_MAX))), INT32_MIN, "wraps"},
        {CALL(os_thread_sync_fetch_sub(&(count = INT32_MIN))), INT32_MAX},
        {CALL(os_clibrary_file_open("", 0, 0)), -1, "bad descriptors, empty and too long paths"},
        {CALL(os_clibrary_file_open(n4096, -1, -1)), -1}, {CALL(os_clibrary_file_read(-1, o.text, UINT32_MAX)), -1},
        {CALL(os_clibrary_file_write(-1, o.text, UINT32_MAX)), -1}, {CALL(os_clibrary_file_seek(-1, 0, 3)), -1},
        {CALL(os_clibrary_file_close(-1)), -1}, {CALL(os_clibrary_file_unlink("")), -1},
        {CALL(os_clibrary_file_access(n4096, 0)), -1}, {CALL(os_clibrary_file_mkdir("", 0)), -1},
        {CALL(os_clibrary_file_chdir(n4096)), -1}, {CALL(os_clibrary_file_getcwd(o.text, -1)), 0, "size < 0"},
        {CALL(os_clibrary_file_umask(os_clibrary_file_umask(0))), 0, "set and put back"},
        {CALL(os_file_is_relative_path(n4096)), 1, "a name is relative"},
        {CALL(os_system_run_application(n4096, "", 1)), 0, "no such program"},
        {DOES(os_system_set_os_environmentVariable("", "x", 1)), 0, "no variable without a name"},
        {DOES(os_system_set_os_environmentVariable("CORVANE_BAD=x", "y", 1)), 0, "nor with '=' in it"},
        {CALL(os_system_get_os_environmentVariable("CORVANE_BAD", nullptr, &o.u32)), 0},
        {CALL(os_environment_get_application_path(o.text, 0)), 0, "no room"},
        {CALL(os_sharememory_create(n1024, 16)), 0, "too long a name"},
        {CALL(os_sharememory_create(block_name.c_str(), UINT32_MAX)), 0, "beyond the existing block"},
        {CALL(fresh(os_sharememory_create(n1023, 16), os_sharememory_destroy)), 1, "a 1023-byte name"},
        {CALL((os_serial_close(&no_port), no_port)), -1, "the invalid port or socket: -1 or false"},
        {CALL(os_serial_read(no_port, nullptr, 8, nullptr, UINT32_MAX, 0)), -1},
        {CALL(os_serial_write(no_port, nullptr, UINT32_MAX)), -1}, {CALL(os_serial_purge(no_port, 3)), 0},
        {CALL(os_serial_select(no_port, -1)), 0}, {CALL(os_socket_close(no_sock)), -1},
        {CALL(os_socket_ioctl(no_sock, 0, &o.u32)), -1}, {CALL(os_socket_is_link_broken(no_sock)), 0},
        {CALL(os_socket_readable(no_sock, UINT32_MAX, &o.i32)), 0, "false at once, error untouched"},
        {CALL(os_socket_writable(no_sock, UINT32_MAX, &o.i32)), 0},
        {CALL(os_socket_set_recv_timeout(no_sock, UINT32_MAX)), -1},
        {CALL(os_socket_set_send_timeout(no_sock, UINT32_MAX)), -1},
        {CALL(os_socket_disable_udp_unreached_report(no_sock) + (os_socket_get_errno_code() != 0)), 0},
        {CALL(os_socket_clear_library()), 0, "more clears than start-ups"},
        {CALL(os_socket_init_library() && os_socket_clear_library()), 1, "a start-up and its clear"},
        {CALL(os_utf8helper_oem_from_utf8("\xff", nullptr, &o.u32)), 1, "\"Error Encode!\"",
         [](outs& o) { o.u32 = 14; }},
        {CALL(os_utf8helper_oem_to_utf8(nullptr, nullptr, &o.u32)), 1, "null is the empty text",
         [](outs& o) { o.u32 = 1; }},
        {CALL(os_clibrary_string_intelligent_greater(n1024, n4096)), 0, "a prefix sorts first"},
        {CALL(os_clibrary_string_intelligent_less("", "")), 0, "equal"},
    };
    // Each of these runs with every string: none, empty, 1023, 1024 and 4096 bytes.
    const std::vector<row> string_rows = {
        {CALL(bstr_set_string(nullptr, s) == (s == nullptr)), 1, "a null handle takes only null"},
        {CALL(os_file_exist(s)), 0, "no such entry"}, {CALL(os_file_create(s))}, {CALL(os_file_remove(s))},
        {CALL(os_file_copy(s, s, true))}, {CALL(os_file_move(s, s))}, {CALL(os_folder_exist(s))},
        {CALL(os_folder_create(s))}, {CALL(os_folder_copy(s, s, false))}, {CALL(os_folder_move(s, s))},
        {CALL(os_folder_remove(s, true))}, {CALL(os_system_kill_application(s))},
        {CALL(os_system_get_os_environmentVariable(s, o.text, &o.u32))}, {CALL(os_sharememory_open(s))},
        {CALL(os_dynamic_library_loader_load(s))}, {CALL(os_dynamic_library_loader_get_proc(nullptr, s))},
        {CALL(os_dynamic_library_loader_load_ex(s, o.text, UINT32_MAX))}, {CALL(os_serial_open(s, 9, 0, 0)), -1},
        {CALL((o.u32 = 0, os_utf8helper_oem_from_utf8(s, o.text, &o.u32))), 0, "no room, nothing written",
         [](outs& o) { o.u32 = 0; }},
        {CALL((o.u32 = 0, os_utf8helper_oem_to_utf8(s, o.text, &o.u32))), 0, nullptr, [](outs& o) { o.u32 = 0; }},
    };
    const auto run = [](const std::vector<row>& table, const char* s) {
        const char* why = "";
        for (const row& r : table) {
            outs o, expected;
            const int64_t result = r.run(s, o);
            why = r.why != nullptr ? r.why : why;
            if (r.after != nullptr) r.after(expected);
            EXPECT_EQ(result, r.result) << r.call << ": " << why << " (" << (s ? std::strlen(s) : 0) << " bytes)";
            EXPECT_TRUE(o == expected) << r.call << ": out-parameters";
        }
    };
    run(rows, nullptr);
    for (const char* s : {static_cast<const char*>(nullptr), "", n1023, n1024, n4096}) run(string_rows, s);
    bstr_destroy(&bstr), safearray_destroy(&ints), safearray_destroy(&typeless), variant_wrapper_destroy(&wrapper);
    os_sharememory_destroy(&block);
    std::filesystem::current_path(home);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "a row made something";
    // Every export has a row: a new one fails here until it gets one.
    std::string calls;
    for (const row& r : rows) calls += r.call + '\n';
    for (const row& r : string_rows) calls += r.call + '\n';
    ASSERT_FALSE(exported.empty()) << CORVANE_EXPORT_LIST;
    for (const std::string& f : exported) EXPECT_TRUE(std::regex_search(calls, std::regex("\\b" + f + "\\b"))) << f;
}
