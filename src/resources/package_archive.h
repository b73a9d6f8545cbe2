#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// An entry of a package's data: what dpkg would put at `path`.
struct PackageFile {
    enum Type { Regular, Directory, Symlink, HardLink, Other };
    std::string path;  // absolute: "/opt/tool/file"
    Type type;
    std::string target;  // of a symbolic link
    std::string md5;  // of a regular file's contents, when asked for
    bool operator==(const PackageFile&) const = default;
};

// What the Debian package at `path` holds, read in-process: its control file, into
// `control`, and each entry of its data, with the MD5 sum of each regular file's contents
// when `hashes`, called with the control file, says so. Returns false when it cannot be read
// as a package; a name dpkg refuses (one with a newline) sets `refusal` to dpkg's words.
bool readPackageArchive(const std::string& path, std::string& control,
                        const std::function<bool(std::string_view control)>& hashes,
                        std::vector<PackageFile>& files, std::string& refusal);
