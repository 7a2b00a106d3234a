// A serial line for the comm tests: the library opens port_name() as its
// port, and the test plays the device at the far end of the line.
//
// On Linux the line is a pseudo-terminal pair and the far end its master
// side. Under Wine a Windows program cannot make a pseudo-terminal, so a
// helper on the Linux side makes one, puts it in raw mode, maps a COM port
// of the Wine prefix onto it and relays its master side over a loopback
// connection, which is then the far end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::test {

class serial_pair {
public:
    serial_pair();
    ~serial_pair();
    serial_pair(const serial_pair&) = delete;
    serial_pair& operator=(const serial_pair&) = delete;

    // Empty when the line could not be made.
    const std::string& port_name() const { return name_; }
    // Writes every byte at the far end.
    bool send(std::string_view bytes);
    // What the far end receives until it ends with `ending`, or until a
    // generous limit passes.
    std::string receive_until(std::string_view ending);

private:
    std::string name_;
    intptr_t far_ = -1;
    intptr_t keeper_ = -1;  // the pseudo-terminal's slave side, or the helper
};

// Bytes waiting in the input queue of the library's open `port`.
int serial_queued(intptr_t port);

}  // namespace corvane::test
