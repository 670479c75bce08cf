// Home folders of users, looked up in the system's user database through getent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace norvex::astprobe {

// The home folder recorded for the user named `name`, or none when the
// database has no such user (or cannot be asked). Every source the system
// configures (files, LDAP, systemd and so on) is consulted, as getpwnam would,
// but by the getent program: the statically linked worker carries no NSS
// modules of its own.
std::optional<std::string> home_of_user(std::string_view name);

// The same for the user with id `uid` (getpwuid).
std::optional<std::string> home_of_uid(uid_t uid);

}  // namespace norvex::astprobe
