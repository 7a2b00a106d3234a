// The serial line under Wine: a COM port mapped onto a pseudo-terminal that
// a Linux helper makes and relays over a loopback connection.

#include "serial_pair.hpp"

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace corvane::test {
namespace {

bool readable(SOCKET sock, long seconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(sock, &set);
    timeval limit{seconds, 0};
    return ::select(0, &set, nullptr, nullptr, &limit) == 1;
}

}  // namespace

serial_pair::serial_pair() {
    WSADATA started{};
    ::WSAStartup(MAKEWORD(2, 2), &started);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::string command = std::string("/usr/bin/python3 \"") + CORVANE_SERIAL_LINE_HELPER + "\" " +
                          std::to_string(ntohs(address.sin_port));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION helper{};
    if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &helper) != 0) {
        ::CloseHandle(helper.hThread);
        keeper_ = reinterpret_cast<intptr_t>(helper.hProcess);
        if (readable(listener, 20)) {
            far_ = static_cast<intptr_t>(::accept(listener, nullptr, nullptr));
        }
    }
    ::closesocket(listener);
    std::string number;
    char digit = 0;
    while (far_ != -1 && readable(static_cast<SOCKET>(far_), 20) &&
           ::recv(static_cast<SOCKET>(far_), &digit, 1, 0) == 1 && digit != '\n') {
        number += digit;
    }
    if (!number.empty()) name_ = "\\\\.\\COM" + number;
}

serial_pair::~serial_pair() {
    // The helper ends its line when the connection closes.
    ::closesocket(static_cast<SOCKET>(far_));
    ::WaitForSingleObject(reinterpret_cast<HANDLE>(keeper_), 10000);
    ::CloseHandle(reinterpret_cast<HANDLE>(keeper_));
    ::WSACleanup();
}

bool serial_pair::send(std::string_view bytes) {
    return ::send(static_cast<SOCKET>(far_), bytes.data(), static_cast<int>(bytes.size()), 0) ==
           static_cast<int>(bytes.size());
}

std::string serial_pair::receive_until(std::string_view ending) {
    std::string bytes;
    char chunk[4096];
    int n = 0;
    while (!bytes.ends_with(ending) && readable(static_cast<SOCKET>(far_), 5) &&
           (n = ::recv(static_cast<SOCKET>(far_), chunk, sizeof chunk, 0)) > 0) {
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

int serial_queued(intptr_t port) {
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(reinterpret_cast<HANDLE>(port), &errors, &status) != 0
               ? static_cast<int>(status.cbInQue)
               : -1;
}

}  // namespace corvane::test
