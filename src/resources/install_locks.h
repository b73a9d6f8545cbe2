#pragma once

#include <optional>
#include <string>

// A lock of dpkg's or apt's that another program holds while it installs software.
struct LockHolder {
    std::string lock;  // the lock file
    std::string program;  // the program that holds it, by name
};

// The first of dpkg's and apt's locks that another process holds, found without
// privileges: the locks the kernel lists in /proc/locks, matched with the lock files by
// device and inode, and the holder's name from its command line.
std::optional<LockHolder> heldInstallLock();
