// Windows-only case of the system tests: image names compared without regard
// to case.

#include <cctype>

#include "system_test.hpp"

TEST(Win32KillApplication, ComparesImageNamesWithoutRegardToCase) {
    temp_folder folder;
    std::string name = copy_probe(folder);
    child_process sleeper = child_process::program({folder.join(name + ".exe"), "sleep", "60"});
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(toupper(c)); });
    EXPECT_TRUE(os_system_kill_application((name + ".EXE").c_str()));
    EXPECT_NE(sleeper.wait(), 0);
}
