// What each platform half of the test support gives the neutral half.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace corvane::test::platform {

// Points the C runtime's descriptor 1 at `sink`; returns a descriptor that
// keeps what it pointed at before.
int redirect_stdout(std::FILE* sink);
// Points descriptor 1 back at `saved`, which it closes.
void restore_stdout(int saved);
// Sets or, with nullopt, removes a variable of this process's environment.
void set_environment_variable(const std::string& name, const std::optional<std::string>& value);

}  // namespace corvane::test::platform
