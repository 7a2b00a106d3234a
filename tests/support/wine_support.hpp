// What a test needs to know about running under Wine, where some Windows
// behaviour cannot be shown. Kept here so that test files stay free of
// platform headers.
#pragma once

#include <string>

namespace corvane::test {

#ifdef _WIN32
// True when the test program is a Windows program running under Wine.
bool under_wine();
// Under Wine: makes a symbolic link on the host side (Wine's own link calls
// report success and make nothing), from Windows paths. False elsewhere or
// when it cannot be made.
bool make_host_link(const std::string& target, const std::string& link);
#else
inline bool under_wine() { return false; }
inline bool make_host_link(const std::string&, const std::string&) { return false; }
#endif

}  // namespace corvane::test
