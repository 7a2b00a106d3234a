#include "system_test.hpp"

TEST(InvokeCommand, TrueExactlyWhenTheCommandExitsWithZero) {
    const std::pair<std::string, bool> rows[] = {
        {probe() + " sleep 0", true}, {probe(), false}, {"corvane-no-such-cmd", false}};
    for (const auto& [command, result] : rows) {
        EXPECT_EQ(os_system_invoke_command(command.c_str()), result) << command;
    }
    EXPECT_FALSE(os_system_invoke_command(nullptr)) << "only asks whether an interpreter exists";
}

// The probe reports its words once the file `go` exists. For wait 1 that file
// is made first, and the report must be there when the call returns; other
// values must return while the probe still waits for it.
TEST(RunApplication, WaitOneReturnsAfterTheProgramEndedOthersAtOnceWordsIntact) {
    const std::string program = "\"" + probe() + "\"";
    const std::string words = R"( "hello world"  plain "say \"hi\"" back\slash "" $HOME)";
    for (uint8_t wait : {1, 0, 2}) {
        temp_folder folder;
        const std::string go = folder.join("go"), out = folder.join("out");
        const std::string arguments = "report \"" + out + "\" \"" + go + "\"" + words;
        if (wait == 1) std::ofstream(go).put('!');
        ASSERT_TRUE(os_system_run_application(program.c_str(), arguments.c_str(), wait));
        EXPECT_EQ(fs::exists(out), wait == 1) << "wait " << int(wait);
        std::ofstream(go).put('!');
        EXPECT_EQ(read_report(out), "hello world\nplain\nsay \"hi\"\nback\\slash\n\n$HOME\n");
    }
}

TEST(RunApplication, FalseWhenTheProgramCannotStart) {
    temp_folder folder;
    std::ofstream(folder.join("data")) << "#!/bin/sh\n";  // a file that is no program
    for (const std::string& program : {std::string("corvane-none"), folder.join("data")}) {
        EXPECT_FALSE(os_system_run_application(program.c_str(), "", 1) ||
                     os_system_run_application(program.c_str(), nullptr, 0)) << program;
    }
}

// The probe exits 10 when the kill it makes reports true, 20 when false.
TEST(KillApplication, EndsEveryOtherProcessOfTheNameAndRunsNothing) {
    temp_folder folder;
    const std::string name = copy_probe(folder), other = copy_probe(folder);
    auto start = [&](const std::string& copy, const std::string& mode, const char* argument) {
        return child_process::program({folder.join(copy + exe_suffix()), mode, argument});
    };
    child_process first = start(name, "sleep", "60"), second = start(name, "sleep", "60");
    child_process bystander = start(other, "sleep", "60");
    EXPECT_EQ(start(name, "kill", name.c_str()).wait(), 10);
    // Ended forcefully, not after their minute of sleep; the killer spared itself.
    EXPECT_TRUE(first.wait() != 0 && second.wait() != 0);
    EXPECT_TRUE(bystander.running());
    EXPECT_EQ(start(name, "kill", name.c_str()).wait(), 20) << "only the caller was left";
    // A command interpreter would run the rest of this name.
    const std::string marker = folder.join("marker");
    const std::string command = "x\" & echo hit > \"" + marker + "\" & \"";
    EXPECT_FALSE(os_system_kill_application(command.c_str()));
    EXPECT_FALSE(fs::exists(marker));
}
