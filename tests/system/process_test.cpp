#include "system_test.hpp"

TEST(InvokeCommand, TrueExactlyWhenTheCommandExitsWithZero) {
    EXPECT_TRUE(os_system_invoke_command((probe() + " exit 0").c_str()));
    for (const std::string& command : {probe() + " exit 3", std::string("corvane-no-such-command")}) {
        EXPECT_FALSE(os_system_invoke_command(command.c_str())) << command;
    }
    EXPECT_FALSE(os_system_invoke_command(nullptr)) << "only asks whether an interpreter exists";
}

TEST(RunApplication, WaitOneReturnsAfterTheProgramEndedWithItsWordsIntact) {
    temp_folder folder;
    const std::string out = folder.join("out");
    const std::string words = R"( - "hello world"  plain "say \"hi\"" back\slash "" $HOME)";
    ASSERT_TRUE(os_system_run_application(("\"" + probe() + "\"").c_str(),
                                          ("report \"" + out + "\"" + words).c_str(), 1));
    // The report is there at once: the call came back after the program ended.
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(read_report(out), "hello world\nplain\nsay \"hi\"\nback\\slash\n\n$HOME\n");
}

TEST(RunApplication, OtherWaitValuesReturnWhileTheProgramRuns) {
    for (uint8_t wait : {0, 2}) {
        temp_folder folder;
        const std::string go = folder.join("go"), out = folder.join("out");
        ASSERT_TRUE(os_system_run_application(
            probe().c_str(), ("report \"" + out + "\" \"" + go + "\" ran").c_str(), wait));
        // The program reports only once `go` exists, which is only now.
        EXPECT_FALSE(fs::exists(out)) << "wait " << int(wait);
        std::ofstream(go).put('!');
        EXPECT_EQ(read_report(out), "ran\n") << "wait " << int(wait);
    }
}

TEST(RunApplication, FalseWhenTheProgramCannotStart) {
    temp_folder folder;
    const std::string data = folder.join("data");  // a file that is no program
    std::ofstream(data) << "#!/bin/sh\n";
    const std::pair<const char*, const char*> rows[] = {
        {"corvane-no-such-program", ""}, {folder.path().c_str(), nullptr}, {data.c_str(), nullptr},
        {nullptr, " "}};
    for (const auto& [program, arguments] : rows) {
        for (uint8_t wait : {1, 0}) {
            EXPECT_FALSE(os_system_run_application(program, arguments, wait))
                << (program ? program : "no program") << ", wait " << int(wait);
        }
    }
}

TEST(KillApplication, EndsEveryProcessOfTheNameAndNoOtherAndRunsNothing) {
    temp_folder folder;
    const std::string name = copy_probe(folder), other = copy_probe(folder);
    auto start = [&](const std::string& copy) {
        return child_process::program({folder.join(copy + exe_suffix()), "sleep"});
    };
    child_process first = start(name), second = start(name), bystander = start(other);
    EXPECT_TRUE(os_system_kill_application(name.c_str()));
    // Ended forcefully, not after their minute of sleep.
    EXPECT_NE(first.wait(), 0);
    EXPECT_NE(second.wait(), 0);
    EXPECT_TRUE(bystander.running());
    // None left; a command interpreter would run the rest of the second name.
    const std::string marker = folder.join("marker");
    const std::string command = "x\" & echo hit > \"" + marker + "\" & \"";
    for (const char* rest : {name.c_str(), command.c_str(), "", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(os_system_kill_application(rest)) << (rest ? rest : "null");
    }
    EXPECT_FALSE(fs::exists(marker));
}

// The probe exits 10 when the kill reported true, 20 when false.
TEST(KillApplication, NeverEndsTheCallingProcess) {
    temp_folder folder;
    const std::string name = copy_probe(folder);
    const std::string copy = folder.join(name + exe_suffix());
    EXPECT_EQ(child_process::program({copy, "kill", name}).wait(), 20);
    child_process sleeper = child_process::program({copy, "sleep"});
    EXPECT_EQ(child_process::program({copy, "kill", name}).wait(), 10);
    EXPECT_NE(sleeper.wait(), 0);
}
