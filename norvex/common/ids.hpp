// Identifiers for tasks and workers.
#pragma once

#include <string>

namespace norvex {

// The first 12 of the 32 lowercase hex digits of a new random version-4 UUID.
std::string new_task_id();

}  // namespace norvex
