// Windows-only cases of the system tests: image names compared without
// regard to case, and the administrator check.

#include <windows.h>
#include <shlobj.h>

#include "system_test.hpp"

TEST(Win32KillApplication, ComparesImageNamesWithoutRegardToCase) {
    temp_folder folder;
    std::string name = copy_probe(folder);
    child_process sleeper = child_process::program({folder.join(name + ".exe"), "sleep", "60"});
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(toupper(c)); });
    EXPECT_TRUE(os_system_kill_application((name + ".EXE").c_str()));
    EXPECT_NE(sleeper.wait(), 0);
}

// Wine counts every process as an administrator's: only Windows can show a
// false answer.
TEST(Win32Privileges, TheAdministratorCheckAgreesWithTheShell) {
    EXPECT_EQ(os_system_check_root_privileges(), IsUserAnAdmin() != FALSE);
}
