// Starts a program for a test, its standard output and error on one pipe.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrix::testing {

// Runs argv[0] with `env` added to this process's environment; `out` gets
// the pipe's reading end. Returns the child's pid.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env, int& out);

}  // namespace kestrix::testing
