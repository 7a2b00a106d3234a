// Windows only: the last-error value a named create leaves, and the one
// name space that kernel objects of every kind share.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using namespace sync_test;

TEST(Win32NamedObjects, CreateKeepsTheLastErrorAndKindsShareOneNameSpace) {
    const std::string name = unique_name("kinds");
    os_recursive_mutex_handle* first = os_recursive_mutex_create(name.c_str());
    os_recursive_mutex_handle* second = nullptr;
    corvane::test::capture_stdout([&] {
        SetLastError(1234);
        second = os_recursive_mutex_create(name.c_str());
        EXPECT_EQ(GetLastError(), 1234u) << "ERROR_ALREADY_EXISTS leaked out";
    });
    // The mutex holds the name: an event or a semaphore cannot take it.
    os_event_handle* event = os_event_create(true, true, name.c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(1, name.c_str());
    EXPECT_FALSE(os_event_wait_timeout(event, past()));
    EXPECT_FALSE(os_semaphore_wait_timeout(semaphore, past()));
    os_semaphore_destroy(&semaphore);
    os_event_destroy(&event);
    os_recursive_mutex_destroy(&second);
    os_recursive_mutex_destroy(&first);
}
