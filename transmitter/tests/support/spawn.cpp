#include "support/spawn.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace kestrix::testing {

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env, int& out) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(ends[1], 1);
        ::dup2(ends[1], 2);
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(ends[1]);
    out = ends[0];
    return pid;
}

}  // namespace kestrix::testing
