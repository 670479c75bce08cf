// Error types shared by the components.
#pragma once

#include <stdexcept>

namespace norvex {

// An operation did not finish in the time it was given.
class TimeoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An outside program could not be started, or was lost track of.
class ProgramError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace norvex
